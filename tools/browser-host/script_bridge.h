// What both engines' bridges to the objects of the other side share: the
// stash tables that keep script values while the other side holds them, the
// hidden slot that ties a proxy's target to the object it stands for, and
// the proxy handlers whose traps ask that object.
#pragma once

#include <duktape.h>

#include <cstdint>
#include <initializer_list>

#include "script_host.h"

namespace browser::engine {

// One trap of a proxy handler: its name, native and argument count.
struct Trap {
    const char* name;
    duk_c_function function;
    duk_idx_t arguments;
};
// Pushes a proxy handler with these traps.
void PushHandler(duk_context* ctx, std::initializer_list<Trap> traps);

// A get trap whose C++ work impl does as a Native's: 1 with the value
// pushed, -1 for an error, 0 for the target's (at 0) own property of the key
// (at 1), read here with no C++ object left in the frame (a getter of the
// prototype may throw).
template <typename Error, int (*Impl)(duk_context*, Error*),
          duk_ret_t (*Raise)(duk_context*, const Error*) = RaiseText>
duk_ret_t GetTrapNative(duk_context* ctx) {
    if (Native<Error, Impl, Raise>(ctx) == 0) {
        duk_dup(ctx, 1);
        duk_get_prop(ctx, 0);
    }
    return 1;
}

// What a trap leaves to the proxy's target (at 0) for the key (at 1): a
// set puts the value (at 2) there and answers true; a has answers true when
// found or the target has the key.
duk_ret_t SetOnTarget(duk_context* ctx);
duk_ret_t AnswerHas(duk_context* ctx, bool found);

// Prepares the stash: an empty table of kept values under values, and the
// handler pushHandler makes under handler.
void PrepareStash(duk_context* ctx, const char* values, const char* handler,
                  void (*pushHandler)(duk_context*));
// Replaces the object at the top by its proxy, with the stash's handler.
void MakeProxy(duk_context* ctx, const char* handler);

// The table of kept values: the value at index kept under slot, pushed back,
// dropped (which may run finalizers), or all of them dropped at once.
void KeepValue(duk_context* ctx, const char* values, uint32_t slot, duk_idx_t index);
void PushKeptValue(duk_context* ctx, const char* values, uint32_t slot);
void DropKeptValue(duk_context* ctx, const char* values, uint32_t slot);
void DropKeptValues(duk_context* ctx, const char* values);

// The slot in the hidden key of the object at index (read without a trap
// from a proxy's target); false for a value without one.
bool HiddenSlot(duk_context* ctx, duk_idx_t index, const char* key, uint32_t* slot);

}  // namespace browser::engine
