// The render call in flight, as the agent's shutdown sees it. The render has
// a tracker of its own (the upload's is one per process, and a render beside
// an upload must be cut too). A cut reaches the call in flight and every
// render that starts after it, until renders are allowed again: a stop that
// arrives before the call connects still ends it.
#pragma once

#include "agent/service/service_proxy.h"

namespace vexlo {

// Tracks the connection of one render call for as long as it lives; one
// render runs at a time (the print worker's).
class RenderFlight {
public:
    explicit RenderFlight(struct soap& call);
    ~RenderFlight();
    RenderFlight(const RenderFlight&) = delete;
    RenderFlight& operator=(const RenderFlight&) = delete;

    // True when CutRenderCalls reached this call.
    bool WasCut() const;

private:
    friend void CutRenderCalls();
    friend SOAP_SOCKET OpenRender(struct soap*, const char*, const char*, int);
    friend int CloseRender(struct soap*, SOAP_SOCKET);

    struct soap& call;
    SOAP_SOCKET (*defaultOpen)(struct soap*, const char*, const char*, int);
    int (*defaultClose)(struct soap*, SOAP_SOCKET);
    SOAP_SOCKET socket = SOAP_INVALID_SOCKET;
    bool tracked = false;
};

// Shuts down the connection of the render in flight, if any, and makes every
// later render fail before it connects. Callable from any thread.
void CutRenderCalls();
// Lets renders connect again (a new agent window in the same process).
void AllowRenderCalls();

}  // namespace vexlo
