// The page globals: print, done, the timers, and the page's own glue
// (window, document, console, navigator) with the plug-in's description and
// the embed elements.
#include <duktape.h>

#include <cmath>
#include <string>

#include "js_engine.h"
#include "js_runtime.h"
#include "js_text.h"

namespace browser {

using namespace engine;

namespace {

constexpr uint32_t kFirstTimerId = 1000;
uint32_t nextTimerId = kFirstTimerId;

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

}  // namespace

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

}  // namespace browser
