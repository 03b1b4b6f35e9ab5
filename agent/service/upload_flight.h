// The page upload in flight, as the agent's shutdown sees it: a worker that
// still waits on the service when the agent closes has its connection cut,
// so that the upload ends and the worker with it.
#pragma once

#include "agent/service/service_proxy.h"

namespace vexlo {

// Tracks the connection of one upload call for as long as it lives. One
// upload runs at a time (the scan worker's); a second one at the same time
// is simply not tracked.
class UploadFlight {
public:
    explicit UploadFlight(struct soap& call);
    ~UploadFlight();
    UploadFlight(const UploadFlight&) = delete;
    UploadFlight& operator=(const UploadFlight&) = delete;

    // True when CutUploadInFlight reached this upload.
    bool WasCut() const;

private:
    friend void CutUploadInFlight();
    friend SOAP_SOCKET OpenTracked(struct soap*, const char*, const char*, int);
    friend int CloseTracked(struct soap*, SOAP_SOCKET);

    struct soap& call;
    SOAP_SOCKET (*defaultOpen)(struct soap*, const char*, const char*, int);
    int (*defaultClose)(struct soap*, SOAP_SOCKET);
    SOAP_SOCKET socket = SOAP_INVALID_SOCKET;
    bool tracked = false;
    bool cut = false;
};

// Shuts down the connection of the upload in flight, if any, so that its
// waiting send or receive ends at once; an upload still connecting is cut
// as soon as it has connected. Callable from any thread.
void CutUploadInFlight();

}  // namespace vexlo
