// What the host's two script engines (the plug-in API's and Internet
// Explorer's) share: the host behind an engine heap, the page globals both
// pages have (print, done, console, the timers), and small helpers between
// engine strings and UTF-8.
//
// Native functions of the engine raise script errors by a long jump through
// their own frame: every native does its C++ work in a helper whose objects
// are gone before the error is raised, and keeps only plain data (ErrorText)
// in the frame that raises it. Script code that the host causes to run
// (page functions, getters, timers) always runs protected.
#pragma once

#include <duktape.h>

#include <cstdint>
#include <string>
#include <type_traits>

#include "host_control.h"

namespace browser {

// The owner of one engine heap, which the heap's user data points to: the
// natives of the page globals find the host's services through it.
class ScriptHost {
public:
    virtual HostControl& Host() = 0;
    // Reports the error on top of the stack, which ends the run, and pops it.
    virtual void Report(const std::string& where) = 0;

    static ScriptHost* Of(duk_context* ctx);

protected:
    ~ScriptHost() = default;
};

}  // namespace browser

namespace browser::engine {

struct ErrorText {
    char text[512];
};
void SetError(ErrorText* error, const std::string& message);
// Raises the text as a script Error.
duk_ret_t RaiseText(duk_context* ctx, const ErrorText* error);

// A native whose C++ work is done by impl: what impl answers (the count of
// values it left on the stack), or for -1 the error it left, raised.
template <typename Error, int (*Impl)(duk_context*, Error*),
          duk_ret_t (*Raise)(duk_context*, const Error*) = RaiseText>
duk_ret_t Native(duk_context* ctx) {
    static_assert(std::is_trivially_destructible_v<Error>, "the raise jumps over the error");
    Error error;
    int result = Impl(ctx, &error);
    if (result < 0) {
        return Raise(ctx, &error);
    }
    return result;
}

// The engine's fatal error handler: the host cannot go on.
void Fatal(void* userData, const char* message);
// A heap whose user data is its host.
duk_context* CreateHeap(ScriptHost* host);
std::string EngineString(duk_context* ctx, duk_idx_t index);
void PushUtf8(duk_context* ctx, const std::string& text);

// Runs a script-visible property operation on the object below the top
// (and the value on top, for a set), protected. The name is engine text.
enum class PropertyKind { Get, Has, Set, Remove, Keys };
struct PropertyOperation {
    PropertyKind kind;
    const char* name;
    size_t length;
};
duk_ret_t RunPropertyOperation(duk_context* ctx, void* data);
// The error on top as text (its stack when it has one), protected.
duk_ret_t DescribeError(duk_context* ctx, void*);
// The error on top as text, popped.
std::string DescribeTop(duk_context* ctx);

// Evaluates one of the host's own scripts, a function expression, and
// pushes the function; the host cannot go on without it.
void PushHostFunction(duk_context* ctx, const char* source, const char* origin);
// Calls the host's function below its count arguments, leaving its result;
// the host cannot go on when it fails.
void CallHostFunction(duk_context* ctx, duk_idx_t count);

// --- The page globals both modes share ------------------------------------------

// Puts print, done, console, setTimeout, setInterval, clearTimeout and
// clearInterval on the global object and prepares the timer table.
void DefinePageGlobals(duk_context* ctx);
// Pushes the native that prints its arguments as an error line.
void PushPrintError(duk_context* ctx);
// Runs one script; false when it ended in an error no script caught.
bool RunScript(duk_context* ctx, const std::string& source, const std::string& origin);
// Calls window.onload (the global object's) when the page set it.
bool CallOnload(duk_context* ctx);
// A timer is due; timers of other heaps are ignored.
void FireTimer(duk_context* ctx, uint32_t id);
// Ends a timer: the host stops it and the heap forgets it.
void StopTimer(duk_context* ctx, uint32_t id);
bool OwnsTimer(duk_context* ctx, uint32_t id);

}  // namespace browser::engine
