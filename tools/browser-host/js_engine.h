// What the parts of the page's script engine share: the engine's hidden
// property and stash names, plain error texts for the natives that raise
// script errors, and small helpers between engine strings and UTF-8.
//
// Native functions of the engine raise script errors by a long jump through
// their own frame: every native below does its C++ work in a helper whose
// objects are gone before the error is raised, and keeps only plain data
// (ErrorText) in the frame that raises it. Script code that the plug-in
// causes to run (page functions, getters) always runs protected.
#pragma once

#include <duktape.h>

#include <cstdint>
#include <string>

#include "js_runtime.h"

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
inline constexpr const char* kStashTimers = "timers";
inline constexpr const char* kStashHandler = "handler";
inline constexpr const char* kStashPage = "page";

struct ErrorText {
    char text[512];
};
void SetError(ErrorText* error, const std::string& message);

// The engine's fatal error handler: the host cannot go on.
void Fatal(void* userData, const char* message);
std::string EngineString(duk_context* ctx, duk_idx_t index);
void PushUtf8(duk_context* ctx, const std::string& text);
// The name of an identifier as a script sees it.
std::string KeyOf(NPIdentifier identifier);
// The plug-in object behind a wrapper's target (or a wrapper), null when it
// is no wrapper or its object was given back.
NPObject* TargetObject(duk_context* ctx, duk_idx_t index);
// Turns an exception the plug-in set, or a refused call, into an error text.
bool Failed(bool ok, const std::string& refusal, ErrorText* error);

// Runs a script-visible property operation on the object below the top
// (and the value on top, for a set), protected.
enum class PropertyKind { Get, Has, Set, Remove, Keys };
struct PropertyOperation {
    PropertyKind kind;
    const char* name;
    size_t length;
};
duk_ret_t RunPropertyOperation(duk_context* ctx, void* data);
// The error on top as text (its stack when it has one), protected.
duk_ret_t DescribeError(duk_context* ctx, void*);

// The proxy handler that makes plug-in objects look like script objects,
// pushed for the stash.
void PushWrapperHandler(duk_context* ctx);
// The class of script values handed to the plug-in as NPObjects.
extern NPClass ScriptObjectClass;
inline JsRuntime::ScriptObject* AsScript(NPObject* object) {
    return static_cast<JsRuntime::ScriptObject*>(object);
}

}  // namespace browser::engine
