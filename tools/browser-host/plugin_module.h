// A plug-in library as a browser loads it: the library, the MIME types of
// its version block, and its function table after NP_GetEntryPoints and
// NP_Initialize. Going away calls NP_Shutdown.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "plugins/npapi/npapi.h"

namespace browser {

class PluginModule {
public:
    // Null with a message when the library cannot be loaded or is no plug-in.
    static std::unique_ptr<PluginModule> Load(const std::u16string& path, std::string* error);
    ~PluginModule();
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    const std::vector<std::string>& MimeTypes() const { return mimeTypes; }
    // Whether an embed element of this type is the plug-in's (case-insensitive).
    bool Handles(const std::string& type) const;
    const std::u16string& Name() const { return name; }
    const NPPluginFuncs& Funcs() const { return pluginFuncs; }

private:
    PluginModule() = default;

    HMODULE library = nullptr;
    NP_ShutdownFunc shutdown = nullptr;
    std::vector<std::string> mimeTypes;
    std::u16string name;
    NPPluginFuncs pluginFuncs = {};
    NPNetscapeFuncs browserFuncs = {};
};

}  // namespace browser
