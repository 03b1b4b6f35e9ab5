// Plug-in objects as script objects: a proxy whose traps ask the plug-in,
// around a callable target that holds the object's slot.
#include <duktape.h>

#include <string>
#include <vector>

#include "js_engine.h"
#include "js_runtime.h"
#include "js_text.h"
#include "np_runtime.h"
#include "script_bridge.h"

namespace browser {

using namespace engine;

namespace {

// --- Plug-in objects as script objects ---------------------------------------

duk_ret_t WrapperTarget(duk_context*) {
    return 0;
}

duk_ret_t WrapperFinalizer(duk_context* ctx) {
    uint32_t id = 0;
    if (HiddenSlot(ctx, 0, kWrapId, &id)) {
        JsRuntime::Of(ctx)->ReleaseWrapper(id);
    }
    return 0;
}

// Pushes what a call of the plug-in gave: 1, or -1 with the error set when
// it failed.
int PushResult(duk_context* ctx, bool ok, NPVariant* result, const std::string& refusal,
               ErrorText* error) {
    if (Failed(ok, refusal, error)) {
        if (ok) {
            ReleaseVariantValue(result);
        }
        return -1;
    }
    JsRuntime::Of(ctx)->PushVariant(*result);
    ReleaseVariantValue(result);
    return 1;
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
    return PushResult(ctx, ok, &result, "Error calling method " + name + " on the plug-in object",
                      error);
}

// The plug-in object behind a trap's target and the trap's key (at 1).
struct TrapKey {
    NPObject* object = nullptr;
    std::string name;
    NPIdentifier identifier = nullptr;
};

// False for a key that is no string or an object given back.
bool FindTrapKey(duk_context* ctx, TrapKey* key) {
    key->object = TargetObject(ctx, 0);
    if (key->object == nullptr || !duk_is_string(ctx, 1)) {
        return false;
    }
    key->name = EngineString(ctx, 1);
    key->identifier = GetStringIdentifier(key->name.c_str());
    return true;
}

// get(target, key, receiver): anything but the plug-in object's methods and
// properties is the element's own (attributes, toString, ...).
int GetTrapImpl(duk_context* ctx, ErrorText* error) {
    TrapKey key;
    if (!FindTrapKey(ctx, &key)) {
        return 0;
    }
    if (HasMethod(nullptr, key.object, key.identifier)) {
        duk_push_c_function(ctx, Native<ErrorText, MethodCallImpl>, DUK_VARARGS);
        duk_push_pointer(ctx, key.identifier);
        duk_put_prop_string(ctx, -2, kMethodIdentifier);
        duk_dup(ctx, 0);  // keeps the plug-in object while the method lives
        duk_put_prop_string(ctx, -2, kMethodTarget);
        return 1;
    }
    if (!HasProperty(nullptr, key.object, key.identifier)) {
        return 0;
    }
    NPVariant result;
    bool ok = GetProperty(nullptr, key.object, key.identifier, &result);
    return PushResult(ctx, ok, &result, "the plug-in refused to give the property " + key.name,
                      error);
}

// set(target, key, value, receiver)
int SetTrapImpl(duk_context* ctx, ErrorText* error) {
    TrapKey key;
    if (!FindTrapKey(ctx, &key)) {
        return SetOnTarget(ctx);
    }
    if (!HasProperty(nullptr, key.object, key.identifier)) {
        SetError(error, "the plug-in object has no property " + key.name + " to set");
        return -1;
    }
    NPVariant value = JsRuntime::Of(ctx)->ToVariant(2);
    bool ok = SetProperty(nullptr, key.object, key.identifier, &value);
    ReleaseVariantValue(&value);
    if (Failed(ok, "the plug-in refused to set the property " + key.name, error)) {
        return -1;
    }
    duk_push_true(ctx);
    return 1;
}

// has(target, key)
duk_ret_t HasTrap(duk_context* ctx) {
    bool found = false;
    {
        TrapKey key;
        found = FindTrapKey(ctx, &key) && (HasMethod(nullptr, key.object, key.identifier) ||
                                           HasProperty(nullptr, key.object, key.identifier));
    }  // gone before the target is asked
    return AnswerHas(ctx, found);
}

// deleteProperty(target, key)
int DeleteTrapImpl(duk_context* ctx, ErrorText* error) {
    {
        TrapKey key;
        if (FindTrapKey(ctx, &key) && HasProperty(nullptr, key.object, key.identifier)) {
            bool ok = RemoveProperty(nullptr, key.object, key.identifier);
            if (Failed(ok, "the plug-in refused to remove the property " + key.name, error)) {
                return -1;
            }
            duk_push_true(ctx);
            return 1;
        }
    }  // gone before the target is asked
    duk_dup(ctx, 1);
    duk_push_boolean(ctx, duk_del_prop(ctx, 0));
    return 1;
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

int ApplyTrapImpl(duk_context* ctx, ErrorText* error) {
    return CallTrapImpl(ctx, false, error);
}

int ConstructTrapImpl(duk_context* ctx, ErrorText* error) {
    return CallTrapImpl(ctx, true, error);
}

}  // namespace

namespace engine {

void PushWrapperHandler(duk_context* ctx) {
    PushHandler(ctx, {Trap{"get", GetTrapNative<ErrorText, GetTrapImpl>, 3},
                      Trap{"set", Native<ErrorText, SetTrapImpl>, 4}, Trap{"has", HasTrap, 2},
                      Trap{"deleteProperty", Native<ErrorText, DeleteTrapImpl>, 2},
                      Trap{"apply", Native<ErrorText, ApplyTrapImpl>, 3},
                      Trap{"construct", Native<ErrorText, ConstructTrapImpl>, 3}});
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
    MakeProxy(ctx, kStashHandler);
}

}  // namespace browser
