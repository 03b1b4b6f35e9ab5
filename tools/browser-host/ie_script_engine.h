// The script engine of one document in the host's Internet Explorer mode: a
// Duktape heap whose bridge speaks COM instead of the plug-in API.
//
// - The window's expando properties are the engine's global properties: the
//   window's IDispatchEx puts, reads and deletes them here.
// - A COM object reaches scripts as a proxy holding one reference: reading a
//   member asks GetIDsOfNames and Invoke(DISPATCH_PROPERTYGET); a member that
//   answers DISP_E_MEMBERNOTFOUND to that is a method, called with
//   DISPATCH_METHOD | DISPATCH_PROPERTYGET. A failing call raises a script
//   error whose `number` is the HRESULT (the EXCEPINFO's scode for
//   DISP_E_EXCEPTION) and whose message carries its description.
// - A script value (a function above all, so that page callbacks work)
//   reaches COM as an IDispatch of the engine's own, counted as COM counts;
//   calling it with DISPID_VALUE calls the function. An error inside it is
//   reported as the NPAPI mode reports it (the run ends) and the call
//   answers DISP_E_EXCEPTION.
// - VARIANTs and script values: VT_EMPTY undefined, VT_NULL null, VT_BOOL,
//   the integer and real types numbers, VT_BSTR strings, VT_DISPATCH objects
//   (a wrapper of this engine's own value gives the value back),
//   VT_BYREF | VT_VARIANT what it points to; whole numbers of the int32 range
//   go back as VT_I4, other numbers as VT_R8.
//
// The end of a document, as a browser does it: the window drops its
// expandos (DeleteGlobal), ReleaseComObjects, MakeWrappersInert, then the
// engine is destroyed. Every call comes on the page thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "host_control.h"

namespace browser::ie {

// What a document's scripts ask of its frame besides the host's services.
class FrameControl : public HostControl {
public:
    // location.href = url, location.assign(url), window.navigate(url): the
    // frame posts the navigation; it never runs inside the script's call.
    virtual void Navigate(const std::string& url) = 0;

protected:
    ~FrameControl() = default;
};

class ScriptEngine {
public:
    // The engine's globals: print, done, console, setTimeout, setInterval,
    // clearTimeout, clearInterval, window (the global object itself),
    // location (href, assign) and navigate, document (title, URL).
    ScriptEngine(FrameControl& frame, const std::string& url);
    // Makes the wrappers inert and destroys the heap.
    ~ScriptEngine();
    ScriptEngine(const ScriptEngine&) = delete;
    ScriptEngine& operator=(const ScriptEngine&) = delete;

    // Runs one script; false when it ended in an error no script caught
    // (reported to the frame's ScriptFailed).
    bool Run(const std::string& source, const std::string& origin);
    // window.onload when the page set it.
    bool CallOnload();
    // A timer this engine started is due; unknown ids are ignored.
    void FireTimer(uint32_t id);
    // Whether one of this engine's timers has this id.
    bool OwnsTimer(uint32_t id) const;

    // The window's properties. Put: S_OK; Get: DISP_E_MEMBERNOTFOUND when
    // the global does not exist; Delete: S_OK, or S_FALSE when it did not.
    HRESULT PutGlobal(const std::u16string& name, const VARIANT& value);
    HRESULT GetGlobal(const std::u16string& name, VARIANT* value);
    HRESULT DeleteGlobal(const std::u16string& name);
    bool HasGlobal(const std::u16string& name);

    // Gives back every COM reference the scripts hold: later uses of those
    // proxies raise script errors.
    void ReleaseComObjects();
    // Wrappers of script values that COM still holds (in the Global
    // Interface Table, say) let go of their values and answer every later
    // call with E_UNEXPECTED; their own reference counts go on.
    void MakeWrappersInert();

    // For the host's conformance tests: COM objects the scripts hold, and
    // wrappers of script values alive.
    size_t HeldComObjects() const;
    size_t LiveWrappers() const;

private:
    struct State;
    std::unique_ptr<State> state;
};

}  // namespace browser::ie
