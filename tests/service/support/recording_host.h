// A test double of the agent window's IHost: it records the states sent to
// clients, the log lines and the print pages handed over, and answers
// IsCancelled as the test wants.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "agent/base/host.h"

namespace vexlo::test {

struct SentState {
    HWND client;
    int state;
    int info;
    std::optional<std::u16string> text;  // nothing when sent without text
};

class RecordingHost : public IHost {
public:
    void Close() override {}
    void GetHwnd(HWND* out) override { *out = nullptr; }
    void StartScan(ScanJob) override {}
    void SelectScanner(HWND, int) override {}
    void OnScanFinished(ScanJob, std::u16string, int) override {}
    void SendStateToClient(HWND client, int state, int info, const char16_t* text) override;
    void OnScanError(ScanJob, int) override {}
    void SetPrintPages(const std::deque<std::u16string>& pages) override;
    void ShowAbout() override {}
    void Log(int level, const char16_t* format, ...) override;
    bool IsCancelled(int jobId) override;
    int GetScanMode() override { return 1; }

    // Called with the job id and the number of the IsCancelled call (1-based).
    std::function<bool(int jobId, int call)> cancelWhen;

    std::vector<SentState> states() const;
    std::vector<std::u16string> logLines() const;  // "level text"
    std::vector<std::deque<std::u16string>> printPageCalls() const;
    int isCancelledCalls() const;

private:
    mutable std::mutex mutex_;
    std::vector<SentState> states_;
    std::vector<std::u16string> logs_;
    std::vector<std::deque<std::u16string>> printPages_;
    int isCancelledCalls_ = 0;
};

}  // namespace vexlo::test
