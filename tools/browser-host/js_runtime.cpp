#include "js_runtime.h"

#include <duktape.h>

#include <cstdio>
#include <string>

#include "js_engine.h"
#include "js_text.h"
#include "np_runtime.h"
#include "script_bridge.h"

namespace browser {

using namespace engine;

// The runtime is the engine heap's host: every native finds its own.
JsRuntime* JsRuntime::Of(duk_context* ctx) {
    return static_cast<JsRuntime*>(ScriptHost::Of(ctx));
}

JsRuntime::JsRuntime(HostControl& control) : host(control) {
    ctx = CreateHeap(this);
    PrepareStash(ctx, kStashValues, kStashHandler, PushWrapperHandler);
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
    return RunScript(ctx, source, origin);
}

bool JsRuntime::CallOnload() {
    return engine::CallOnload(ctx);
}

void JsRuntime::FireTimer(uint32_t id) {
    engine::FireTimer(ctx, id);
}

void JsRuntime::StopTimer(uint32_t id) {
    engine::StopTimer(ctx, id);
}

void JsRuntime::Report(const std::string& where) {
    host.ScriptFailed(where + ": " + DescribeTop(ctx));
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
        host.Print("browser-host: NPN_Evaluate: " + DescribeTop(ctx), true);
    }
    duk_set_top(ctx, base);
    return ok;
}

void JsRuntime::Status(const std::string& message) {
    host.Status(message);
}

}  // namespace browser
