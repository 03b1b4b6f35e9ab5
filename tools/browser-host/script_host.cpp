#include "script_host.h"

#include <cstdio>
#include <cstdlib>

#include "js_text.h"

namespace browser {

// The host is the engine heap's user data: every native finds its own.
ScriptHost* ScriptHost::Of(duk_context* ctx) {
    duk_memory_functions functions{};
    duk_get_memory_functions(ctx, &functions);
    return static_cast<ScriptHost*>(functions.udata);
}

}  // namespace browser

namespace browser::engine {

void SetError(ErrorText* error, const std::string& message) {
    std::snprintf(error->text, sizeof(error->text), "%s", message.c_str());
}

duk_ret_t RaiseText(duk_context* ctx, const ErrorText* error) {
    return duk_error(ctx, DUK_ERR_ERROR, "%s", error->text);
}

void Fatal(void*, const char* message) {
    std::fprintf(stderr, "browser-host: fatal script engine error: %s\n", message);
    std::fflush(stderr);
    std::abort();
}

duk_context* CreateHeap(ScriptHost* host) {
    duk_context* ctx = duk_create_heap(nullptr, nullptr, nullptr, host, Fatal);
    if (ctx == nullptr) {
        Fatal(nullptr, "no memory for the script engine");
    }
    return ctx;
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

std::string DescribeTop(duk_context* ctx) {
    duk_safe_call(ctx, DescribeError, nullptr, 1, 1);
    std::string text = duk_is_string(ctx, -1) ? EngineString(ctx, -1) : "an error";
    duk_pop(ctx);
    return text;
}

void PushHostFunction(duk_context* ctx, const char* source, const char* origin) {
    duk_push_string(ctx, source);
    duk_push_string(ctx, origin);
    if (duk_pcompile(ctx, DUK_COMPILE_EVAL) != 0 || duk_pcall(ctx, 0) != 0) {
        Fatal(nullptr, duk_safe_to_string(ctx, -1));
    }
}

void CallHostFunction(duk_context* ctx, duk_idx_t count) {
    if (duk_pcall(ctx, count) != 0) {
        Fatal(nullptr, duk_safe_to_string(ctx, -1));
    }
}

}  // namespace browser::engine
