// The page's script engine (Duktape) and its bridge to the plug-in API: the
// page globals (print, done, timers, window, document, navigator), plug-in
// objects seen by scripts as objects whose methods and properties the plug-in
// answers, and script values seen by the plug-in as NPObjects (functions
// included, so that page callbacks work). A call the plug-in answers with
// false raises a script error.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "browser_table.h"
#include "host_control.h"
#include "page.h"
#include "plugins/npapi/npapi.h"
#include "script_host.h"

namespace browser {

// What the page's navigator tells about the plug-in.
struct PluginDescription {
    std::string name;
    std::string description;
    std::string filename;
    std::vector<std::string> mimeTypes;
};

class JsRuntime : public PageServices, public ScriptHost {
public:
    explicit JsRuntime(HostControl& host);
    ~JsRuntime();
    JsRuntime(const JsRuntime&) = delete;
    JsRuntime& operator=(const JsRuntime&) = delete;

    void DescribePlugin(const PluginDescription& plugin);
    // Adds an embed element to the document; a scriptable object (whose
    // reference the element takes over) makes it the plug-in's object.
    void AddEmbed(const EmbedElement& element, NPObject* scriptable);
    // Runs one script; false when it ended in an error no script caught.
    bool Run(const std::string& source, const std::string& origin);
    // Calls window.onload when the page set it.
    bool CallOnload();
    // A setTimeout or setInterval timer is due.
    void FireTimer(uint32_t id);
    // Gives back every plug-in object the scripts still hold, while the
    // engine is alive: the first step of the page's end.
    void ReleasePluginObjects();

    // Page services of the browser function table.
    NPObject* WindowObject() override;
    HWND PageWindow() override;
    bool Evaluate(NPObject* scope, const std::string& script, NPVariant* result) override;
    void Status(const std::string& message) override;

    // The script value behind an NPObject of the engine's own class.
    struct ScriptObject;
    bool CallScriptObject(ScriptObject* object, NPIdentifier method, const NPVariant* args,
                          uint32_t argCount, NPVariant* result, bool construct);
    bool ScriptObjectHas(ScriptObject* object, NPIdentifier name, bool method);
    bool ScriptObjectGet(ScriptObject* object, NPIdentifier name, NPVariant* result);
    bool ScriptObjectSet(ScriptObject* object, NPIdentifier name, const NPVariant* value);
    bool ScriptObjectRemove(ScriptObject* object, NPIdentifier name);
    bool ScriptObjectEnumerate(ScriptObject* object, NPIdentifier** identifiers, uint32_t* count);
    void ForgetScriptObject(ScriptObject* object);

    // Used by the engine's native functions.
    duk_context* Context() const { return ctx; }
    HostControl& Host() override { return host; }
    NPObject* WrappedObject(uint32_t id) const;
    void ReleaseWrapper(uint32_t id);
    void StopTimer(uint32_t id);
    // The value at a stack index as a variant the receiver releases.
    NPVariant ToVariant(int index);
    void PushVariant(const NPVariant& value);
    void PushPluginObject(NPObject* object, bool adopt);
    // Reports the error on top of the stack, which ends the run, and pops it.
    void Report(const std::string& where) override;

    static JsRuntime* Of(duk_context* ctx);

private:
    void DefineGlobals();
    void DefineAttributes(const EmbedElement& element, int index);
    void PushWrapper(NPObject* object, bool adopt, const EmbedElement* element);
    NPObject* ScriptValueObject(int index);
    void PushScriptValue(uint32_t id);

    HostControl& host;
    duk_context* ctx = nullptr;
    uint32_t nextId = 1;
    // Plug-in objects held by script wrappers, one reference each.
    std::unordered_map<uint32_t, NPObject*> wrapped;
    // Script values handed to the plug-in, by engine heap address.
    std::unordered_map<void*, ScriptObject*> scriptObjects;
};

}  // namespace browser
