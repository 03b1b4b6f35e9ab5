// The inside of the IE mode's script engine, shared by its parts: the heap
// and its host, the COM objects its proxies hold, and the wrappers of its
// script values that COM holds.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <unordered_map>

#include "ie_script_engine.h"
#include "js_text.h"
#include "script_host.h"

namespace browser::ie {

// Hidden properties: the held object's slot on a proxy's target, and a COM
// method's DISPID, name and proxy target.
inline constexpr const char* kComId =
    "\xff"
    "comid";
inline constexpr const char* kMethodDispid =
    "\xff"
    "dispid";
inline constexpr const char* kMethodName =
    "\xff"
    "name";
inline constexpr const char* kMethodTarget =
    "\xff"
    "target";
// Stash entries: script values that wrappers keep, and the proxy handler.
inline constexpr const char* kStashWrapped = "wrapped";
inline constexpr const char* kStashComHandler = "comhandler";

class ScriptDispatch;

// The proxy handler that makes COM objects look like script objects, pushed
// for the stash.
void PushComHandler(duk_context* ctx);

class ScriptState : public ScriptHost {
public:
    ScriptState(FrameControl& frame, const std::string& url);
    ~ScriptState();
    ScriptState(const ScriptState&) = delete;
    ScriptState& operator=(const ScriptState&) = delete;

    static ScriptState* Of(duk_context* ctx);

    HostControl& Host() override { return frame; }
    void Report(const std::string& where) override;
    FrameControl& Frame() { return frame; }
    duk_context* Context() const { return ctx; }

    // --- COM objects as script objects (ie_script_com_objects.cpp) ---------
    // Pushes a proxy that holds one more reference to the object (null for
    // a null object).
    void PushComObject(IDispatch* object);
    // The object of a proxy's slot; null once it was given back.
    IDispatch* HeldObject(uint32_t id) const;
    // The object behind a proxy or its target, null for anything else.
    IDispatch* ComObjectOf(duk_idx_t index) const;
    void ReleaseHeld(uint32_t id);
    void ReleaseComObjects();
    size_t HeldCount() const { return held.size(); }

    // --- Script values and COM (ie_script_values.cpp) -----------------------
    // The value at a stack index as a VARIANT the receiver clears.
    void ToVariant(duk_idx_t index, VARIANT* out);
    void PushVariant(const VARIANT& value);
    // The wrapper of the object at index, one reference for the receiver.
    IDispatch* WrapperOf(duk_idx_t index);
    // Called by a wrapper at its last reference.
    void Forget(ScriptDispatch* wrapper);
    void MakeWrappersInert();
    size_t WrapperCount() const { return wrappers.size(); }

    // What a wrapper's IDispatch asks of the value it keeps.
    bool HasMember(uint32_t slot, const std::string& name);
    HRESULT InvokeWrapped(uint32_t slot, const std::string* member, WORD flags,
                          const DISPPARAMS& params, VARIANT* result, EXCEPINFO* exception);

private:
    void DefineGlobals();
    void PushWrapped(uint32_t slot);
    HRESULT CallTop(duk_idx_t argCount, VARIANT* result, EXCEPINFO* exception);
    HRESULT Failure(EXCEPINFO* exception);

    FrameControl& frame;
    std::string url;
    duk_context* ctx = nullptr;
    uint32_t nextId = 1;
    // COM objects held by proxies, one reference each.
    std::unordered_map<uint32_t, IDispatch*> held;
    // Wrappers of script values, by engine heap address.
    std::unordered_map<void*, ScriptDispatch*> wrappers;
};

}  // namespace browser::ie
