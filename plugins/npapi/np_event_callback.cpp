#include "plugins/npapi/np_event_callback.h"

#include "plugins/npapi/browser_funcs.h"
#include "plugins/npapi/conversions.h"
#include "plugins/npapi/state_object.h"

namespace vexlo {

namespace {

// Calls the page function with one argument and gives both values back.
// The page function may start a new scan, which deletes the callback object
// that called this: only the locals are touched here.
void CallPage(NPP npp, NPObject* function, NPVariant* argument) {
    NPVariant result;
    VOID_TO_NPVARIANT(result);
    if (NPN_InvokeDefault(npp, function, argument, 1, &result)) {
        NPN_ReleaseVariantValue(&result);
    }
    NPN_ReleaseVariantValue(argument);
}

}  // namespace

CNpEventCallback::CNpEventCallback(NPObject* pageFunction, NPP instance)
    : function(pageFunction), npp(instance) {
    NPN_RetainObject(function);
}

CNpEventCallback::~CNpEventCallback() {
    NPN_ReleaseObject(function);
}

void CNpEventCallback::OnState(int32_t state, int32_t info, const char16_t* text) {
    NPP instance = npp;
    NPObject* pageFunction = function;
    NPObject* object = NPN_CreateObject(instance, &StateObjectClass);
    if (object == nullptr) {
        return;  // nothing to hand to the page
    }
    auto* status = static_cast<CStateObject*>(CBaseNpObject::FromNpObject(object));
    status->state = state;
    status->info = info;
    status->description = text != nullptr ? std::u16string(text) : std::u16string();
    NPVariant argument;
    OBJECT_TO_NPVARIANT(object, argument);
    CallPage(instance, pageFunction, &argument);
}

void CNpEventCallback::OnText(const char16_t* text) {
    NPP instance = npp;
    NPObject* pageFunction = function;
    NPVariant argument =
        StringToNpVariant(text != nullptr ? std::u16string(text) : std::u16string());
    CallPage(instance, pageFunction, &argument);
}

}  // namespace vexlo
