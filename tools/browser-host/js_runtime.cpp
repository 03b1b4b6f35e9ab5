#include "js_runtime.h"

#include <duktape.h>

#include <cstdio>
#include <string>

#include "js_engine.h"
#include "js_text.h"
#include "np_runtime.h"

namespace browser {

using namespace engine;

// The runtime is the engine heap's user data: every native finds its own.
JsRuntime* JsRuntime::Of(duk_context* ctx) {
    duk_memory_functions functions{};
    duk_get_memory_functions(ctx, &functions);
    return static_cast<JsRuntime*>(functions.udata);
}

JsRuntime::JsRuntime(HostControl& control) : host(control) {
    ctx = duk_create_heap(nullptr, nullptr, nullptr, this, Fatal);
    if (ctx == nullptr) {
        Fatal(nullptr, "no memory for the script engine");
    }
    duk_push_global_stash(ctx);
    duk_push_object(ctx);
    duk_put_prop_string(ctx, -2, kStashValues);
    duk_push_object(ctx);
    duk_put_prop_string(ctx, -2, kStashTimers);
    PushWrapperHandler(ctx);
    duk_put_prop_string(ctx, -2, kStashHandler);
    duk_pop(ctx);
    DefineGlobals();
}

JsRuntime::~JsRuntime() {
    ReleasePluginObjects();
    // Script values the plug-in still holds outlive the engine as empty shells.
    for (auto& [pointer, object] : scriptObjects) {
        object->runtime = nullptr;
    }
    scriptObjects.clear();
    duk_destroy_heap(ctx);
}

bool JsRuntime::Run(const std::string& source, const std::string& origin) {
    duk_idx_t base = duk_get_top(ctx);
    PushUtf8(ctx, source);
    PushUtf8(ctx, origin);
    bool ok = duk_pcompile(ctx, 0) == 0 && duk_pcall(ctx, 0) == 0;
    if (!ok) {
        Report(origin);
    }
    duk_set_top(ctx, base);
    return ok;
}

bool JsRuntime::CallOnload() {
    duk_idx_t base = duk_get_top(ctx);
    duk_push_global_object(ctx);
    duk_get_prop_string(ctx, -1, "onload");
    bool ok = true;
    if (duk_is_callable(ctx, -1)) {
        duk_swap_top(ctx, -2);
        ok = duk_pcall_method(ctx, 0) == 0;
        if (!ok) {
            Report("window.onload");
        }
    }
    duk_set_top(ctx, base);
    return ok;
}

void JsRuntime::FireTimer(uint32_t id) {
    duk_idx_t base = duk_get_top(ctx);
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, kStashTimers);
    duk_get_prop_index(ctx, -1, id);
    if (!duk_is_object(ctx, -1)) {
        duk_set_top(ctx, base);
        return;
    }
    duk_idx_t timer = duk_get_top_index(ctx);
    duk_get_prop_string(ctx, timer, "repeat");
    bool repeat = duk_to_boolean(ctx, -1);
    duk_pop(ctx);
    if (!repeat) {
        StopTimer(id);
    }
    duk_get_prop_string(ctx, timer, "fn");
    bool ok = true;
    if (duk_is_callable(ctx, -1)) {
        duk_push_undefined(ctx);
        duk_get_prop_string(ctx, timer, "args");
        duk_idx_t array = duk_get_top_index(ctx);
        duk_size_t count = duk_get_length(ctx, array);
        for (duk_size_t i = 0; i < count; ++i) {
            duk_get_prop_index(ctx, array, static_cast<duk_uarridx_t>(i));
        }
        duk_remove(ctx, array);
        ok = duk_pcall_method(ctx, static_cast<duk_idx_t>(count)) == 0;
    } else if (duk_is_string(ctx, -1)) {
        duk_push_string(ctx, "timer");
        ok = duk_pcompile(ctx, DUK_COMPILE_EVAL) == 0 && duk_pcall(ctx, 0) == 0;
    }
    if (!ok) {
        Report("a timer");
    }
    duk_set_top(ctx, base);
}

void JsRuntime::StopTimer(uint32_t id) {
    host.StopTimer(id);
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, kStashTimers);
    duk_del_prop_index(ctx, -1, id);
    duk_pop_2(ctx);
}

std::string JsRuntime::DescribeTop() {
    duk_safe_call(ctx, DescribeError, nullptr, 1, 1);
    std::string text = duk_is_string(ctx, -1) ? EngineString(ctx, -1) : "an error";
    duk_pop(ctx);
    return text;
}

void JsRuntime::Report(const std::string& where) {
    host.ScriptFailed(where + ": " + DescribeTop());
}

NPVariant JsRuntime::ToVariant(int index) {
    NPVariant variant;
    VOID_TO_NPVARIANT(variant);
    duk_idx_t at = duk_normalize_index(ctx, index);
    switch (duk_get_type(ctx, at)) {
        case DUK_TYPE_NULL:
            NULL_TO_NPVARIANT(variant);
            break;
        case DUK_TYPE_BOOLEAN:
            BOOLEAN_TO_NPVARIANT(duk_get_boolean(ctx, at), variant);
            break;
        case DUK_TYPE_NUMBER: {
            // Whole numbers of the int32 range go as Int32, as browsers do.
            double number = duk_get_number(ctx, at);
            if (std::trunc(number) == number && number >= -2147483648.0 && number <= 2147483647.0 &&
                !(number == 0 && std::signbit(number))) {
                INT32_TO_NPVARIANT(static_cast<int32_t>(number), variant);
            } else {
                DOUBLE_TO_NPVARIANT(number, variant);
            }
            break;
        }
        case DUK_TYPE_STRING: {
            std::string text = EngineString(ctx, at);
            auto* copy = static_cast<NPUTF8*>(MemAlloc(static_cast<uint32_t>(text.size() + 1)));
            if (copy != nullptr) {
                std::memcpy(copy, text.c_str(), text.size() + 1);
                STRINGN_TO_NPVARIANT(copy, static_cast<uint32_t>(text.size()), variant);
            }
            break;
        }
        case DUK_TYPE_OBJECT: {
            // A plug-in object goes back as itself.
            if (NPObject* object = TargetObject(ctx, at)) {
                OBJECT_TO_NPVARIANT(RetainObject(object), variant);
            } else if (NPObject* script = ScriptValueObject(at)) {
                OBJECT_TO_NPVARIANT(script, variant);
            }
            break;
        }
        default:
            break;
    }
    return variant;
}

void JsRuntime::PushVariant(const NPVariant& value) {
    switch (value.type) {
        case NPVariantType_Null:
            duk_push_null(ctx);
            break;
        case NPVariantType_Bool:
            duk_push_boolean(ctx, value.value.boolValue);
            break;
        case NPVariantType_Int32:
            duk_push_int(ctx, value.value.intValue);
            break;
        case NPVariantType_Double:
            duk_push_number(ctx, value.value.doubleValue);
            break;
        case NPVariantType_String: {
            std::string engine = Utf8ToEngine(value.value.stringValue.UTF8Characters,
                                              value.value.stringValue.UTF8Length);
            duk_push_lstring(ctx, engine.data(), engine.size());
            break;
        }
        case NPVariantType_Object:
            PushPluginObject(value.value.objectValue, false);
            break;
        default:
            duk_push_undefined(ctx);
            break;
    }
}

NPObject* JsRuntime::WindowObject() {
    duk_push_global_object(ctx);
    NPObject* window = ScriptValueObject(-1);
    duk_pop(ctx);
    return window;
}

HWND JsRuntime::PageWindow() {
    return host.PageWindow();
}

bool JsRuntime::Evaluate(NPObject*, const std::string& script, NPVariant* result) {
    VOID_TO_NPVARIANT(*result);
    duk_idx_t base = duk_get_top(ctx);
    PushUtf8(ctx, script);
    duk_push_string(ctx, "NPN_Evaluate");
    bool ok = duk_pcompile(ctx, DUK_COMPILE_EVAL) == 0 && duk_pcall(ctx, 0) == 0;
    if (ok) {
        *result = ToVariant(-1);
    } else {
        // The plug-in's own script failing is the plug-in's matter.
        host.Print("browser-host: NPN_Evaluate: " + DescribeTop(), true);
    }
    duk_set_top(ctx, base);
    return ok;
}

void JsRuntime::Status(const std::string& message) {
    host.Status(message);
}

}  // namespace browser
