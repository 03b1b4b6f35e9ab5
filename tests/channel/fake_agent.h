// A stand-in for the desktop agent inside the test process: a window of the
// agent's class on a thread of its own that records every request and
// answers as a test tells it, during the request or after it returned.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "protocol/records.h"

namespace vexlo::test {

struct FakeReply {
    AgentAnswer answer;
    bool later = false;  // sent after the request's send has returned
};

class FakeAgent {
public:
    using Responder = std::function<std::vector<FakeReply>(const PluginRequest&)>;

    explicit FakeAgent(Responder responder = {});
    ~FakeAgent();
    FakeAgent(const FakeAgent&) = delete;
    FakeAgent& operator=(const FakeAgent&) = delete;

    HWND window() const { return hwnd; }
    std::vector<PluginRequest> Requests() const;
    void SetResponder(Responder responder);
    // Sends an answer to a client from the agent's thread, as a worker of
    // the agent does; the client gets it when its thread takes messages.
    void SendLater(HWND client, const AgentAnswer& answer);

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void Main(std::promise<HWND>* ready);
    void OnRequest(HWND self, HWND client, const COPYDATASTRUCT* data);
    void SendPending();

    mutable std::mutex lock;
    std::vector<PluginRequest> requests;
    Responder responder;
    std::deque<std::pair<HWND, AgentAnswer>> pending;
    HWND hwnd = nullptr;
    std::thread thread;
};

FakeReply Reply(int32_t state, int32_t info = 0, const char16_t* text = u"", bool later = false);

}  // namespace vexlo::test
