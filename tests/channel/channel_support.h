// Helpers of the channel tests: a callback that records what it receives,
// answers delivered to a channel's window, and pumping the test thread.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "plugins/channel/event_callback.h"
#include "protocol/records.h"

namespace vexlo::test {

struct Event {
    bool isText;
    int32_t state;
    int32_t info;
    std::u16string text;
    int tag;  // which callback received it
    bool operator==(const Event&) const = default;
};

Event StateEvent(int tag, int32_t state, int32_t info = 0, const std::u16string& text = u"");
Event TextEvent(int tag, const std::u16string& text);

class RecordingCallback : public IVexloEventCallback {
public:
    using Action = std::function<void(const Event&)>;
    RecordingCallback(std::vector<Event>* log, int tag, bool* deleted = nullptr, Action action = {})
        : events(log), id(tag), deletedFlag(deleted), onEvent(std::move(action)) {}
    ~RecordingCallback() override {
        if (deletedFlag != nullptr) {
            *deletedFlag = true;
        }
    }
    void OnState(int32_t state, int32_t info, const char16_t* text) override;
    void OnText(const char16_t* text) override;

private:
    void Record(const Event& event);

    std::vector<Event>* events;
    int id;
    bool* deletedFlag;
    Action onEvent;
};

// Sends an answer record to a window of the calling thread, as the agent does.
void Deliver(HWND window, int32_t state, int32_t info = 0, const std::u16string& text = u"");
// Takes and dispatches the thread's messages until the condition holds or
// the bound passes; answers whether it held.
bool PumpUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds bound = std::chrono::milliseconds(5000));

}  // namespace vexlo::test
