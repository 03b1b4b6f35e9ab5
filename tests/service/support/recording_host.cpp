#include "recording_host.h"

#include <windows.h>

#include <cstdarg>

namespace vexlo::test {

void RecordingHost::SendStateToClient(HWND client, int state, int info, const char16_t* text) {
    std::lock_guard<std::mutex> lock(mutex_);
    states_.push_back(
        {client, state, info, text ? std::optional<std::u16string>(text) : std::nullopt});
}

void RecordingHost::SetPrintPages(const std::deque<std::u16string>& pages) {
    std::lock_guard<std::mutex> lock(mutex_);
    printPages_.push_back(pages);
}

void RecordingHost::Log(int level, const char16_t* format, ...) {
    char16_t buffer[1000] = {};
    va_list args;
    va_start(args, format);
    _vsnwprintf_s(buffer, _countof(buffer), _TRUNCATE, format, args);
    va_end(args);
    std::lock_guard<std::mutex> lock(mutex_);
    logs_.push_back(std::u16string(1, static_cast<char16_t>(u'0' + level)) + u" " + buffer);
}

bool RecordingHost::IsCancelled(int jobId) {
    int call;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        call = ++isCancelledCalls_;
    }
    return cancelWhen && cancelWhen(jobId, call);
}

std::vector<SentState> RecordingHost::states() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return states_;
}

std::vector<std::u16string> RecordingHost::logLines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return logs_;
}

std::vector<std::deque<std::u16string>> RecordingHost::printPageCalls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return printPages_;
}

int RecordingHost::isCancelledCalls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return isCancelledCalls_;
}

}  // namespace vexlo::test
