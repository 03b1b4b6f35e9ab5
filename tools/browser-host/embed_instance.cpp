#include "embed_instance.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "np_runtime.h"

namespace browser {

namespace {

constexpr const char16_t* kPageClass = u"BrowserHostPage";
constexpr const char16_t* kEmbedClass = u"BrowserHostEmbed";

void RegisterClass(const char16_t* name) {
    WNDCLASSEXW info = {};
    info.cbSize = sizeof(info);
    info.lpfnWndProc = ::DefWindowProcW;
    info.hInstance = ::GetModuleHandleW(nullptr);
    info.lpszClassName = name;
    ::RegisterClassExW(&info);  // a second registration fails harmlessly
}

uint32_t Dimension(const std::string& text) {
    long value = std::strtol(text.c_str(), nullptr, 10);
    return value > 0 && value < 65536 ? static_cast<uint32_t>(value) : 0;
}

}  // namespace

HWND CreatePageWindow() {
    RegisterClass(kPageClass);
    return ::CreateWindowExW(0, kPageClass, u"browser-host", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                             CW_USEDEFAULT, 800, 600, nullptr, nullptr, ::GetModuleHandleW(nullptr),
                             nullptr);
}

EmbedInstance::EmbedInstance(const PluginModule& pluginModule, const EmbedElement& embed, HWND page,
                             std::filesystem::path folder, bool log)
    : module(pluginModule),
      element(embed),
      pageWindow(page),
      pageFolder(std::move(folder)),
      verbose(log) {}

EmbedInstance::~EmbedInstance() {
    Destroy();
}

void EmbedInstance::Log(const std::string& text) const {
    if (verbose) {
        std::fprintf(stderr, "browser-host: %s\n", text.c_str());
    }
}

bool EmbedInstance::Start(std::string* error) {
    const NPPluginFuncs& funcs = module.Funcs();
    if (funcs.newp == nullptr) {
        *error = "the plug-in has no NPP_New";
        return false;
    }
    std::string type = element.Attribute("type");
    std::vector<char*> names;
    std::vector<char*> values;
    for (const auto& [name, value] : element.attributes) {
        names.push_back(const_cast<char*>(name.c_str()));
        values.push_back(const_cast<char*>(value.c_str()));
    }
    NPError result = funcs.newp(type.data(), &npp, NP_EMBED, static_cast<int16_t>(names.size()),
                                names.data(), values.data(), nullptr);
    if (result != NPERR_NO_ERROR) {
        *error = "NPP_New failed with " + std::to_string(result);
        return false;
    }
    started = true;

    RegisterClass(kEmbedClass);
    npWindow.width = Dimension(element.Attribute("width"));
    npWindow.height = Dimension(element.Attribute("height"));
    window = ::CreateWindowExW(0, kEmbedClass, nullptr, WS_CHILD | WS_VISIBLE, 0, 0,
                               static_cast<int>(npWindow.width), static_cast<int>(npWindow.height),
                               pageWindow, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    npWindow.window = window;
    npWindow.clipRect =
        NPRect{0, 0, static_cast<uint16_t>(npWindow.height), static_cast<uint16_t>(npWindow.width)};
    npWindow.type = NPWindowTypeWindow;
    if (funcs.setwindow != nullptr) {
        result = funcs.setwindow(&npp, &npWindow);
        if (result != NPERR_NO_ERROR) {
            Log("NPP_SetWindow answered " + std::to_string(result));
        }
    }
    std::string source = element.Attribute("src");
    if (!source.empty()) {
        DeliverStream(source);
    }
    return true;
}

// The element's data, offered once: whatever the plug-in does not take at
// its first write stays unread, and the stream ends.
void EmbedInstance::DeliverStream(const std::string& source) {
    const NPPluginFuncs& funcs = module.Funcs();
    std::ifstream in(pageFolder / source, std::ios::binary);
    if (!in || funcs.newstream == nullptr) {
        Log("no stream for " + source);
        return;
    }
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    NPStream stream = {};
    stream.url = source.c_str();
    stream.end = static_cast<uint32_t>(data.size());
    uint16_t streamType = NP_NORMAL;
    std::string type = element.Attribute("type");
    NPError result = funcs.newstream(&npp, type.data(), &stream, 0, &streamType);
    if (result != NPERR_NO_ERROR) {
        Log("NPP_NewStream refused " + source + " with " + std::to_string(result));
        return;
    }
    NPReason reason = NPRES_DONE;
    if (streamType != NP_ASFILEONLY && funcs.writeready != nullptr && funcs.write != nullptr) {
        int32_t ready = funcs.writeready(&npp, &stream);
        int32_t offered = static_cast<int32_t>(
            std::min<size_t>(data.size(), ready > 0 ? static_cast<size_t>(ready) : 0));
        int32_t taken = offered > 0 ? funcs.write(&npp, &stream, 0, offered, data.data()) : 0;
        Log("stream " + source + ": " + std::to_string(data.size()) + " bytes, ready " +
            std::to_string(ready) + ", taken " + std::to_string(taken));
        if (taken < 0) {
            reason = NPRES_NETWORK_ERR;
        }
    }
    if ((streamType == NP_ASFILE || streamType == NP_ASFILEONLY) && funcs.asfile != nullptr) {
        std::string path = (pageFolder / source).string();
        funcs.asfile(&npp, &stream, path.c_str());
    }
    if (funcs.destroystream != nullptr) {
        funcs.destroystream(&npp, &stream, reason);
    }
}

NPObject* EmbedInstance::ScriptableObject() {
    const NPPluginFuncs& funcs = module.Funcs();
    if (!started || funcs.getvalue == nullptr) {
        return nullptr;
    }
    NPObject* object = nullptr;
    if (funcs.getvalue(&npp, NPPVpluginScriptableNPObject, &object) != NPERR_NO_ERROR) {
        return nullptr;
    }
    return object;
}

void EmbedInstance::Destroy() {
    if (started) {
        started = false;
        const NPPluginFuncs& funcs = module.Funcs();
        if (funcs.destroy != nullptr) {
            NPSavedData* saved = nullptr;
            funcs.destroy(&npp, &saved);
            if (saved != nullptr) {
                MemFree(saved->buf);
                MemFree(saved);
            }
        }
        // Objects the page still holds stay alive but are told their
        // instance is gone.
        InvalidateObjectsOf(&npp);
    }
    if (window != nullptr) {
        ::DestroyWindow(window);
        window = nullptr;
    }
}

}  // namespace browser
