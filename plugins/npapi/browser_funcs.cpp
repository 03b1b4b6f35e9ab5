#include "plugins/npapi/browser_funcs.h"

namespace vexlo::npapi {

NPNetscapeFuncs& BrowserFuncs() {
    static NPNetscapeFuncs funcs = {};
    return funcs;
}

}  // namespace vexlo::npapi

using vexlo::npapi::BrowserFuncs;

NPObject* NPN_CreateObject(NPP npp, NPClass* aClass) {
    return BrowserFuncs().createobject ? BrowserFuncs().createobject(npp, aClass) : nullptr;
}

NPObject* NPN_RetainObject(NPObject* obj) {
    return BrowserFuncs().retainobject ? BrowserFuncs().retainobject(obj) : obj;
}

void NPN_ReleaseObject(NPObject* obj) {
    if (BrowserFuncs().releaseobject) {
        BrowserFuncs().releaseobject(obj);
    }
}

bool NPN_InvokeDefault(NPP npp, NPObject* obj, const NPVariant* args, uint32_t argCount,
                       NPVariant* result) {
    return BrowserFuncs().invokeDefault &&
           BrowserFuncs().invokeDefault(npp, obj, args, argCount, result);
}

void NPN_ReleaseVariantValue(NPVariant* variant) {
    if (BrowserFuncs().releasevariantvalue) {
        BrowserFuncs().releasevariantvalue(variant);
    }
}

NPUTF8* NPN_UTF8FromIdentifier(NPIdentifier identifier) {
    return BrowserFuncs().utf8fromidentifier ? BrowserFuncs().utf8fromidentifier(identifier)
                                             : nullptr;
}

void* NPN_MemAlloc(uint32_t size) {
    return BrowserFuncs().memalloc ? BrowserFuncs().memalloc(size) : nullptr;
}

void NPN_MemFree(void* ptr) {
    if (BrowserFuncs().memfree) {
        BrowserFuncs().memfree(ptr);
    }
}
