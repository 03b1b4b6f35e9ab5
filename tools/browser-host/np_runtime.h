// The browser side of the plug-in scripting runtime: identifiers, object
// life (create, retain, release, with the class's allocate and deallocate),
// calls into objects, variants and browser memory. These are the functions
// the browser function table hands to a plug-in.
#pragma once

#include <optional>
#include <string>

#include "plugins/npapi/npapi.h"

namespace browser {

void* MemAlloc(uint32_t size);
void MemFree(void* ptr);
uint32_t MemFlush(uint32_t size);

NPIdentifier GetStringIdentifier(const NPUTF8* name);
void GetStringIdentifiers(const NPUTF8** names, int32_t nameCount, NPIdentifier* identifiers);
NPIdentifier GetIntIdentifier(int32_t intid);
bool IdentifierIsString(NPIdentifier identifier);
// A MemAlloc copy of a string identifier's name; null for an integer one.
NPUTF8* UTF8FromIdentifier(NPIdentifier identifier);
int32_t IntFromIdentifier(NPIdentifier identifier);
// The name of a string identifier without a copy; empty for others.
std::string IdentifierName(NPIdentifier identifier);

NPObject* CreateObject(NPP npp, NPClass* aClass);
NPObject* RetainObject(NPObject* obj);
void ReleaseObject(NPObject* obj);
// Invalidates every object still alive that was created for the instance.
void InvalidateObjectsOf(NPP npp);
// Objects created and not yet deallocated.
size_t LiveObjectCount();

// Calls into an object; the object is kept alive for the length of the call.
bool Invoke(NPP npp, NPObject* obj, NPIdentifier methodName, const NPVariant* args,
            uint32_t argCount, NPVariant* result);
bool InvokeDefault(NPP npp, NPObject* obj, const NPVariant* args, uint32_t argCount,
                   NPVariant* result);
bool Construct(NPP npp, NPObject* obj, const NPVariant* args, uint32_t argCount, NPVariant* result);
bool GetProperty(NPP npp, NPObject* obj, NPIdentifier propertyName, NPVariant* result);
bool SetProperty(NPP npp, NPObject* obj, NPIdentifier propertyName, const NPVariant* value);
bool RemoveProperty(NPP npp, NPObject* obj, NPIdentifier propertyName);
bool HasProperty(NPP npp, NPObject* obj, NPIdentifier propertyName);
bool HasMethod(NPP npp, NPObject* obj, NPIdentifier methodName);
bool Enumerate(NPP npp, NPObject* obj, NPIdentifier** identifiers, uint32_t* count);

void ReleaseVariantValue(NPVariant* variant);

// The exception a plug-in set during a call, taken by the caller that
// turns it into a script error.
void SetException(NPObject* obj, const NPUTF8* message);
std::optional<std::string> TakeException();

}  // namespace browser
