#include "js_engine.h"

#include <optional>

#include "np_runtime.h"
#include "script_bridge.h"

namespace browser::engine {

// The name of an identifier as a script sees it.
std::string KeyOf(NPIdentifier identifier) {
    return IdentifierIsString(identifier) ? IdentifierName(identifier)
                                          : std::to_string(IntFromIdentifier(identifier));
}

// The plug-in object behind a wrapper's target (or a wrapper), null when it
// is no wrapper or its object was given back.
NPObject* TargetObject(duk_context* ctx, duk_idx_t index) {
    uint32_t id = 0;
    return HiddenSlot(ctx, index, kWrapId, &id) ? JsRuntime::Of(ctx)->WrappedObject(id) : nullptr;
}

// Turns an exception the plug-in set, or a refused call, into an error text.
bool Failed(bool ok, const std::string& refusal, ErrorText* error) {
    if (std::optional<std::string> exception = TakeException()) {
        SetError(error, *exception);
        return true;
    }
    if (!ok) {
        SetError(error, refusal);
        return true;
    }
    return false;
}

}  // namespace browser::engine
