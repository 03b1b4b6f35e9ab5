#include "browser_table.h"

#include "np_runtime.h"

namespace browser {

namespace {

PageServices* pageServices = nullptr;

// The host loads no URLs and takes no streams from a plug-in.
NPError GetUrl(NPP, const char*, const char*) {
    return NPERR_GENERIC_ERROR;
}
NPError PostUrl(NPP, const char*, const char*, uint32_t, const char*, NPBool) {
    return NPERR_GENERIC_ERROR;
}
NPError RequestRead(NPStream*, NPByteRange*) {
    return NPERR_STREAM_NOT_SEEKABLE;
}
NPError NewStream(NPP, NPMIMEType, const char*, NPStream**) {
    return NPERR_GENERIC_ERROR;
}
int32_t Write(NPP, NPStream*, int32_t, void*) {
    return -1;
}
NPError DestroyStream(NPP, NPStream*, NPReason) {
    return NPERR_GENERIC_ERROR;
}
NPError GetUrlNotify(NPP, const char*, const char*, void*) {
    return NPERR_GENERIC_ERROR;
}
NPError PostUrlNotify(NPP, const char*, const char*, uint32_t, const char*, NPBool, void*) {
    return NPERR_GENERIC_ERROR;
}

void Status(NPP, const char* message) {
    if (pageServices != nullptr && message != nullptr) {
        pageServices->Status(message);
    }
}

const char* UserAgent(NPP) {
    return kUserAgent;
}
void ReloadPlugins(NPBool) {}
void* GetJavaEnv() {
    return nullptr;
}
void* GetJavaPeer(NPP) {
    return nullptr;
}

NPError GetValue(NPP, NPNVariable variable, void* value) {
    if (value == nullptr) {
        return NPERR_INVALID_PARAM;
    }
    switch (variable) {
        case NPNVjavascriptEnabledBool:
            *static_cast<NPBool*>(value) = 1;
            return NPERR_NO_ERROR;
        case NPNVasdEnabledBool:
        case NPNVisOfflineBool:
        case NPNVSupportsWindowless:
        case NPNVprivateModeBool:
            *static_cast<NPBool*>(value) = 0;
            return NPERR_NO_ERROR;
        case NPNVnetscapeWindow:
            if (pageServices == nullptr) {
                return NPERR_GENERIC_ERROR;
            }
            *static_cast<HWND*>(value) = pageServices->PageWindow();
            return NPERR_NO_ERROR;
        case NPNVWindowNPObject: {
            NPObject* window = pageServices != nullptr ? pageServices->WindowObject() : nullptr;
            if (window == nullptr) {
                return NPERR_GENERIC_ERROR;
            }
            *static_cast<NPObject**>(value) = window;
            return NPERR_NO_ERROR;
        }
        default:
            return NPERR_GENERIC_ERROR;
    }
}

// A windowed plug-in may ask to be windowless or transparent; the host draws
// nothing either way.
NPError SetValue(NPP, NPPVariable variable, void*) {
    switch (variable) {
        case NPPVpluginWindowBool:
        case NPPVpluginTransparentBool:
        case NPPVpluginKeepLibraryInMemory:
        case NPPVjavascriptPushCallerBool:
            return NPERR_NO_ERROR;
        default:
            return NPERR_GENERIC_ERROR;
    }
}

void InvalidateRect(NPP, NPRect*) {}
void InvalidateRegion(NPP, NPRegion) {}
void ForceRedraw(NPP) {}

bool Evaluate(NPP, NPObject* obj, NPString* script, NPVariant* result) {
    if (pageServices == nullptr || script == nullptr || result == nullptr) {
        return false;
    }
    std::string source = script->UTF8Characters != nullptr
                             ? std::string(script->UTF8Characters, script->UTF8Length)
                             : std::string();
    return pageServices->Evaluate(obj, source, result);
}

}  // namespace

void SetPageServices(PageServices* services) {
    pageServices = services;
}

NPNetscapeFuncs MakeBrowserFuncs() {
    NPNetscapeFuncs funcs = {};
    funcs.size = sizeof(NPNetscapeFuncs);
    funcs.version = (NP_VERSION_MAJOR << 8) | NP_VERSION_MINOR;
    funcs.geturl = GetUrl;
    funcs.posturl = PostUrl;
    funcs.requestread = RequestRead;
    funcs.newstream = NewStream;
    funcs.write = Write;
    funcs.destroystream = DestroyStream;
    funcs.status = Status;
    funcs.uagent = UserAgent;
    funcs.memalloc = MemAlloc;
    funcs.memfree = MemFree;
    funcs.memflush = MemFlush;
    funcs.reloadplugins = ReloadPlugins;
    funcs.getJavaEnv = GetJavaEnv;
    funcs.getJavaPeer = GetJavaPeer;
    funcs.geturlnotify = GetUrlNotify;
    funcs.posturlnotify = PostUrlNotify;
    funcs.getvalue = GetValue;
    funcs.setvalue = SetValue;
    funcs.invalidaterect = InvalidateRect;
    funcs.invalidateregion = InvalidateRegion;
    funcs.forceredraw = ForceRedraw;
    funcs.getstringidentifier = GetStringIdentifier;
    funcs.getstringidentifiers = GetStringIdentifiers;
    funcs.getintidentifier = GetIntIdentifier;
    funcs.identifierisstring = IdentifierIsString;
    funcs.utf8fromidentifier = UTF8FromIdentifier;
    funcs.intfromidentifier = IntFromIdentifier;
    funcs.createobject = CreateObject;
    funcs.retainobject = RetainObject;
    funcs.releaseobject = ReleaseObject;
    funcs.invoke = Invoke;
    funcs.invokeDefault = InvokeDefault;
    funcs.evaluate = Evaluate;
    funcs.getproperty = GetProperty;
    funcs.setproperty = SetProperty;
    funcs.removeproperty = RemoveProperty;
    funcs.hasproperty = HasProperty;
    funcs.hasmethod = HasMethod;
    funcs.releasevariantvalue = ReleaseVariantValue;
    funcs.setexception = SetException;
    return funcs;
}

}  // namespace browser
