// The page globals of the plug-in API's pages: those both modes share, and
// the page's own glue (window, document, navigator) with the plug-in's
// description and the embed elements.
#include <duktape.h>

#include <string>

#include "js_engine.h"
#include "js_runtime.h"
#include "js_text.h"

namespace browser {

using namespace engine;

namespace {

// The page's own glue: window, document and navigator, with the
// helpers the host uses to add the plug-in's description and the embeds.
constexpr const char* kPrelude = R"JS(
(function (global, embeds, elements, userAgent) {
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

}  // namespace

void JsRuntime::DefineGlobals() {
    DefinePageGlobals(ctx);
    PushHostFunction(ctx, kPrelude, "browser-host prelude");
    duk_push_global_object(ctx);
    duk_push_array(ctx);
    duk_push_object(ctx);
    duk_push_string(ctx, kUserAgent);
    CallHostFunction(ctx, 4);
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
