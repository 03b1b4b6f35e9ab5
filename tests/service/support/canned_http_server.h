// A test server on 127.0.0.1 (a free port) that answers each connection with
// the next of a list of canned byte strings, exactly as given, after reading
// the request; then it closes the connection. For responses that the real
// fax service would never send (malformed, truncated, hostile).
#pragma once

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vexlo::test {

class CannedHttpServer {
public:
    CannedHttpServer();
    ~CannedHttpServer();
    CannedHttpServer(const CannedHttpServer&) = delete;
    CannedHttpServer& operator=(const CannedHttpServer&) = delete;

    int port() const { return port_; }
    std::string endpoint() const;
    // Queues the answer for the next connection.
    void Push(std::string response);
    // The requests received so far, in order.
    std::vector<std::string> Requests();
    // Drops the requests kept so far (a long run would keep them all).
    void ForgetRequests();

private:
    void Run();

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::deque<std::string> answers_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

// An HTTP 200 response carrying a SOAP 1.2 envelope whose body holds `body`.
std::string SoapResponse(const std::string& body, const std::string& status = "200 OK");
// The envelope alone.
std::string SoapEnvelope(const std::string& body);

// Connects to 127.0.0.1:port, sends the bytes, reads until the peer closes
// or timeoutMs passes. Returns what was read; `connected` tells whether the
// connection was made.
std::string SendRaw(int port, const std::string& bytes, int timeoutMs, bool* connected = nullptr);
// A port on which nothing listens (bound, then closed).
int UnusedPort();

}  // namespace vexlo::test
