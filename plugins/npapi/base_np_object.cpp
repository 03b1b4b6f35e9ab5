#include "plugins/npapi/base_np_object.h"

bool CBaseNpObject::Enumerate(NPIdentifier**, uint32_t*) {
    return false;
}
bool CBaseNpObject::HasMethod(NPIdentifier) {
    return false;
}
bool CBaseNpObject::HasProperty(NPIdentifier) {
    return false;
}
bool CBaseNpObject::GetProperty(NPIdentifier, NPVariant*) {
    return false;
}
bool CBaseNpObject::SetProperty(NPIdentifier, const NPVariant*) {
    return false;
}
bool CBaseNpObject::Invoke(NPIdentifier, const NPVariant*, uint32_t, NPVariant*) {
    return false;
}
bool CBaseNpObject::InvokeDefault(const NPVariant*, uint32_t, NPVariant*) {
    return false;
}
bool CBaseNpObject::Construct(const NPVariant*, uint32_t, NPVariant*) {
    return false;
}
bool CBaseNpObject::RemoveProperty(NPIdentifier) {
    return false;
}
void CBaseNpObject::Deallocate() {}
void CBaseNpObject::Invalidate() {}

void CBaseNpObject::NpDeallocate(NPObject* object) {
    CBaseNpObject* self = FromNpObject(object);
    if (self == nullptr) {
        return;
    }
    self->Deallocate();
    delete self;
}

void CBaseNpObject::NpInvalidate(NPObject* object) {
    if (CBaseNpObject* self = FromNpObject(object)) {
        self->Invalidate();
    }
}

bool CBaseNpObject::NpHasMethod(NPObject* object, NPIdentifier name) {
    CBaseNpObject* self = FromNpObject(object);
    return self != nullptr && self->HasMethod(name);
}

bool CBaseNpObject::NpInvoke(NPObject* object, NPIdentifier name, const NPVariant* args,
                             uint32_t argCount, NPVariant* result) {
    CBaseNpObject* self = FromNpObject(object);
    return self != nullptr && self->Invoke(name, args, argCount, result);
}

bool CBaseNpObject::NpInvokeDefault(NPObject* object, const NPVariant* args, uint32_t argCount,
                                    NPVariant* result) {
    CBaseNpObject* self = FromNpObject(object);
    return self != nullptr && self->InvokeDefault(args, argCount, result);
}

bool CBaseNpObject::NpHasProperty(NPObject* object, NPIdentifier name) {
    CBaseNpObject* self = FromNpObject(object);
    return self != nullptr && self->HasProperty(name);
}

bool CBaseNpObject::NpGetProperty(NPObject* object, NPIdentifier name, NPVariant* result) {
    CBaseNpObject* self = FromNpObject(object);
    return self != nullptr && self->GetProperty(name, result);
}

bool CBaseNpObject::NpSetProperty(NPObject* object, NPIdentifier name, const NPVariant* value) {
    CBaseNpObject* self = FromNpObject(object);
    return self != nullptr && self->SetProperty(name, value);
}

bool CBaseNpObject::NpRemoveProperty(NPObject* object, NPIdentifier name) {
    CBaseNpObject* self = FromNpObject(object);
    return self != nullptr && self->RemoveProperty(name);
}

bool CBaseNpObject::NpEnumerate(NPObject* object, NPIdentifier** identifiers, uint32_t* count) {
    CBaseNpObject* self = FromNpObject(object);
    return self != nullptr && self->Enumerate(identifiers, count);
}

bool CBaseNpObject::NpConstruct(NPObject* object, const NPVariant* args, uint32_t argCount,
                                NPVariant* result) {
    CBaseNpObject* self = FromNpObject(object);
    return self != nullptr && self->Construct(args, argCount, result);
}
