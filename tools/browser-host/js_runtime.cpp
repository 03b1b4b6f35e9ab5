#include "js_runtime.h"

#include <duktape.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "js_text.h"
#include "np_runtime.h"

// Native functions of the engine raise script errors by a long jump through
// their own frame: every native below does its C++ work in a helper whose
// objects are gone before the error is raised, and keeps only plain data
// (ErrorText) in the frame that raises it. Script code that the plug-in
// causes to run (page functions, getters) always runs protected.

namespace browser {

struct JsRuntime::ScriptObject : NPObject {
    JsRuntime* runtime = nullptr;  // null once the engine is gone
    uint32_t id = 0;               // the value's slot in the stash
    void* heapPointer = nullptr;
};

namespace {

constexpr const char* kWrapId =
    "\xff"
    "npwrap";
constexpr const char* kMethodIdentifier =
    "\xff"
    "ident";
constexpr const char* kMethodTarget =
    "\xff"
    "target";
constexpr const char* kStashValues = "values";
constexpr const char* kStashTimers = "timers";
constexpr const char* kStashHandler = "handler";
constexpr const char* kStashPage = "page";

constexpr uint32_t kFirstTimerId = 1000;

JsRuntime* activeRuntime = nullptr;
uint32_t nextTimerId = kFirstTimerId;

struct ErrorText {
    char text[512];
};

void SetError(ErrorText* error, const std::string& message) {
    std::snprintf(error->text, sizeof(error->text), "%s", message.c_str());
}

// The page's own glue: window, document, console and navigator, with the
// helpers the host uses to add the plug-in's description and the embeds.
constexpr const char* kPrelude = R"JS(
(function (global, embeds, elements, printError, userAgent) {
    'use strict';
    global.window = global;
    var plugins = [];
    var mimeTypes = [];
    global.navigator = {
        userAgent: userAgent, plugins: plugins, mimeTypes: mimeTypes,
        javaEnabled: function () { return false; }
    };
    var document = {
        embeds: embeds,
        plugins: embeds,
        getElementById: function (id) {
            id = String(id);
            return Object.prototype.hasOwnProperty.call(elements, id) ? elements[id] : null;
        },
        getElementsByTagName: function (tag) {
            return String(tag).toLowerCase() === 'embed' ? embeds.slice() : [];
        }
    };
    global.document = document;
    function join(args) {
        var parts = [];
        for (var i = 0; i < args.length; i++) { parts.push(String(args[i])); }
        return parts.join(' ');
    }
    global.console = {
        log: function () { print(join(arguments)); },
        info: function () { print(join(arguments)); },
        warn: function () { printError(join(arguments)); },
        error: function () { printError(join(arguments)); }
    };
    return {
        describePlugin: function (name, description, filename, types) {
            var plugin = { name: name, description: description, filename: filename,
                           length: types.length };
            for (var i = 0; i < types.length; i++) {
                var mime = { type: types[i], description: '', suffixes: '', enabledPlugin: plugin };
                plugin[i] = mime;
                mimeTypes.push(mime);
                mimeTypes[types[i]] = mime;
            }
            plugins.push(plugin);
            plugins[name] = plugin;
        },
        addElement: function (element, id, name) {
            embeds.push(element);
            if (id) {
                elements[id] = element;
                if (!(id in global)) { global[id] = element; }
            }
            if (name && !(name in document)) { document[name] = element; }
        }
    };
})
)JS";

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
enum class PropertyKind { Get, Has, Set, Remove, Keys };

struct PropertyOperation {
    PropertyKind kind;
    const char* name;
    size_t length;
};

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

// --- Natives of the page globals -------------------------------------------

std::string JoinArguments(duk_context* ctx) {
    std::string line;
    duk_idx_t count = duk_get_top(ctx);
    for (duk_idx_t i = 0; i < count; ++i) {
        if (i > 0) {
            line += ' ';
        }
        duk_size_t length = 0;
        const char* text = duk_safe_to_lstring(ctx, i, &length);
        line += EngineToUtf8(text, length);
    }
    return line;
}

void PrintImpl(duk_context* ctx, bool error) {
    JsRuntime::Of(ctx)->Host().Print(JoinArguments(ctx), error);
}

duk_ret_t Print(duk_context* ctx) {
    PrintImpl(ctx, false);
    return 0;
}

duk_ret_t PrintError(duk_context* ctx) {
    PrintImpl(ctx, true);
    return 0;
}

duk_ret_t Done(duk_context* ctx) {
    int code = duk_get_top(ctx) > 0 && !duk_is_undefined(ctx, 0) ? duk_to_int32(ctx, 0) : 0;
    JsRuntime::Of(ctx)->Host().Done(code);
    return 0;
}

// setTimeout(fn, ms, args...) and setInterval (magic 1).
duk_ret_t SetTimer(duk_context* ctx) {
    duk_idx_t count = duk_get_top(ctx);
    if (count < 1) {
        return DUK_RET_TYPE_ERROR;
    }
    bool repeat = duk_get_current_magic(ctx) == 1;
    double delay = count > 1 ? duk_to_number(ctx, 1) : 0;
    uint32_t milliseconds =
        std::isfinite(delay) && delay > 0 ? static_cast<uint32_t>(std::min(delay, 2e9)) : 0;
    uint32_t id = nextTimerId++;
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, kStashTimers);
    duk_push_object(ctx);  // {fn, args, repeat}
    duk_dup(ctx, 0);
    duk_put_prop_string(ctx, -2, "fn");
    duk_push_array(ctx);
    for (duk_idx_t i = 2; i < count; ++i) {
        duk_dup(ctx, i);
        duk_put_prop_index(ctx, -2, static_cast<duk_uarridx_t>(i - 2));
    }
    duk_put_prop_string(ctx, -2, "args");
    duk_push_boolean(ctx, repeat);
    duk_put_prop_string(ctx, -2, "repeat");
    duk_put_prop_index(ctx, -2, id);
    duk_pop_2(ctx);
    JsRuntime::Of(ctx)->Host().StartTimer(id, milliseconds);
    duk_push_uint(ctx, id);
    return 1;
}

duk_ret_t ClearTimer(duk_context* ctx) {
    if (duk_get_top(ctx) < 1 || !duk_is_number(ctx, 0)) {
        return 0;
    }
    uint32_t id = duk_get_uint(ctx, 0);
    JsRuntime::Of(ctx)->StopTimer(id);
    return 0;
}

// --- Plug-in objects as script objects ---------------------------------------

duk_ret_t WrapperTarget(duk_context*) {
    return 0;
}

duk_ret_t WrapperFinalizer(duk_context* ctx) {
    duk_get_prop_string(ctx, 0, kWrapId);
    if (duk_is_number(ctx, -1) && activeRuntime != nullptr) {
        activeRuntime->ReleaseWrapper(duk_get_uint(ctx, -1));
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

// --- Script values as NPObjects ------------------------------------------------

using ScriptObject = JsRuntime::ScriptObject;

ScriptObject* AsScript(NPObject* object) {
    return static_cast<ScriptObject*>(object);
}

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

NPClass ScriptObjectClass = {
    NP_CLASS_STRUCT_VERSION, ScriptAllocate,    ScriptDeallocate,     ScriptInvalidate,
    ScriptHasMethod,         ScriptInvoke,      ScriptInvokeDefault,  ScriptHasProperty,
    ScriptGetProperty,       ScriptSetProperty, ScriptRemoveProperty, ScriptEnumerate,
    ScriptConstruct,
};

}  // namespace

// --- The runtime -----------------------------------------------------------------

JsRuntime* JsRuntime::Of(duk_context*) {
    return activeRuntime;
}

JsRuntime::JsRuntime(HostControl& control) : host(control) {
    ctx = duk_create_heap(nullptr, nullptr, nullptr, nullptr, Fatal);
    if (ctx == nullptr) {
        Fatal(nullptr, "no memory for the script engine");
    }
    activeRuntime = this;
    duk_push_global_stash(ctx);
    duk_push_object(ctx);
    duk_put_prop_string(ctx, -2, kStashValues);
    duk_push_object(ctx);
    duk_put_prop_string(ctx, -2, kStashTimers);
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
    activeRuntime = nullptr;
}

void JsRuntime::DefineGlobals() {
    duk_push_global_object(ctx);
    duk_push_c_function(ctx, Print, DUK_VARARGS);
    duk_put_prop_string(ctx, -2, "print");
    duk_push_c_function(ctx, Done, DUK_VARARGS);
    duk_put_prop_string(ctx, -2, "done");
    duk_push_c_function(ctx, SetTimer, DUK_VARARGS);
    duk_put_prop_string(ctx, -2, "setTimeout");
    duk_push_c_function(ctx, SetTimer, DUK_VARARGS);
    duk_set_magic(ctx, -1, 1);
    duk_put_prop_string(ctx, -2, "setInterval");
    duk_push_c_function(ctx, ClearTimer, 1);
    duk_put_prop_string(ctx, -2, "clearTimeout");
    duk_push_c_function(ctx, ClearTimer, 1);
    duk_put_prop_string(ctx, -2, "clearInterval");
    duk_pop(ctx);

    duk_push_string(ctx, kPrelude);
    duk_push_string(ctx, "browser-host prelude");
    if (duk_pcompile(ctx, DUK_COMPILE_EVAL) != 0 || duk_pcall(ctx, 0) != 0) {
        Fatal(nullptr, duk_safe_to_string(ctx, -1));
    }
    duk_push_global_object(ctx);
    duk_push_array(ctx);
    duk_push_object(ctx);
    duk_push_c_function(ctx, PrintError, DUK_VARARGS);
    duk_push_string(ctx, kUserAgent);
    if (duk_pcall(ctx, 5) != 0) {
        Fatal(nullptr, duk_safe_to_string(ctx, -1));
    }
    duk_push_global_stash(ctx);
    duk_swap_top(ctx, -2);
    duk_put_prop_string(ctx, -2, kStashPage);
    duk_pop(ctx);
}

void JsRuntime::DescribePlugin(const PluginDescription& plugin) {
    duk_idx_t base = duk_get_top(ctx);
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, kStashPage);
    duk_get_prop_string(ctx, -1, "describePlugin");
    duk_swap_top(ctx, -2);  // this = the page helpers
    PushUtf8(ctx, plugin.name);
    PushUtf8(ctx, plugin.description);
    PushUtf8(ctx, plugin.filename);
    duk_push_array(ctx);
    for (size_t i = 0; i < plugin.mimeTypes.size(); ++i) {
        PushUtf8(ctx, plugin.mimeTypes[i]);
        duk_put_prop_index(ctx, -2, static_cast<duk_uarridx_t>(i));
    }
    if (duk_pcall_method(ctx, 4) != 0) {
        Report("describing the plug-in");
    }
    duk_set_top(ctx, base);
}

void JsRuntime::AddEmbed(const EmbedElement& element, NPObject* scriptable) {
    duk_idx_t base = duk_get_top(ctx);
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, kStashPage);
    duk_get_prop_string(ctx, -1, "addElement");
    duk_swap_top(ctx, -2);
    if (scriptable != nullptr) {
        PushWrapper(scriptable, true, &element);
    } else {
        duk_push_object(ctx);
        DefineAttributes(element, duk_get_top_index(ctx));
    }
    PushUtf8(ctx, element.Attribute("id"));
    PushUtf8(ctx, element.Attribute("name"));
    if (duk_pcall_method(ctx, 3) != 0) {
        Report("adding an embed element");
    }
    duk_set_top(ctx, base);
}

void JsRuntime::DefineAttributes(const EmbedElement& element, int index) {
    for (const auto& [name, value] : element.attributes) {
        PushUtf8(ctx, name);
        PushUtf8(ctx, value);
        duk_def_prop(ctx, index,
                     DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_FORCE | DUK_DEFPROP_SET_WRITABLE |
                         DUK_DEFPROP_SET_ENUMERABLE | DUK_DEFPROP_SET_CONFIGURABLE);
    }
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
    duk_idx_t at = duk_normalize_index(ctx, index);
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, kStashValues);
    duk_dup(ctx, at);
    duk_put_prop_index(ctx, -2, script->id);
    duk_pop_2(ctx);
    scriptObjects[pointer] = script;
    return object;
}

void JsRuntime::PushScriptValue(uint32_t id) {
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, kStashValues);
    duk_get_prop_index(ctx, -1, id);
    duk_remove(ctx, -2);
    duk_remove(ctx, -2);
}

void JsRuntime::ForgetScriptObject(ScriptObject* object) {
    scriptObjects.erase(object->heapPointer);
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, kStashValues);
    duk_del_prop_index(ctx, -1, object->id);
    duk_pop_2(ctx);
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
