#include "fake_agent.h"

#include <future>

namespace vexlo::test {

namespace {

constexpr UINT kSendPending = WM_APP + 1;
constexpr UINT kStop = WM_APP + 2;

void Send(HWND client, const AgentAnswer& answer) {
    COPYDATASTRUCT data{0, static_cast<DWORD>(sizeof(answer)), const_cast<AgentAnswer*>(&answer)};
    SendMessageW(client, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
}

}  // namespace

FakeReply Reply(int32_t state, int32_t info, const char16_t* text, bool later) {
    return FakeReply{MakeAnswer(state, info, text), later};
}

FakeAgent::FakeAgent(Responder answer) : responder(std::move(answer)) {
    std::promise<HWND> ready;
    std::future<HWND> window = ready.get_future();
    thread = std::thread(&FakeAgent::Main, this, &ready);
    hwnd = window.get();
}

FakeAgent::~FakeAgent() {
    PostMessageW(hwnd, kStop, 0, 0);
    thread.join();
}

void FakeAgent::Main(std::promise<HWND>* ready) {
    WNDCLASSEXW info = {};
    info.cbSize = sizeof(info);
    info.lpfnWndProc = Proc;
    info.hInstance = GetModuleHandleW(nullptr);
    info.lpszClassName = kAgentWindowClass;
    RegisterClassExW(&info);
    HWND window = CreateWindowExW(0, kAgentWindowClass, nullptr, WS_OVERLAPPEDWINDOW, 0, 0, 0, 0,
                                  nullptr, nullptr, info.hInstance, nullptr);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ready->set_value(window);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == kStop) {
            DestroyWindow(window);
            break;
        }
        DispatchMessageW(&msg);
    }
}

LRESULT CALLBACK FakeAgent::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<FakeAgent*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self != nullptr && message == WM_COPYDATA) {
        self->OnRequest(hwnd, reinterpret_cast<HWND>(wParam),
                        reinterpret_cast<const COPYDATASTRUCT*>(lParam));
        return 0;
    }
    if (self != nullptr && message == kSendPending) {
        self->SendPending();
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void FakeAgent::OnRequest(HWND self, HWND client, const COPYDATASTRUCT* data) {
    PluginRequest request;
    if (data == nullptr || !DecodeRequest(data->lpData, data->cbData, &request)) {
        return;
    }
    Responder answer;
    {
        std::lock_guard<std::mutex> guard(lock);
        requests.push_back(request);
        answer = responder;
    }
    if (!answer) {
        return;
    }
    bool anyLater = false;
    for (const FakeReply& reply : answer(request)) {
        if (reply.later) {
            std::lock_guard<std::mutex> guard(lock);
            pending.emplace_back(client, reply.answer);
            anyLater = true;
        } else {
            Send(client, reply.answer);  // arrives while the client's send waits
        }
    }
    if (anyLater) {
        PostMessageW(self, kSendPending, 0, 0);
    }
}

void FakeAgent::SendPending() {
    for (;;) {
        std::pair<HWND, AgentAnswer> next;
        {
            std::lock_guard<std::mutex> guard(lock);
            if (pending.empty()) {
                return;
            }
            next = pending.front();
            pending.pop_front();
        }
        Send(next.first, next.second);
    }
}

std::vector<PluginRequest> FakeAgent::Requests() const {
    std::lock_guard<std::mutex> guard(lock);
    return requests;
}

void FakeAgent::SetResponder(Responder answer) {
    std::lock_guard<std::mutex> guard(lock);
    responder = std::move(answer);
}

void FakeAgent::SendLater(HWND client, const AgentAnswer& answer) {
    {
        std::lock_guard<std::mutex> guard(lock);
        pending.emplace_back(client, answer);
    }
    PostMessageW(hwnd, kSendPending, 0, 0);
}

}  // namespace vexlo::test
