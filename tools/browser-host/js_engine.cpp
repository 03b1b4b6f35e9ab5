#include "js_engine.h"

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "js_text.h"
#include "np_runtime.h"

namespace browser::engine {

void SetError(ErrorText* error, const std::string& message) {
    std::snprintf(error->text, sizeof(error->text), "%s", message.c_str());
}

void Fatal(void*, const char* message) {
    std::fprintf(stderr, "browser-host: fatal script engine error: %s\n", message);
    std::fflush(stderr);
    std::abort();
}

std::string EngineString(duk_context* ctx, duk_idx_t index) {
    duk_size_t length = 0;
    const char* text = duk_get_lstring(ctx, index, &length);
    return EngineToUtf8(text, length);
}

void PushUtf8(duk_context* ctx, const std::string& text) {
    std::string engine = Utf8ToEngine(text.data(), text.size());
    duk_push_lstring(ctx, engine.data(), engine.size());
}

// The name of an identifier as a script sees it.
std::string KeyOf(NPIdentifier identifier) {
    return IdentifierIsString(identifier) ? IdentifierName(identifier)
                                          : std::to_string(IntFromIdentifier(identifier));
}

// The plug-in object behind a wrapper's target (or a wrapper), null when it
// is no wrapper or its object was given back.
NPObject* TargetObject(duk_context* ctx, duk_idx_t index) {
    if (!duk_is_object(ctx, index)) {
        return nullptr;
    }
    duk_get_prop_string(ctx, index, kWrapId);
    bool isWrapper = duk_is_number(ctx, -1);
    uint32_t id = duk_get_uint(ctx, -1);
    duk_pop(ctx);
    return isWrapper ? JsRuntime::Of(ctx)->WrappedObject(id) : nullptr;
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

// Runs a script-visible property operation on the object below the top
// (and the value on top, for a set), protected.
duk_ret_t RunPropertyOperation(duk_context* ctx, void* data) {
    auto* operation = static_cast<PropertyOperation*>(data);
    switch (operation->kind) {
        case PropertyKind::Get:  // [object] -> [value]
            duk_push_lstring(ctx, operation->name, operation->length);
            duk_get_prop(ctx, -2);
            return 1;
        case PropertyKind::Has:  // [object] -> [boolean]
            duk_push_lstring(ctx, operation->name, operation->length);
            duk_push_boolean(ctx, duk_has_prop(ctx, -2));
            return 1;
        case PropertyKind::Set:  // [object, value] -> []
            duk_push_lstring(ctx, operation->name, operation->length);
            duk_swap_top(ctx, -2);
            duk_put_prop(ctx, -3);
            return 0;
        case PropertyKind::Remove:  // [object] -> [boolean]
            duk_push_lstring(ctx, operation->name, operation->length);
            duk_push_boolean(ctx, duk_del_prop(ctx, -2));
            return 1;
        case PropertyKind::Keys: {  // [object] -> [array of own enumerable keys]
            duk_push_array(ctx);
            duk_enum(ctx, -2, DUK_ENUM_OWN_PROPERTIES_ONLY);
            duk_uarridx_t count = 0;
            while (duk_next(ctx, -1, 0)) {
                duk_put_prop_index(ctx, -3, count++);
            }
            duk_pop(ctx);
            return 1;
        }
    }
    return 0;
}

duk_ret_t DescribeError(duk_context* ctx, void*) {
    if (duk_is_error(ctx, -1)) {
        duk_get_prop_string(ctx, -1, "stack");
        if (duk_is_string(ctx, -1)) {
            return 1;
        }
        duk_pop(ctx);
    }
    duk_to_string(ctx, -1);
    return 1;
}

}  // namespace browser::engine
