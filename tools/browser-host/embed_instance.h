// One plug-in instance made for an embed element: its NPP, its window (a
// child of the page's window), NPP_New, NPP_SetWindow, the element's data
// stream when it names one, the scriptable object, and NPP_Destroy.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "page.h"
#include "plugin_module.h"

namespace browser {

class EmbedInstance {
public:
    EmbedInstance(const PluginModule& module, const EmbedElement& element, HWND pageWindow,
                  std::filesystem::path pageFolder, bool verbose);
    ~EmbedInstance();
    EmbedInstance(const EmbedInstance&) = delete;
    EmbedInstance& operator=(const EmbedInstance&) = delete;

    // NPP_New, the window and NPP_SetWindow, then the data stream; false
    // with a message when the plug-in refused the instance.
    bool Start(std::string* error);
    // The plug-in's scriptable object, one reference for the caller; null
    // when it has none.
    NPObject* ScriptableObject();
    // NPP_Destroy and the window's end; later calls do nothing.
    void Destroy();

    NPP Instance() { return &npp; }
    const EmbedElement& Element() const { return element; }

private:
    void DeliverStream(const std::string& source);
    void Log(const std::string& text) const;

    const PluginModule& module;
    EmbedElement element;
    HWND pageWindow;
    std::filesystem::path pageFolder;
    bool verbose;
    NPP_t npp = {nullptr, nullptr};
    HWND window = nullptr;
    NPWindow npWindow = {};
    bool started = false;
};

// The window of the page that holds the instances' windows.
HWND CreatePageWindow();

}  // namespace browser
