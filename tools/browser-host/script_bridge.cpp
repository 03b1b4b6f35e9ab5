#include "script_bridge.h"

namespace browser::engine {

void PushHandler(duk_context* ctx, std::initializer_list<Trap> traps) {
    duk_push_object(ctx);
    for (const Trap& trap : traps) {
        duk_push_c_function(ctx, trap.function, trap.arguments);
        duk_put_prop_string(ctx, -2, trap.name);
    }
}

duk_ret_t SetOnTarget(duk_context* ctx) {
    duk_dup(ctx, 1);
    duk_dup(ctx, 2);
    duk_put_prop(ctx, 0);
    duk_push_true(ctx);
    return 1;
}

duk_ret_t AnswerHas(duk_context* ctx, bool found) {
    if (!found) {
        duk_dup(ctx, 1);
        found = duk_has_prop(ctx, 0);
    }
    duk_push_boolean(ctx, found);
    return 1;
}

void PrepareStash(duk_context* ctx, const char* values, const char* handler,
                  void (*pushHandler)(duk_context*)) {
    duk_push_global_stash(ctx);
    duk_push_object(ctx);
    duk_put_prop_string(ctx, -2, values);
    pushHandler(ctx);
    duk_put_prop_string(ctx, -2, handler);
    duk_pop(ctx);
}

void MakeProxy(duk_context* ctx, const char* handler) {
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, handler);
    duk_remove(ctx, -2);
    duk_push_proxy(ctx, 0);
}

void KeepValue(duk_context* ctx, const char* values, uint32_t slot, duk_idx_t index) {
    duk_idx_t at = duk_normalize_index(ctx, index);
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, values);
    duk_dup(ctx, at);
    duk_put_prop_index(ctx, -2, slot);
    duk_pop_2(ctx);
}

void PushKeptValue(duk_context* ctx, const char* values, uint32_t slot) {
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, values);
    duk_get_prop_index(ctx, -1, slot);
    duk_remove(ctx, -2);
    duk_remove(ctx, -2);
}

void DropKeptValue(duk_context* ctx, const char* values, uint32_t slot) {
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, values);
    duk_del_prop_index(ctx, -1, slot);
    duk_pop_2(ctx);
}

void DropKeptValues(duk_context* ctx, const char* values) {
    duk_push_global_stash(ctx);
    duk_push_object(ctx);
    duk_put_prop_string(ctx, -2, values);
    duk_pop(ctx);
}

bool HiddenSlot(duk_context* ctx, duk_idx_t index, const char* key, uint32_t* slot) {
    if (!duk_is_object(ctx, index)) {
        return false;
    }
    duk_get_prop_string(ctx, index, key);
    bool found = duk_is_number(ctx, -1);
    *slot = duk_get_uint(ctx, -1);
    duk_pop(ctx);
    return found;
}

}  // namespace browser::engine
