#include "plugin_module.h"

#include <strings.h>

#include "browser_table.h"
#include "version_reader.h"

namespace browser {

namespace {

std::string Narrow(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) {
        out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    return out;
}

}  // namespace

std::unique_ptr<PluginModule> PluginModule::Load(const std::u16string& path, std::string* error) {
    std::unique_ptr<PluginModule> module(new PluginModule);
    module->library = ::LoadLibraryW(path.c_str());
    if (module->library == nullptr) {
        *error = "cannot load the plug-in " + Narrow(path);
        return nullptr;
    }
    // Windows browsers learn a plug-in's MIME types from its version block.
    std::optional<VersionInfo> version = VersionInfo::OfModule(module->library);
    std::optional<std::u16string> types = version ? version->String(u"MIMEType") : std::nullopt;
    if (!types || SplitMimeTypes(*types).empty()) {
        *error = "the plug-in " + Narrow(path) + " names no MIME type in its version block";
        return nullptr;
    }
    module->mimeTypes = SplitMimeTypes(*types);
    module->name = version->String(u"ProductName").value_or(u"");

    auto getEntryPoints = reinterpret_cast<NP_GetEntryPointsFunc>(
        ::GetProcAddress(module->library, "NP_GetEntryPoints"));
    auto initialize =
        reinterpret_cast<NP_InitializeFunc>(::GetProcAddress(module->library, "NP_Initialize"));
    module->shutdown =
        reinterpret_cast<NP_ShutdownFunc>(::GetProcAddress(module->library, "NP_Shutdown"));
    if (getEntryPoints == nullptr || initialize == nullptr || module->shutdown == nullptr) {
        *error = "the plug-in " + Narrow(path) + " lacks the NPAPI exports";
        return nullptr;
    }
    module->pluginFuncs.size = sizeof(NPPluginFuncs);
    module->pluginFuncs.version = (NP_VERSION_MAJOR << 8) | NP_VERSION_MINOR;
    NPError result = getEntryPoints(&module->pluginFuncs);
    if (result != NPERR_NO_ERROR) {
        *error = "NP_GetEntryPoints failed with " + std::to_string(result);
        module->shutdown = nullptr;
        return nullptr;
    }
    module->browserFuncs = MakeBrowserFuncs();
    result = initialize(&module->browserFuncs);
    if (result != NPERR_NO_ERROR) {
        *error = "NP_Initialize failed with " + std::to_string(result);
        module->shutdown = nullptr;
        return nullptr;
    }
    return module;
}

PluginModule::~PluginModule() {
    if (shutdown != nullptr) {
        shutdown();
    }
    // The library stays loaded for the rest of the process, which ends after
    // its one page: its code may still hold process-wide state (window
    // bindings, registered classes) that an unload would cut off.
}

bool PluginModule::Handles(const std::string& type) const {
    for (const auto& mimeType : mimeTypes) {
        if (strcasecmp(mimeType.c_str(), type.c_str()) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace browser
