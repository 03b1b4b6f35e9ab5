// The base of every object of the plug-in that the browser sees: it embeds
// the NPObject the browser holds and turns the NPClass entries into virtual
// operations, whose defaults refuse (false) or do nothing.
#pragma once

#include "plugins/npapi/npapi.h"

class CBaseNpObject : public NPObject {
public:
    CBaseNpObject() : NPObject{nullptr, 0} {}
    CBaseNpObject(const CBaseNpObject&) = delete;
    CBaseNpObject& operator=(const CBaseNpObject&) = delete;

    virtual bool Enumerate(NPIdentifier** identifiers, uint32_t* count);
    virtual bool HasMethod(NPIdentifier name);
    virtual bool HasProperty(NPIdentifier name);
    virtual bool GetProperty(NPIdentifier name, NPVariant* result);
    virtual bool SetProperty(NPIdentifier name, const NPVariant* value);
    virtual bool Invoke(NPIdentifier name, const NPVariant* args, uint32_t argCount,
                        NPVariant* result);
    virtual bool InvokeDefault(const NPVariant* args, uint32_t argCount, NPVariant* result);
    virtual bool Construct(const NPVariant* args, uint32_t argCount, NPVariant* result);
    virtual bool RemoveProperty(NPIdentifier name);
    // Where a class frees what it owns, before the object's memory goes.
    virtual void Deallocate();
    virtual void Invalidate();
    virtual ~CBaseNpObject() = default;

    // The object that embeds an NPObject of one of the plug-in's classes
    // (null stays null).
    static CBaseNpObject* FromNpObject(NPObject* object) {
        return static_cast<CBaseNpObject*>(object);
    }

    // The NPClass entries.
    static void NpDeallocate(NPObject* object);
    static void NpInvalidate(NPObject* object);
    static bool NpHasMethod(NPObject* object, NPIdentifier name);
    static bool NpInvoke(NPObject* object, NPIdentifier name, const NPVariant* args,
                         uint32_t argCount, NPVariant* result);
    static bool NpInvokeDefault(NPObject* object, const NPVariant* args, uint32_t argCount,
                                NPVariant* result);
    static bool NpHasProperty(NPObject* object, NPIdentifier name);
    static bool NpGetProperty(NPObject* object, NPIdentifier name, NPVariant* result);
    static bool NpSetProperty(NPObject* object, NPIdentifier name, const NPVariant* value);
    static bool NpRemoveProperty(NPObject* object, NPIdentifier name);
    static bool NpEnumerate(NPObject* object, NPIdentifier** identifiers, uint32_t* count);
    static bool NpConstruct(NPObject* object, const NPVariant* args, uint32_t argCount,
                            NPVariant* result);
};

// An NPClass of version 3 whose allocate is the given one and whose other
// entries are the forwarders of CBaseNpObject.
constexpr NPClass MakeNpClass(NPAllocateFunctionPtr allocate) {
    return NPClass{NP_CLASS_STRUCT_VERSION,         allocate,
                   CBaseNpObject::NpDeallocate,     CBaseNpObject::NpInvalidate,
                   CBaseNpObject::NpHasMethod,      CBaseNpObject::NpInvoke,
                   CBaseNpObject::NpInvokeDefault,  CBaseNpObject::NpHasProperty,
                   CBaseNpObject::NpGetProperty,    CBaseNpObject::NpSetProperty,
                   CBaseNpObject::NpRemoveProperty, CBaseNpObject::NpEnumerate,
                   CBaseNpObject::NpConstruct};
}
