// One accepted connection of the fax service: its own SOAP context (a copy
// of the listening one), the hooks that stream attachments into page files,
// capture the request bytes and inject transport faults, and the requests
// served on it (one, or several with keep-alive).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "incoming_page.h"
#include "service_state.h"
#include "soapMTOMServiceSOAP12BindingService.h"

namespace faxservice {

class Connection {
public:
    // Takes ownership of the context, whose socket is the accepted one.
    Connection(ServiceState& state, MTOMServiceSOAP12BindingService* context);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Serves requests until the client closes, a time-out or an error.
    void Serve();

    // The connection that a service operation runs on.
    static Connection& Of(struct soap* soap) { return *static_cast<Connection*>(soap->user); }
    ServiceState& state() { return state_; }
    uint64_t number() const { return number_; }
    // The page whose streaming handle is `handle`, or null (for inline content
    // or a handle this connection never made).
    IncomingPage* FindPage(const void* handle);
    // Drops the pages of the request just served (their files are removed
    // unless a page was kept).
    void ForgetPages() { pages_.clear(); }
    // Marks the end of a call, for telling an interrupted request from an
    // idle keep-alive connection that the client closed.
    void CallDone() { bytesAtLastCall_ = received_; }
    // Sleeps for the plan's stall; false when the service stops meanwhile.
    bool Stall();

private:
    static size_t Receive(struct soap* soap, char* buffer, size_t length);
    static void* OpenPage(struct soap* soap, void* handle, const char* id, const char* type,
                          const char* description, enum soap_mime_encoding encoding);
    static int WritePage(struct soap* soap, void* handle, const char* buffer, size_t length);
    static void ClosePage(struct soap* soap, void* handle);

    ServiceState& state_;
    std::unique_ptr<MTOMServiceSOAP12BindingService> context_;
    uint64_t number_;
    size_t (*innerReceive_)(struct soap*, char*, size_t) = nullptr;
    std::vector<std::unique_ptr<IncomingPage>> pages_;
    FILE* capture_ = nullptr;
    int64_t received_ = 0;
    int64_t bytesAtLastCall_ = 0;
};

}  // namespace faxservice
