// Script values as NPObjects: what the plug-in holds of the page (its
// functions above all, so that page callbacks work), kept in the stash.
#include <duktape.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "js_engine.h"
#include "js_runtime.h"
#include "js_text.h"
#include "np_runtime.h"
#include "script_bridge.h"

namespace browser {

using namespace engine;

namespace {

// --- Script values as NPObjects ------------------------------------------------

using ScriptObject = JsRuntime::ScriptObject;

NPObject* ScriptAllocate(NPP, NPClass*) {
    return new (std::nothrow) ScriptObject;
}

void ScriptDeallocate(NPObject* object) {
    ScriptObject* script = AsScript(object);
    if (script->runtime != nullptr) {
        script->runtime->ForgetScriptObject(script);
    }
    delete script;
}

void ScriptInvalidate(NPObject*) {}

bool ScriptHasMethod(NPObject* object, NPIdentifier name) {
    ScriptObject* script = AsScript(object);
    return script->runtime != nullptr && script->runtime->ScriptObjectHas(script, name, true);
}

bool ScriptInvoke(NPObject* object, NPIdentifier name, const NPVariant* args, uint32_t argCount,
                  NPVariant* result) {
    ScriptObject* script = AsScript(object);
    return script->runtime != nullptr &&
           script->runtime->CallScriptObject(script, name, args, argCount, result, false);
}

bool ScriptInvokeDefault(NPObject* object, const NPVariant* args, uint32_t argCount,
                         NPVariant* result) {
    ScriptObject* script = AsScript(object);
    return script->runtime != nullptr &&
           script->runtime->CallScriptObject(script, nullptr, args, argCount, result, false);
}

bool ScriptHasProperty(NPObject* object, NPIdentifier name) {
    ScriptObject* script = AsScript(object);
    return script->runtime != nullptr && script->runtime->ScriptObjectHas(script, name, false);
}

bool ScriptGetProperty(NPObject* object, NPIdentifier name, NPVariant* result) {
    ScriptObject* script = AsScript(object);
    return script->runtime != nullptr && script->runtime->ScriptObjectGet(script, name, result);
}

bool ScriptSetProperty(NPObject* object, NPIdentifier name, const NPVariant* value) {
    ScriptObject* script = AsScript(object);
    return script->runtime != nullptr && script->runtime->ScriptObjectSet(script, name, value);
}

bool ScriptRemoveProperty(NPObject* object, NPIdentifier name) {
    ScriptObject* script = AsScript(object);
    return script->runtime != nullptr && script->runtime->ScriptObjectRemove(script, name);
}

bool ScriptEnumerate(NPObject* object, NPIdentifier** identifiers, uint32_t* count) {
    ScriptObject* script = AsScript(object);
    return script->runtime != nullptr &&
           script->runtime->ScriptObjectEnumerate(script, identifiers, count);
}

bool ScriptConstruct(NPObject* object, const NPVariant* args, uint32_t argCount,
                     NPVariant* result) {
    ScriptObject* script = AsScript(object);
    return script->runtime != nullptr &&
           script->runtime->CallScriptObject(script, nullptr, args, argCount, result, true);
}

}  // namespace

NPClass engine::ScriptObjectClass = {
    NP_CLASS_STRUCT_VERSION, ScriptAllocate,    ScriptDeallocate,     ScriptInvalidate,
    ScriptHasMethod,         ScriptInvoke,      ScriptInvokeDefault,  ScriptHasProperty,
    ScriptGetProperty,       ScriptSetProperty, ScriptRemoveProperty, ScriptEnumerate,
    ScriptConstruct,
};

NPObject* JsRuntime::ScriptValueObject(int index) {
    void* pointer = duk_get_heapptr(ctx, index);
    if (pointer == nullptr) {
        return nullptr;
    }
    auto found = scriptObjects.find(pointer);
    if (found != scriptObjects.end()) {
        return RetainObject(found->second);
    }
    NPObject* object = CreateObject(nullptr, &ScriptObjectClass);
    if (object == nullptr) {
        return nullptr;
    }
    ScriptObject* script = AsScript(object);
    script->runtime = this;
    script->id = nextId++;
    script->heapPointer = pointer;
    KeepValue(ctx, kStashValues, script->id, index);
    scriptObjects[pointer] = script;
    return object;
}

void JsRuntime::PushScriptValue(uint32_t id) {
    PushKeptValue(ctx, kStashValues, id);
}

void JsRuntime::ForgetScriptObject(ScriptObject* object) {
    scriptObjects.erase(object->heapPointer);
    DropKeptValue(ctx, kStashValues, object->id);
}

bool JsRuntime::CallScriptObject(ScriptObject* object, NPIdentifier method, const NPVariant* args,
                                 uint32_t argCount, NPVariant* result, bool construct) {
    VOID_TO_NPVARIANT(*result);
    duk_idx_t base = duk_get_top(ctx);
    PushScriptValue(object->id);
    if (method != nullptr) {
        std::string key = KeyOf(method);
        std::string engine = Utf8ToEngine(key.data(), key.size());
        PropertyOperation get{PropertyKind::Get, engine.data(), engine.size()};
        duk_dup_top(ctx);
        if (duk_safe_call(ctx, RunPropertyOperation, &get, 1, 1) != DUK_EXEC_SUCCESS) {
            Report("a page object's " + key);
            duk_set_top(ctx, base);
            return false;
        }
        duk_swap_top(ctx, -2);  // [function, this]
    } else if (!construct) {
        duk_push_undefined(ctx);  // [function, this]
    }
    duk_idx_t function = construct ? -1 : -2;
    // Only functions can be called; anything else is a refused call.
    if (construct ? !duk_is_constructable(ctx, function) : !duk_is_callable(ctx, function)) {
        duk_set_top(ctx, base);
        return false;
    }
    for (uint32_t i = 0; i < argCount; ++i) {
        PushVariant(args[i]);
    }
    int status = construct ? duk_pnew(ctx, static_cast<duk_idx_t>(argCount))
                           : duk_pcall_method(ctx, static_cast<duk_idx_t>(argCount));
    if (status != DUK_EXEC_SUCCESS) {
        Report("a page function called by the plug-in");
        duk_set_top(ctx, base);
        return false;
    }
    *result = ToVariant(-1);
    duk_set_top(ctx, base);
    return true;
}

bool JsRuntime::ScriptObjectHas(ScriptObject* object, NPIdentifier name, bool method) {
    duk_idx_t base = duk_get_top(ctx);
    std::string key = KeyOf(name);
    std::string engine = Utf8ToEngine(key.data(), key.size());
    PropertyOperation operation{method ? PropertyKind::Get : PropertyKind::Has, engine.data(),
                                engine.size()};
    PushScriptValue(object->id);
    bool found = false;
    if (duk_safe_call(ctx, RunPropertyOperation, &operation, 1, 1) == DUK_EXEC_SUCCESS) {
        found = method ? duk_is_callable(ctx, -1) : duk_get_boolean(ctx, -1);
    }
    duk_set_top(ctx, base);
    return found;
}

bool JsRuntime::ScriptObjectGet(ScriptObject* object, NPIdentifier name, NPVariant* result) {
    VOID_TO_NPVARIANT(*result);
    duk_idx_t base = duk_get_top(ctx);
    std::string key = KeyOf(name);
    std::string engine = Utf8ToEngine(key.data(), key.size());
    PropertyOperation operation{PropertyKind::Get, engine.data(), engine.size()};
    PushScriptValue(object->id);
    bool ok = duk_safe_call(ctx, RunPropertyOperation, &operation, 1, 1) == DUK_EXEC_SUCCESS;
    if (ok) {
        *result = ToVariant(-1);
    }
    duk_set_top(ctx, base);
    return ok;
}

bool JsRuntime::ScriptObjectSet(ScriptObject* object, NPIdentifier name, const NPVariant* value) {
    duk_idx_t base = duk_get_top(ctx);
    std::string key = KeyOf(name);
    std::string engine = Utf8ToEngine(key.data(), key.size());
    PropertyOperation operation{PropertyKind::Set, engine.data(), engine.size()};
    PushScriptValue(object->id);
    PushVariant(*value);
    bool ok = duk_safe_call(ctx, RunPropertyOperation, &operation, 2, 0) == DUK_EXEC_SUCCESS;
    duk_set_top(ctx, base);
    return ok;
}

bool JsRuntime::ScriptObjectRemove(ScriptObject* object, NPIdentifier name) {
    duk_idx_t base = duk_get_top(ctx);
    std::string key = KeyOf(name);
    std::string engine = Utf8ToEngine(key.data(), key.size());
    PropertyOperation operation{PropertyKind::Remove, engine.data(), engine.size()};
    PushScriptValue(object->id);
    bool ok = duk_safe_call(ctx, RunPropertyOperation, &operation, 1, 1) == DUK_EXEC_SUCCESS &&
              duk_get_boolean(ctx, -1);
    duk_set_top(ctx, base);
    return ok;
}

bool JsRuntime::ScriptObjectEnumerate(ScriptObject* object, NPIdentifier** identifiers,
                                      uint32_t* count) {
    duk_idx_t base = duk_get_top(ctx);
    PropertyOperation operation{PropertyKind::Keys, nullptr, 0};
    PushScriptValue(object->id);
    if (duk_safe_call(ctx, RunPropertyOperation, &operation, 1, 1) != DUK_EXEC_SUCCESS) {
        duk_set_top(ctx, base);
        return false;
    }
    duk_size_t length = duk_get_length(ctx, -1);
    auto* list = static_cast<NPIdentifier*>(
        MemAlloc(static_cast<uint32_t>(sizeof(NPIdentifier) * (length == 0 ? 1 : length))));
    if (list == nullptr) {
        duk_set_top(ctx, base);
        return false;
    }
    for (duk_size_t i = 0; i < length; ++i) {
        duk_get_prop_index(ctx, -1, static_cast<duk_uarridx_t>(i));
        list[i] = GetStringIdentifier(EngineString(ctx, -1).c_str());
        duk_pop(ctx);
    }
    *identifiers = list;
    *count = static_cast<uint32_t>(length);
    duk_set_top(ctx, base);
    return true;
}

}  // namespace browser
