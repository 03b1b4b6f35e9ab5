// Plug-in objects as script objects: a proxy whose traps ask the plug-in,
// around a callable target that holds the object's slot.
#include <duktape.h>

#include <string>
#include <vector>

#include "js_engine.h"
#include "js_runtime.h"
#include "js_text.h"
#include "np_runtime.h"

namespace browser {

using namespace engine;

namespace {

// --- Plug-in objects as script objects ---------------------------------------

duk_ret_t WrapperTarget(duk_context*) {
    return 0;
}

duk_ret_t WrapperFinalizer(duk_context* ctx) {
    duk_get_prop_string(ctx, 0, kWrapId);
    if (duk_is_number(ctx, -1)) {
        JsRuntime::Of(ctx)->ReleaseWrapper(duk_get_uint(ctx, -1));
    }
    return 0;
}

// A method of a plug-in object: obj.Name(args) calls invoke with Name.
int MethodCallImpl(duk_context* ctx, ErrorText* error) {
    JsRuntime* runtime = JsRuntime::Of(ctx);
    duk_idx_t count = duk_get_top(ctx);
    duk_push_current_function(ctx);
    duk_get_prop_string(ctx, -1, kMethodIdentifier);
    auto identifier = static_cast<NPIdentifier>(duk_get_pointer(ctx, -1));
    duk_pop(ctx);
    duk_get_prop_string(ctx, -1, kMethodTarget);
    NPObject* object = TargetObject(ctx, -1);
    duk_pop_2(ctx);
    std::string name = KeyOf(identifier);
    if (object == nullptr) {
        SetError(error, "the plug-in object of " + name + " is gone");
        return -1;
    }
    std::vector<NPVariant> args(static_cast<size_t>(count));
    for (duk_idx_t i = 0; i < count; ++i) {
        args[static_cast<size_t>(i)] = runtime->ToVariant(i);
    }
    NPVariant result;
    bool ok =
        Invoke(nullptr, object, identifier, args.data(), static_cast<uint32_t>(count), &result);
    for (NPVariant& arg : args) {
        ReleaseVariantValue(&arg);
    }
    if (Failed(ok, "Error calling method " + name + " on the plug-in object", error)) {
        if (ok) {
            ReleaseVariantValue(&result);
        }
        return -1;
    }
    runtime->PushVariant(result);
    ReleaseVariantValue(&result);
    return 1;
}

duk_ret_t MethodCall(duk_context* ctx) {
    ErrorText error;
    int result = MethodCallImpl(ctx, &error);
    if (result < 0) {
        return duk_error(ctx, DUK_ERR_ERROR, "%s", error.text);
    }
    return result;
}

// get(target, key, receiver)
int GetTrapImpl(duk_context* ctx, ErrorText* error) {
    NPObject* object = TargetObject(ctx, 0);
    if (object != nullptr && duk_is_string(ctx, 1)) {
        std::string name = EngineString(ctx, 1);
        NPIdentifier identifier = GetStringIdentifier(name.c_str());
        if (HasMethod(nullptr, object, identifier)) {
            duk_push_c_function(ctx, MethodCall, DUK_VARARGS);
            duk_push_pointer(ctx, identifier);
            duk_put_prop_string(ctx, -2, kMethodIdentifier);
            duk_dup(ctx, 0);  // keeps the plug-in object while the method lives
            duk_put_prop_string(ctx, -2, kMethodTarget);
            return 1;
        }
        if (HasProperty(nullptr, object, identifier)) {
            NPVariant result;
            bool ok = GetProperty(nullptr, object, identifier, &result);
            if (Failed(ok, "the plug-in refused to give the property " + name, error)) {
                if (ok) {
                    ReleaseVariantValue(&result);
                }
                return -1;
            }
            JsRuntime::Of(ctx)->PushVariant(result);
            ReleaseVariantValue(&result);
            return 1;
        }
    }
    // Anything else is the element's own (attributes, toString, ...).
    duk_dup(ctx, 1);
    duk_get_prop(ctx, 0);
    return 1;
}

duk_ret_t GetTrap(duk_context* ctx) {
    ErrorText error;
    int result = GetTrapImpl(ctx, &error);
    if (result < 0) {
        return duk_error(ctx, DUK_ERR_ERROR, "%s", error.text);
    }
    return result;
}

// set(target, key, value, receiver)
int SetTrapImpl(duk_context* ctx, ErrorText* error) {
    NPObject* object = TargetObject(ctx, 0);
    if (object == nullptr || !duk_is_string(ctx, 1)) {
        duk_dup(ctx, 1);
        duk_dup(ctx, 2);
        duk_put_prop(ctx, 0);
        duk_push_true(ctx);
        return 1;
    }
    std::string name = EngineString(ctx, 1);
    NPIdentifier identifier = GetStringIdentifier(name.c_str());
    if (!HasProperty(nullptr, object, identifier)) {
        SetError(error, "the plug-in object has no property " + name + " to set");
        return -1;
    }
    NPVariant value = JsRuntime::Of(ctx)->ToVariant(2);
    bool ok = SetProperty(nullptr, object, identifier, &value);
    ReleaseVariantValue(&value);
    if (Failed(ok, "the plug-in refused to set the property " + name, error)) {
        return -1;
    }
    duk_push_true(ctx);
    return 1;
}

duk_ret_t SetTrap(duk_context* ctx) {
    ErrorText error;
    int result = SetTrapImpl(ctx, &error);
    if (result < 0) {
        return duk_error(ctx, DUK_ERR_ERROR, "%s", error.text);
    }
    return result;
}

// has(target, key)
duk_ret_t HasTrap(duk_context* ctx) {
    NPObject* object = TargetObject(ctx, 0);
    bool found = false;
    if (object != nullptr && duk_is_string(ctx, 1)) {
        std::string name = EngineString(ctx, 1);
        NPIdentifier identifier = GetStringIdentifier(name.c_str());
        found = HasMethod(nullptr, object, identifier) || HasProperty(nullptr, object, identifier);
    }
    if (!found) {
        duk_dup(ctx, 1);
        found = duk_has_prop(ctx, 0);
    }
    duk_push_boolean(ctx, found);
    return 1;
}

// deleteProperty(target, key)
int DeleteTrapImpl(duk_context* ctx, ErrorText* error) {
    NPObject* object = TargetObject(ctx, 0);
    if (object != nullptr && duk_is_string(ctx, 1)) {
        std::string name = EngineString(ctx, 1);
        NPIdentifier identifier = GetStringIdentifier(name.c_str());
        if (HasProperty(nullptr, object, identifier)) {
            bool ok = RemoveProperty(nullptr, object, identifier);
            if (Failed(ok, "the plug-in refused to remove the property " + name, error)) {
                return -1;
            }
            duk_push_true(ctx);
            return 1;
        }
    }
    duk_dup(ctx, 1);
    duk_push_boolean(ctx, duk_del_prop(ctx, 0));
    return 1;
}

duk_ret_t DeleteTrap(duk_context* ctx) {
    ErrorText error;
    int result = DeleteTrapImpl(ctx, &error);
    if (result < 0) {
        return duk_error(ctx, DUK_ERR_ERROR, "%s", error.text);
    }
    return result;
}

// apply(target, this, args) and construct(target, args, newTarget): calling
// the plug-in object itself.
int CallTrapImpl(duk_context* ctx, bool construct, ErrorText* error) {
    JsRuntime* runtime = JsRuntime::Of(ctx);
    NPObject* object = TargetObject(ctx, 0);
    if (object == nullptr) {
        SetError(error, "the plug-in object is gone");
        return -1;
    }
    duk_idx_t array = construct ? 1 : 2;
    duk_size_t count = duk_get_length(ctx, array);
    std::vector<NPVariant> args(count);
    for (duk_size_t i = 0; i < count; ++i) {
        duk_get_prop_index(ctx, array, static_cast<duk_uarridx_t>(i));
        args[i] = runtime->ToVariant(-1);
        duk_pop(ctx);
    }
    NPVariant result;
    bool ok =
        construct
            ? Construct(nullptr, object, args.data(), static_cast<uint32_t>(count), &result)
            : InvokeDefault(nullptr, object, args.data(), static_cast<uint32_t>(count), &result);
    for (NPVariant& arg : args) {
        ReleaseVariantValue(&arg);
    }
    if (Failed(ok,
               construct ? "the plug-in object cannot be constructed with"
                         : "the plug-in object refused to be called",
               error)) {
        if (ok) {
            ReleaseVariantValue(&result);
        }
        return -1;
    }
    if (construct && result.type != NPVariantType_Object) {
        ReleaseVariantValue(&result);
        SetError(error, "the plug-in object constructed no object");
        return -1;
    }
    runtime->PushVariant(result);
    ReleaseVariantValue(&result);
    return 1;
}

duk_ret_t ApplyTrap(duk_context* ctx) {
    ErrorText error;
    int result = CallTrapImpl(ctx, false, &error);
    if (result < 0) {
        return duk_error(ctx, DUK_ERR_ERROR, "%s", error.text);
    }
    return result;
}

duk_ret_t ConstructTrap(duk_context* ctx) {
    ErrorText error;
    int result = CallTrapImpl(ctx, true, &error);
    if (result < 0) {
        return duk_error(ctx, DUK_ERR_ERROR, "%s", error.text);
    }
    return result;
}

}  // namespace

namespace engine {

void PushWrapperHandler(duk_context* ctx) {
    duk_push_object(ctx);
    struct Trap {
        const char* name;
        duk_c_function function;
        duk_idx_t arguments;
    };
    for (const Trap& trap : {Trap{"get", GetTrap, 3}, Trap{"set", SetTrap, 4},
                             Trap{"has", HasTrap, 2}, Trap{"deleteProperty", DeleteTrap, 2},
                             Trap{"apply", ApplyTrap, 3}, Trap{"construct", ConstructTrap, 3}}) {
        duk_push_c_function(ctx, trap.function, trap.arguments);
        duk_put_prop_string(ctx, -2, trap.name);
    }
}

}  // namespace engine

void JsRuntime::ReleasePluginObjects() {
    // Giving one back can make the plug-in give back script values, and
    // finalizers of wrappers find nothing left to release.
    std::unordered_map<uint32_t, NPObject*> held;
    held.swap(wrapped);
    for (auto& [id, object] : held) {
        ReleaseObject(object);
    }
}

NPObject* JsRuntime::WrappedObject(uint32_t id) const {
    auto found = wrapped.find(id);
    return found == wrapped.end() ? nullptr : found->second;
}

void JsRuntime::ReleaseWrapper(uint32_t id) {
    auto found = wrapped.find(id);
    if (found == wrapped.end()) {
        return;
    }
    NPObject* object = found->second;
    wrapped.erase(found);
    ReleaseObject(object);
}

void JsRuntime::PushPluginObject(NPObject* object, bool adopt) {
    if (object == nullptr) {
        duk_push_null(ctx);
        return;
    }
    if (object->_class == &ScriptObjectClass && AsScript(object)->runtime == this) {
        PushScriptValue(AsScript(object)->id);
        if (adopt) {
            ReleaseObject(object);
        }
        return;
    }
    PushWrapper(object, adopt, nullptr);
}

// A plug-in object as a script sees it: a proxy whose traps ask the plug-in,
// around a callable target that holds the object's slot, the element's
// attributes, and the finalizer that gives the reference back.
void JsRuntime::PushWrapper(NPObject* object, bool adopt, const EmbedElement* element) {
    if (!adopt) {
        RetainObject(object);
    }
    uint32_t id = nextId++;
    wrapped[id] = object;
    duk_push_c_function(ctx, WrapperTarget, DUK_VARARGS);
    duk_push_uint(ctx, id);
    duk_put_prop_string(ctx, -2, kWrapId);
    duk_push_c_function(ctx, WrapperFinalizer, 2);
    duk_set_finalizer(ctx, -2);
    if (element != nullptr) {
        DefineAttributes(*element, duk_get_top_index(ctx));
    }
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, kStashHandler);
    duk_remove(ctx, -2);
    duk_push_proxy(ctx, 0);
}

}  // namespace browser
