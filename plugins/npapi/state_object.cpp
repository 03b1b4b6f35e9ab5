#include "plugins/npapi/state_object.h"

#include <new>

#include "plugins/npapi/conversions.h"

NPClass StateObjectClass = MakeNpClass(vexlo::CStateObject::Allocate);

namespace vexlo {

NPObject* CStateObject::Allocate(NPP npp, NPClass*) {
    return new (std::nothrow) CStateObject(npp);
}

bool CStateObject::HasProperty(NPIdentifier name) {
    std::u16string key = GetIdentifierName(name);
    return key == u"state" || key == u"info" || key == u"description";
}

bool CStateObject::GetProperty(NPIdentifier name, NPVariant* result) {
    std::u16string key = GetIdentifierName(name);
    if (key == u"state") {
        INT32_TO_NPVARIANT(state, *result);
    } else if (key == u"info") {
        INT32_TO_NPVARIANT(info, *result);
    } else if (key == u"description") {
        *result = StringToNpVariant(description);
    } else {
        return false;
    }
    return true;
}

}  // namespace vexlo
