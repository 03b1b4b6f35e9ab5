#include "fax_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <system_error>

#include "connection.h"

namespace faxservice {

FaxServer::FaxServer(ServiceState& state)
    : state_(state),
      listener_(std::make_unique<MTOMServiceSOAP12BindingService>(
          SOAP_IO_KEEPALIVE, SOAP_IO_KEEPALIVE | SOAP_ENC_MTOM)) {}

FaxServer::~FaxServer() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (auto& worker : workers_) {
        if (worker.joinable()) {
            lock.unlock();
            worker.join();
            lock.lock();
        }
    }
}

bool FaxServer::Listen(std::string& error) {
    listener_->bind_flags = SO_REUSEADDR;
    listener_->accept_timeout = -200000;  // 200 ms: how soon a stop request is seen
    listener_->socket_flags = MSG_NOSIGNAL;
    if (!soap_valid_socket(listener_->bind("127.0.0.1", state_.options.port, 64))) {
        char text[512];
        listener_->soap_sprint_fault(text, sizeof text);
        error = "cannot listen on 127.0.0.1:" + std::to_string(state_.options.port) + ": " + text;
        return false;
    }
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (getsockname(listener_->master, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        error = "cannot read the bound port";
        return false;
    }
    port_ = ntohs(address.sin_port);
    return true;
}

void FaxServer::Run() {
    while (!state_.stopping.load()) {
        JoinFinished();
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait_for(lock, std::chrono::milliseconds(200), [this] {
                return active_ < state_.options.maxConnections || state_.stopping.load();
            });
            if (active_ >= state_.options.maxConnections) {
                continue;
            }
        }
        SOAP_SOCKET socket = listener_->accept();
        if (!soap_valid_socket(socket)) {
            continue;  // time-out (to look at the stop flag) or a failed accept
        }
        MTOMServiceSOAP12BindingService* context = listener_->copy();
        listener_->socket = SOAP_INVALID_SOCKET;  // the copy owns it now
        if (!context) {
            soap_closesocket(socket);
            continue;
        }
        StartConnection(context);
    }
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return active_ == 0; });
    lock.unlock();
    JoinFinished();
}

void FaxServer::StartConnection(MTOMServiceSOAP12BindingService* context) {
    auto connection = std::make_unique<Connection>(state_, context);
    std::lock_guard<std::mutex> lock(mutex_);
    try {
        workers_.emplace_back([this, connection = std::move(connection)]() mutable {
            connection->Serve();
            connection.reset();
            std::lock_guard<std::mutex> ended(mutex_);
            --active_;
            finished_.push_back(std::this_thread::get_id());
            changed_.notify_all();
        });
        ++active_;
    } catch (const std::system_error&) {
        // No thread for it: the connection (moved into the failed closure)
        // is closed when that closure goes.
    }
}

void FaxServer::JoinFinished() {
    std::vector<std::thread> done;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto id : finished_) {
            auto it = std::find_if(workers_.begin(), workers_.end(),
                                   [id](const std::thread& t) { return t.get_id() == id; });
            if (it != workers_.end()) {
                done.push_back(std::move(*it));
                workers_.erase(it);
            }
        }
        finished_.clear();
    }
    for (auto& worker : done) {
        worker.join();
    }
}

}  // namespace faxservice
