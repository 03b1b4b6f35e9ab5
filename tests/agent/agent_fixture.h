// An agent main window in the test's own thread, with scanner doubles, a
// private session and application-data folder, and a client window that
// records every answer the agent sends.
#pragma once

#include <sys/types.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "agent/core/app_window.h"
#include "protocol/records.h"
#include "support/temp_dir.h"

namespace vexlo::test {

class FakeScanner final : public IScanner {
public:
    ~FakeScanner() {
        if (deleted != nullptr) {
            *deleted = true;
        }
    }
    // startResult: what a scanner busy with another job answers (E_FAIL).
    HRESULT StartScan(ScanJob job) override {
        if (FAILED(startResult)) {
            return startResult;
        }
        started.push_back(job);
        jobId = job.jobId;
        return S_OK;
    }
    HRESULT SelectScanner(HWND client) override {
        selectClients.push_back(client);
        return S_OK;
    }
    // State and job id are also read by the scan worker.
    int GetState() override { return state; }
    void StopScan(int jobId) override { stops.push_back(jobId); }
    int GetJobId() override { return jobId; }
    std::u16string GetSelectedScanner() override { return selectedName; }

    std::atomic<int> state{0};
    std::atomic<int> jobId{0};
    HRESULT startResult = S_OK;
    bool* deleted = nullptr;  // set true when the scanner is deleted
    std::u16string selectedName;
    std::vector<ScanJob> started;
    std::vector<HWND> selectClients;
    std::vector<int> stops;
};

struct Answer {
    int state;
    int info;
    std::u16string text;
    HWND from;
};

// A message-only window that keeps every AgentAnswer it receives.
class AnswerRecorder {
public:
    AnswerRecorder();
    ~AnswerRecorder();
    HWND hwnd() const { return window; }
    std::vector<Answer> answers;
    // wParam of every WM_VEXLO_DESKTOP_MESSAGE the window received.
    std::vector<WPARAM> desktopReplies;

private:
    static LRESULT CALLBACK Proc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    HWND window = nullptr;
};

class AgentFixture {
public:
    explicit AgentFixture(const std::string& settingsText = {},
                          ScanWorkerStart scanWorker = ScanWorkerStart::kHeld,
                          PrintWorkerStart printWorker = PrintWorkerStart::kHeld);
    ~AgentFixture();

    // Sends a request as a plug-in does, from the recorder's window.
    void Send(const PluginRequest& request);
    void SendBytes(const void* data, DWORD size);

    CAppWindow& window() { return *agent; }
    HWND hwnd() const { return agentWindow; }
    std::filesystem::path DataFolder() const { return appData.path() / "VexloDesktop"; }

    TempDir appData;
    FakeScanner* twain = nullptr;  // owned by the window
    FakeScanner* wia = nullptr;
    AnswerRecorder client;
    fw::CAppModule module;
    fw::CMessageLoop loop;
    std::unique_ptr<CAppWindow> agent;
    HWND agentWindow = nullptr;
};

// Pumps the calling thread's messages without blocking.
void PumpMessages();
// Pumps the calling thread's messages until done() or the time-out; done()'s
// last answer.
bool PumpUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Sends a request to the agent's window as a plug-in's window does.
void SendRequest(HWND agent, HWND client, const PluginRequest& request);
// A request record with these fields, the others zero.
PluginRequest MakeRequest(int code, int param = 0, int jobId = 0);

// A program of this build (beside the test's own executable).
std::string ProgramInBuild(const std::string& name);
// Starts the program with its arguments in the test's session, with APPDATA
// set to appData.
ChildProcess StartProgram(const std::vector<std::string>& arguments, const std::string& appData);
// Waits for the program while this thread handles the messages sent to its
// windows (the agent's answers); its exit status, or -1 after ending it when
// the bound has passed.
int WaitForProgram(ChildProcess& program, std::chrono::milliseconds bound);

}  // namespace vexlo::test
