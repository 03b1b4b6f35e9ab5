#include "agent/service/render_flight.h"

#include <sys/socket.h>

#include <mutex>

namespace vexlo {

namespace {

// Guards the state below and the tracked socket: the socket is never closed
// while a cut holds the lock, so a cut never reaches a reused descriptor.
std::mutex renderLock;
RenderFlight* current = nullptr;
bool renderCut = false;

}  // namespace

SOAP_SOCKET OpenRender(struct soap* soap, const char* endpoint, const char* host, int port) {
    SOAP_SOCKET (*open)(struct soap*, const char*, const char*, int) = nullptr;
    {
        std::lock_guard<std::mutex> guard(renderLock);
        if (current == nullptr || &current->call != soap) {
            return SOAP_INVALID_SOCKET;
        }
        if (renderCut) {
            soap->error = SOAP_TCP_ERROR;
            return SOAP_INVALID_SOCKET;  // cut before it connected
        }
        open = current->defaultOpen;
    }
    SOAP_SOCKET socket = open(soap, endpoint, host, port);
    std::lock_guard<std::mutex> guard(renderLock);
    current->socket = socket;
    if (renderCut && soap_valid_socket(socket)) {
        ::shutdown(socket, SHUT_RDWR);  // cut while it connected
    }
    return socket;
}

int CloseRender(struct soap* soap, SOAP_SOCKET socket) {
    std::lock_guard<std::mutex> guard(renderLock);
    if (current == nullptr || &current->call != soap) {
        return SOAP_OK;
    }
    if (current->socket == socket) {
        current->socket = SOAP_INVALID_SOCKET;
    }
    return current->defaultClose(soap, socket);
}

RenderFlight::RenderFlight(struct soap& render)
    : call(render), defaultOpen(render.fopen), defaultClose(render.fclosesocket) {
    std::lock_guard<std::mutex> guard(renderLock);
    if (current == nullptr) {
        current = this;
        tracked = true;
        call.fopen = OpenRender;
        call.fclosesocket = CloseRender;
    }
}

RenderFlight::~RenderFlight() {
    std::lock_guard<std::mutex> guard(renderLock);
    if (tracked) {
        call.fopen = defaultOpen;
        call.fclosesocket = defaultClose;
        current = nullptr;
    }
}

bool RenderFlight::WasCut() const {
    std::lock_guard<std::mutex> guard(renderLock);
    return renderCut;
}

void CutRenderCalls() {
    std::lock_guard<std::mutex> guard(renderLock);
    renderCut = true;
    if (current != nullptr && soap_valid_socket(current->socket)) {
        ::shutdown(current->socket, SHUT_RDWR);
    }
}

void AllowRenderCalls() {
    std::lock_guard<std::mutex> guard(renderLock);
    renderCut = false;
}

}  // namespace vexlo
