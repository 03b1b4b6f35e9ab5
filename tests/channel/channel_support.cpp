#include "channel_support.h"

#include <thread>

namespace vexlo::test {

Event StateEvent(int tag, int32_t state, int32_t info, const std::u16string& text) {
    return Event{false, state, info, text, tag};
}

Event TextEvent(int tag, const std::u16string& text) {
    return Event{true, 0, 0, text, tag};
}

void RecordingCallback::OnState(int32_t state, int32_t info, const char16_t* text) {
    Record(StateEvent(id, state, info, text != nullptr ? text : u""));
}

void RecordingCallback::OnText(const char16_t* text) {
    Record(TextEvent(id, text != nullptr ? text : u""));
}

void RecordingCallback::Record(const Event& event) {
    events->push_back(event);
    // The action may delete this callback: nothing of it is touched after.
    Action action = onEvent;
    if (action) {
        action(event);
    }
}

void Deliver(HWND window, int32_t state, int32_t info, const std::u16string& text) {
    AgentAnswer answer = MakeAnswer(state, info, text.c_str());
    COPYDATASTRUCT data{0, static_cast<DWORD>(sizeof(answer)), &answer};
    SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
}

bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds bound) {
    auto end = std::chrono::steady_clock::now() + bound;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&msg);
            if (condition()) {
                return true;
            }
        }
        if (condition()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace vexlo::test
