// The IE mode's script engine: the heap with the page globals both modes
// share and the window's own (location, navigate, document), and the
// window's expandos as the engine's global properties.
#include "ie_script_engine.h"

#include <duktape.h>

#include <string>

#include "ie_script_state.h"
#include "script_bridge.h"
#include "script_host.h"

namespace browser::ie {

using namespace engine;

namespace {

// window is the global object; location navigates through the frame when
// it is set, as href, through assign, and as window.location itself.
constexpr const char* kPrelude = R"JS(
(function (global, url, navigate) {
    'use strict';
    function go(value) { navigate(String(value)); }
    var location = { assign: go, toString: function () { return url; } };
    Object.defineProperty(location, 'href', {
        get: function () { return url; }, set: go, enumerable: true
    });
    global.window = global;
    Object.defineProperty(global, 'location', {
        get: function () { return location; }, set: go, enumerable: true
    });
    global.navigate = go;
    global.document = { URL: url, title: '' };
})
)JS";

// The frame posts the navigation; nothing runs inside this call.
duk_ret_t Navigate(duk_context* ctx) {
    if (duk_is_string(ctx, 0)) {
        ScriptState::Of(ctx)->Frame().Navigate(EngineString(ctx, 0));
    }
    return 0;
}

}  // namespace

ScriptState* ScriptState::Of(duk_context* ctx) {
    return static_cast<ScriptState*>(ScriptHost::Of(ctx));
}

ScriptState::ScriptState(FrameControl& control, const std::string& address)
    : frame(control), url(address) {
    ctx = CreateHeap(this);
    PrepareStash(ctx, kStashWrapped, kStashComHandler, PushComHandler);
    DefineGlobals();
}

ScriptState::~ScriptState() {
    ReleaseComObjects();
    MakeWrappersInert();
    duk_destroy_heap(ctx);
}

void ScriptState::DefineGlobals() {
    DefinePageGlobals(ctx);
    PushHostFunction(ctx, kPrelude, "browser-host window");
    duk_push_global_object(ctx);
    PushUtf8(ctx, url);
    duk_push_c_function(ctx, Navigate, 1);
    CallHostFunction(ctx, 3);
    duk_pop(ctx);
}

void ScriptState::Report(const std::string& where) {
    frame.ScriptFailed(where + ": " + DescribeTop(ctx));
}

// --- The engine ------------------------------------------------------------------

struct ScriptEngine::State final : ScriptState {
    using ScriptState::ScriptState;
};

namespace {

// Runs a property operation on the global object; the value to set, if
// any, is on top. Leaves the operation's result on top; false when a script
// error (a getter's, a setter's) ended it.
bool OnGlobal(duk_context* ctx, const std::u16string& name, PropertyKind kind) {
    std::string key = WideToEngine(name.data(), name.size());
    PropertyOperation operation{kind, key.data(), key.size()};
    duk_push_global_object(ctx);
    duk_idx_t arguments = 1;
    if (kind == PropertyKind::Set) {
        duk_swap_top(ctx, -2);  // [global, value]
        arguments = 2;
    }
    return duk_safe_call(ctx, RunPropertyOperation, &operation, arguments, 1) == DUK_EXEC_SUCCESS;
}

}  // namespace

ScriptEngine::ScriptEngine(FrameControl& frame, const std::string& url)
    : state(std::make_unique<State>(frame, url)) {}

ScriptEngine::~ScriptEngine() = default;

bool ScriptEngine::Run(const std::string& source, const std::string& origin) {
    return RunScript(state->Context(), source, origin);
}

bool ScriptEngine::CallOnload() {
    return engine::CallOnload(state->Context());
}

void ScriptEngine::FireTimer(uint32_t id) {
    engine::FireTimer(state->Context(), id);
}

bool ScriptEngine::OwnsTimer(uint32_t id) const {
    return engine::OwnsTimer(state->Context(), id);
}

HRESULT ScriptEngine::PutGlobal(const std::u16string& name, const VARIANT& value) {
    duk_context* ctx = state->Context();
    duk_idx_t base = duk_get_top(ctx);
    state->PushVariant(value);
    bool ok = OnGlobal(ctx, name, PropertyKind::Set);
    duk_set_top(ctx, base);
    return ok ? S_OK : DISP_E_EXCEPTION;
}

HRESULT ScriptEngine::GetGlobal(const std::u16string& name, VARIANT* value) {
    if (value == nullptr) {
        return E_POINTER;
    }
    VariantInit(value);
    if (!HasGlobal(name)) {
        return DISP_E_MEMBERNOTFOUND;
    }
    duk_context* ctx = state->Context();
    duk_idx_t base = duk_get_top(ctx);
    bool ok = OnGlobal(ctx, name, PropertyKind::Get);
    if (ok) {
        state->ToVariant(-1, value);
    }
    duk_set_top(ctx, base);
    return ok ? S_OK : DISP_E_EXCEPTION;
}

HRESULT ScriptEngine::DeleteGlobal(const std::u16string& name) {
    if (!HasGlobal(name)) {
        return S_FALSE;
    }
    duk_context* ctx = state->Context();
    duk_idx_t base = duk_get_top(ctx);
    // A property the window cannot lose (location) stays: S_FALSE.
    bool deleted = OnGlobal(ctx, name, PropertyKind::Remove) && duk_get_boolean(ctx, -1);
    duk_set_top(ctx, base);
    return deleted ? S_OK : S_FALSE;
}

bool ScriptEngine::HasGlobal(const std::u16string& name) {
    duk_context* ctx = state->Context();
    duk_idx_t base = duk_get_top(ctx);
    bool found = OnGlobal(ctx, name, PropertyKind::Has) && duk_get_boolean(ctx, -1);
    duk_set_top(ctx, base);
    return found;
}

void ScriptEngine::ReleaseComObjects() {
    state->ReleaseComObjects();
}

void ScriptEngine::MakeWrappersInert() {
    state->MakeWrappersInert();
}

size_t ScriptEngine::HeldComObjects() const {
    return state->HeldCount();
}

size_t ScriptEngine::LiveWrappers() const {
    return state->WrapperCount();
}

}  // namespace browser::ie
