// The plug-in's copy of the browser's function table, filled once by
// NP_Initialize, and the browser functions the plug-in calls through it.
// A function the browser did not supply answers as a failure.
#pragma once

#include "plugins/npapi/npapi.h"

namespace vexlo::npapi {

NPNetscapeFuncs& BrowserFuncs();

}  // namespace vexlo::npapi

NPObject* NPN_CreateObject(NPP npp, NPClass* aClass);
NPObject* NPN_RetainObject(NPObject* obj);
void NPN_ReleaseObject(NPObject* obj);
bool NPN_InvokeDefault(NPP npp, NPObject* obj, const NPVariant* args, uint32_t argCount,
                       NPVariant* result);
void NPN_ReleaseVariantValue(NPVariant* variant);
NPUTF8* NPN_UTF8FromIdentifier(NPIdentifier identifier);
void* NPN_MemAlloc(uint32_t size);
void NPN_MemFree(void* ptr);
