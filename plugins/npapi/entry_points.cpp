// The library's exports: the browser gets the plug-in's function table,
// hands over its own, and ends the plug-in.
#include <cstddef>
#include <cstring>

#include "plugins/npapi/entry_points.h"

#include "plugins/npapi/browser_funcs.h"
#include "plugins/npapi/plugin_instance.h"

namespace {

// The browser's table must reach at least to setexception.
constexpr size_t kBrowserTableSize =
    offsetof(NPNetscapeFuncs, setexception) + sizeof(NPN_SetExceptionProcPtr);

}  // namespace

extern "C" {

NP_EXPORT(NPError) NP_GetEntryPoints(NPPluginFuncs* pluginFuncs) {
    if (pluginFuncs == nullptr) {
        return NPERR_INVALID_FUNCTABLE_ERROR;
    }
    // The browser's size and version stay, and so does every later entry.
    pluginFuncs->newp = NPP_New;
    pluginFuncs->destroy = NPP_Destroy;
    pluginFuncs->setwindow = NPP_SetWindow;
    pluginFuncs->newstream = NPP_NewStream;
    pluginFuncs->destroystream = NPP_DestroyStream;
    pluginFuncs->asfile = NPP_StreamAsFile;
    pluginFuncs->writeready = NPP_WriteReady;
    pluginFuncs->write = NPP_Write;
    pluginFuncs->print = NPP_Print;
    pluginFuncs->event = NPP_HandleEvent;
    pluginFuncs->urlnotify = NPP_URLNotify;
    pluginFuncs->javaClass = nullptr;
    pluginFuncs->getvalue = NPP_GetValue;
    pluginFuncs->setvalue = NPP_SetValue;
    return NPERR_NO_ERROR;
}

NP_EXPORT(NPError) NP_Initialize(NPNetscapeFuncs* browserFuncs) {
    if (browserFuncs == nullptr) {
        return NPERR_INVALID_FUNCTABLE_ERROR;
    }
    // A table that stops short of setexception would be read past its end.
    if (browserFuncs->size < kBrowserTableSize) {
        return NPERR_INVALID_FUNCTABLE_ERROR;
    }
    NPNetscapeFuncs& copy = vexlo::npapi::BrowserFuncs();
    std::memcpy(&copy, browserFuncs, kBrowserTableSize);
    copy.getJavaEnv = nullptr;
    copy.getJavaPeer = nullptr;
    return NPERR_NO_ERROR;
}

NP_EXPORT(NPError) NP_Shutdown(void) {
    return NPERR_NO_ERROR;
}

}  // extern "C"
