// The local fax service reading a request: any bytes as what a client writes
// on one connection (one request, or several with keep-alive), served as the
// service serves an accepted connection; what it answers is read and dropped.
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>

#include "connection.h"
#include "fuzz_support.h"
#include "service_state.h"
#include "support/temp_dir.h"

// The program's one copy of the namespace table that the runtime looks up.
#include "MTOMServiceSOAP12Binding.nsmap"

namespace {

using vexlo::fuzz::Require;

struct Service {
    Service() {
        state.options.pagesDir = dir.native("pages");
        state.options.recvTimeoutSec = 2;
        state.options.sendTimeoutSec = 2;
        std::filesystem::create_directories(state.options.pagesDir);
        Require(state.log.Open("/dev/null"));
    }
    vexlo::test::TempDir dir;
    faxservice::ServiceState state;
};

// The client's side: writes the request, then reads the answers until the
// service closes the connection.
void Client(int fd, const std::string& request) {
    size_t sent = 0;
    while (sent < request.size()) {
        ssize_t put = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (put <= 0) {
            break;
        }
        sent += static_cast<size_t>(put);
    }
    shutdown(fd, SHUT_WR);
    char sink[65536];
    while (recv(fd, sink, sizeof sink, 0) > 0) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Service& service = vexlo::fuzz::Kept<Service>();
    int fds[2];
    Require(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0);
    auto* context =
        new MTOMServiceSOAP12BindingService(SOAP_IO_KEEPALIVE, SOAP_IO_KEEPALIVE | SOAP_ENC_MTOM);
    context->socket = fds[0];  // the connection owns it now
    std::thread client(Client, fds[1], vexlo::fuzz::Text(data, size));
    {
        faxservice::Connection connection(service.state, context);
        connection.Serve();
    }
    client.join();
    close(fds[1]);
    // The pages of accepted uploads are kept by the service; not across inputs.
    for (const auto& entry : std::filesystem::directory_iterator(service.state.options.pagesDir)) {
        std::filesystem::remove(entry.path());
    }
    return 0;
}
