// The page globals both of the host's modes give their scripts: print,
// done, console and the timers, whose ids are unique in the process so that
// the host can tell which engine (which frame) a due timer belongs to.
#include <duktape.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <string>

#include "js_text.h"
#include "script_host.h"

namespace browser::engine {

namespace {

constexpr const char* kStashTimers = "timers";
constexpr uint32_t kFirstTimerId = 1000;
std::atomic<uint32_t> nextTimerId{kFirstTimerId};

// console writes through print (as the page sees it when it logs) and the
// error printer.
constexpr const char* kConsole = R"JS(
(function (global, printError) {
    'use strict';
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
})
)JS";

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
    ScriptHost::Of(ctx)->Host().Print(JoinArguments(ctx), error);
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
    ScriptHost::Of(ctx)->Host().Done(code);
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
    ScriptHost::Of(ctx)->Host().StartTimer(id, milliseconds);
    duk_push_uint(ctx, id);
    return 1;
}

duk_ret_t ClearTimer(duk_context* ctx) {
    if (duk_get_top(ctx) < 1 || !duk_is_number(ctx, 0)) {
        return 0;
    }
    // Only this heap's own: the ids of other frames' timers are not this page's.
    uint32_t id = duk_get_uint(ctx, 0);
    if (OwnsTimer(ctx, id)) {
        StopTimer(ctx, id);
    }
    return 0;
}

}  // namespace

void DefinePageGlobals(duk_context* ctx) {
    duk_push_global_stash(ctx);
    duk_push_object(ctx);
    duk_put_prop_string(ctx, -2, kStashTimers);
    duk_pop(ctx);

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

    PushHostFunction(ctx, kConsole, "browser-host console");
    duk_push_global_object(ctx);
    PushPrintError(ctx);
    CallHostFunction(ctx, 2);
    duk_pop(ctx);
}

void PushPrintError(duk_context* ctx) {
    duk_push_c_function(ctx, PrintError, DUK_VARARGS);
}

bool RunScript(duk_context* ctx, const std::string& source, const std::string& origin) {
    duk_idx_t base = duk_get_top(ctx);
    PushUtf8(ctx, source);
    PushUtf8(ctx, origin);
    bool ok = duk_pcompile(ctx, 0) == 0 && duk_pcall(ctx, 0) == 0;
    if (!ok) {
        ScriptHost::Of(ctx)->Report(origin);
    }
    duk_set_top(ctx, base);
    return ok;
}

bool CallOnload(duk_context* ctx) {
    duk_idx_t base = duk_get_top(ctx);
    duk_push_global_object(ctx);
    duk_get_prop_string(ctx, -1, "onload");
    bool ok = true;
    if (duk_is_callable(ctx, -1)) {
        duk_swap_top(ctx, -2);
        ok = duk_pcall_method(ctx, 0) == 0;
        if (!ok) {
            ScriptHost::Of(ctx)->Report("window.onload");
        }
    }
    duk_set_top(ctx, base);
    return ok;
}

void FireTimer(duk_context* ctx, uint32_t id) {
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
        StopTimer(ctx, id);
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
        ScriptHost::Of(ctx)->Report("a timer");
    }
    duk_set_top(ctx, base);
}

void StopTimer(duk_context* ctx, uint32_t id) {
    ScriptHost::Of(ctx)->Host().StopTimer(id);
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, kStashTimers);
    duk_del_prop_index(ctx, -1, id);
    duk_pop_2(ctx);
}

bool OwnsTimer(duk_context* ctx, uint32_t id) {
    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, kStashTimers);
    bool owned = duk_has_prop_index(ctx, -1, id);
    duk_pop_2(ctx);
    return owned;
}

}  // namespace browser::engine
