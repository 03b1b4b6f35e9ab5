#include "agent/service/upload_flight.h"

#include <sys/socket.h>

#include <mutex>

namespace vexlo {

namespace {

// Guards `current` and the tracked socket: the socket is never closed while
// a cut holds the lock, so a cut never reaches a reused descriptor.
std::mutex flightLock;
UploadFlight* current = nullptr;

}  // namespace

SOAP_SOCKET OpenTracked(struct soap* soap, const char* endpoint, const char* host, int port) {
    SOAP_SOCKET (*open)(struct soap*, const char*, const char*, int) = nullptr;
    {
        std::lock_guard<std::mutex> guard(flightLock);
        if (current == nullptr || &current->call != soap) {
            return SOAP_INVALID_SOCKET;
        }
        open = current->defaultOpen;
    }
    SOAP_SOCKET socket = open(soap, endpoint, host, port);
    std::lock_guard<std::mutex> guard(flightLock);
    current->socket = socket;
    if (current->cut && soap_valid_socket(socket)) {
        ::shutdown(socket, SHUT_RDWR);
    }
    return socket;
}

int CloseTracked(struct soap* soap, SOAP_SOCKET socket) {
    int (*close)(struct soap*, SOAP_SOCKET) = nullptr;
    {
        std::lock_guard<std::mutex> guard(flightLock);
        if (current == nullptr || &current->call != soap) {
            return SOAP_OK;
        }
        close = current->defaultClose;
        if (current->socket == socket) {
            current->socket = SOAP_INVALID_SOCKET;
        }
        // Closed under the lock: a cut waits for it rather than reaching a
        // descriptor that another thread may open again.
        return close(soap, socket);
    }
}

UploadFlight::UploadFlight(struct soap& upload)
    : call(upload), defaultOpen(upload.fopen), defaultClose(upload.fclosesocket) {
    std::lock_guard<std::mutex> guard(flightLock);
    if (current == nullptr) {
        current = this;
        tracked = true;
        call.fopen = OpenTracked;
        call.fclosesocket = CloseTracked;
    }
}

UploadFlight::~UploadFlight() {
    std::lock_guard<std::mutex> guard(flightLock);
    if (tracked) {
        call.fopen = defaultOpen;
        call.fclosesocket = defaultClose;
        current = nullptr;
    }
}

bool UploadFlight::WasCut() const {
    std::lock_guard<std::mutex> guard(flightLock);
    return cut;
}

void CutUploadInFlight() {
    std::lock_guard<std::mutex> guard(flightLock);
    if (current == nullptr) {
        return;
    }
    current->cut = true;
    if (soap_valid_socket(current->socket)) {
        ::shutdown(current->socket, SHUT_RDWR);
    }
}

}  // namespace vexlo
