// The listening side of the fax service: binds 127.0.0.1, accepts
// connections and serves each on a thread of its own, a bounded number at a
// time.
#pragma once

#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "service_state.h"
#include "soapMTOMServiceSOAP12BindingService.h"

namespace faxservice {

class FaxServer {
public:
    explicit FaxServer(ServiceState& state);
    ~FaxServer();
    FaxServer(const FaxServer&) = delete;
    FaxServer& operator=(const FaxServer&) = delete;

    // Binds the port of the options (0: a free one).
    bool Listen(std::string& error);
    int port() const { return port_; }
    // Accepts and serves until state.stopping is raised; then waits for the
    // connections being served.
    void Run();

private:
    void StartConnection(MTOMServiceSOAP12BindingService* context);
    void JoinFinished();

    ServiceState& state_;
    // The listening context is large (the runtime's buffers are inside it):
    // kept on the heap.
    std::unique_ptr<MTOMServiceSOAP12BindingService> listener_;
    int port_ = 0;

    std::mutex mutex_;
    std::condition_variable changed_;
    int active_ = 0;
    std::list<std::thread> workers_;
    std::vector<std::thread::id> finished_;
};

}  // namespace faxservice
