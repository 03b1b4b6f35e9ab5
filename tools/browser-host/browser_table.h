// The browser's function table that the host hands to NP_Initialize: every
// entry through setexception. The page-dependent entries (the window
// object, script evaluation, the status line) go to the page's services.
#pragma once

#include <windows.h>

#include <string>

#include "plugins/npapi/npapi.h"

namespace browser {

class PageServices {
public:
    // The page's window object, with one reference for the caller.
    virtual NPObject* WindowObject() = 0;
    virtual HWND PageWindow() = 0;
    virtual bool Evaluate(NPObject* scope, const std::string& script, NPVariant* result) = 0;
    virtual void Status(const std::string& message) = 0;

protected:
    ~PageServices() = default;
};

// The services of the one page the host runs; null while there is none.
void SetPageServices(PageServices* services);

inline constexpr const char* kUserAgent =
    "Mozilla/5.0 (Windows NT 6.1; rv:52.0) Gecko/20100101 browser-host/0.0.81";

NPNetscapeFuncs MakeBrowserFuncs();

}  // namespace browser
