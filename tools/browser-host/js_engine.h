// What the parts of the plug-in API's script engine share: the engine's
// hidden property and stash names and the bridge's helpers (the natives'
// rules are those of script_host.h).
#pragma once

#include <duktape.h>

#include <cstdint>
#include <string>

#include "js_runtime.h"
#include "script_host.h"

namespace browser {

struct JsRuntime::ScriptObject : NPObject {
    JsRuntime* runtime = nullptr;  // null once the engine is gone
    uint32_t id = 0;               // the value's slot in the stash
    void* heapPointer = nullptr;
};

}  // namespace browser

namespace browser::engine {

inline constexpr const char* kWrapId =
    "\xff"
    "npwrap";
inline constexpr const char* kMethodIdentifier =
    "\xff"
    "ident";
inline constexpr const char* kMethodTarget =
    "\xff"
    "target";
inline constexpr const char* kStashValues = "values";
inline constexpr const char* kStashHandler = "handler";
inline constexpr const char* kStashPage = "page";

// The name of an identifier as a script sees it.
std::string KeyOf(NPIdentifier identifier);
// The plug-in object behind a wrapper's target (or a wrapper), null when it
// is no wrapper or its object was given back.
NPObject* TargetObject(duk_context* ctx, duk_idx_t index);
// Turns an exception the plug-in set, or a refused call, into an error text.
bool Failed(bool ok, const std::string& refusal, ErrorText* error);

// The proxy handler that makes plug-in objects look like script objects,
// pushed for the stash.
void PushWrapperHandler(duk_context* ctx);
// The class of script values handed to the plug-in as NPObjects.
extern NPClass ScriptObjectClass;
inline JsRuntime::ScriptObject* AsScript(NPObject* object) {
    return static_cast<JsRuntime::ScriptObject*>(object);
}

}  // namespace browser::engine
