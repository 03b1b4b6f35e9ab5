#include "canned_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>

namespace vexlo::test {

namespace {

int Listen(int& port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 16) != 0) {
        if (fd >= 0) {
            close(fd);
        }
        return -1;
    }
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

bool WaitReadable(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, timeoutMs) > 0;
}

// Reads an HTTP request: the headers, then Content-Length bytes, or (for
// chunked or unknown lengths) until the client pauses.
std::string ReadRequest(int fd) {
    std::string data;
    char buffer[65536];
    size_t wanted = std::string::npos;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < until) {
        if (wanted != std::string::npos && data.size() >= wanted) {
            break;
        }
        if (!WaitReadable(fd, wanted == std::string::npos && !data.empty() ? 200 : 2000)) {
            break;
        }
        ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            break;
        }
        data.append(buffer, static_cast<size_t>(got));
        size_t end = data.find("\r\n\r\n");
        if (wanted == std::string::npos && end != std::string::npos) {
            std::string headers = data.substr(0, end);
            for (char& c : headers) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            size_t at = headers.find("content-length:");
            if (at != std::string::npos) {
                wanted = end + 4 + std::stoul(headers.substr(at + 15));
            }
        }
    }
    return data;
}

}  // namespace

CannedHttpServer::CannedHttpServer() {
    listener_ = Listen(port_);
    thread_ = std::thread([this] { Run(); });
}

CannedHttpServer::~CannedHttpServer() {
    stop_ = true;
    thread_.join();
    if (listener_ >= 0) {
        close(listener_);
    }
}

std::string CannedHttpServer::endpoint() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/services/vexloplugin";
}

void CannedHttpServer::Push(std::string response) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.push_back(std::move(response));
}

std::vector<std::string> CannedHttpServer::Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void CannedHttpServer::ForgetRequests() {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.clear();
}

void CannedHttpServer::Run() {
    while (!stop_ && listener_ >= 0) {
        if (!WaitReadable(listener_, 50)) {
            continue;
        }
        int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        std::string request = ReadRequest(fd);
        std::string answer;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(request);
            if (!answers_.empty()) {
                answer = std::move(answers_.front());
                answers_.pop_front();
            }
        }
        size_t sent = 0;
        while (sent < answer.size()) {
            ssize_t n = send(fd, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) {
                break;
            }
            sent += static_cast<size_t>(n);
        }
        shutdown(fd, SHUT_WR);
        // Let the client read everything before the socket goes.
        char sink[4096];
        while (WaitReadable(fd, 200) && recv(fd, sink, sizeof sink, 0) > 0) {
        }
        close(fd);
    }
}

std::string SoapEnvelope(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
           "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
           "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
           "xmlns:ns1=\"http://vexlo.local/ws/generated/vexloplugin\">"
           "<SOAP-ENV:Body>" +
           body + "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

std::string SoapResponse(const std::string& body, const std::string& status) {
    std::string envelope = SoapEnvelope(body);
    return "HTTP/1.1 " + status +
           "\r\nContent-Type: application/soap+xml; charset=utf-8\r\n"
           "Content-Length: " +
           std::to_string(envelope.size()) + "\r\nConnection: close\r\n\r\n" + envelope;
}

std::string SendRaw(int port, const std::string& bytes, int timeoutMs, bool* connected) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    bool ok = fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (connected) {
        *connected = ok;
    }
    std::string reply;
    if (ok) {
        size_t sent = 0;
        while (sent < bytes.size()) {
            ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) {
                break;
            }
            sent += static_cast<size_t>(n);
        }
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        char buffer[65536];
        while (std::chrono::steady_clock::now() < until) {
            int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                            until - std::chrono::steady_clock::now())
                                            .count());
            if (!WaitReadable(fd, std::max(left, 1))) {
                break;
            }
            ssize_t got = recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0) {
                break;
            }
            reply.append(buffer, static_cast<size_t>(got));
        }
    }
    if (fd >= 0) {
        close(fd);
    }
    return reply;
}

int UnusedPort() {
    int port = 0;
    int fd = Listen(port);
    if (fd >= 0) {
        close(fd);
    }
    return port;
}

}  // namespace vexlo::test
