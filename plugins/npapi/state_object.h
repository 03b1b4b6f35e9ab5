// The status object a page callback receives for each state answer: the
// read-only properties State, Info and Description.
#pragma once

#include <cstdint>
#include <string>

#include "plugins/npapi/base_np_object.h"

namespace vexlo {

class CStateObject : public CBaseNpObject {
public:
    explicit CStateObject(NPP instance) : npp(instance) {}

    static NPObject* Allocate(NPP npp, NPClass* aClass);

    bool HasProperty(NPIdentifier name) override;
    bool GetProperty(NPIdentifier name, NPVariant* result) override;

    NPP npp;
    int32_t state = 0;
    int32_t info = 0;
    std::u16string description;
};

}  // namespace vexlo

extern NPClass StateObjectClass;
