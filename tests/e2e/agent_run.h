// The real agent_vexlo run by an end-to-end test or a benchmark: in the
// test's session with an APPDATA of its own, and this process as its plug-in,
// whose client window records every answer. An agent still running when the
// object goes is ended.
#pragma once

#include <windows.h>

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "agent_fixture.h"
#include "protocol/records.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace vexlo::test {

class AgentRun {
public:
    static std::filesystem::path Session();
    std::filesystem::path DataFolder() const { return appData.path() / "VexloDesktop"; }

    // Writes the agent's settings.ini, "[settings]" and the lines given, and
    // starts the agent; false when its window did not appear.
    bool Start(const std::string& settings);
    // Closes the agent's window: its exit status, -1 when it outlived the bound.
    int Close(std::chrono::milliseconds bound);
    bool running() const { return agent_.running(); }
    HWND window() const { return window_; }
    // The agent's peak resident memory in kB; -1 when it is not known.
    long PeakKb() const;

    void Send(const PluginRequest& request);
    // desktop-user does what a person at the screen does; its exit status.
    int User(const std::vector<std::string>& arguments,
             std::chrono::milliseconds bound = std::chrono::seconds(20));
    // Whether count answers of the state have come within the bound.
    bool WaitForState(int state, size_t count = 1,
                      std::chrono::milliseconds bound = std::chrono::seconds(60));
    std::vector<std::string> LogLines() const;
    // Seconds since the epoch of each log line that holds the text, read as
    // a time of today ("HH:MM:SS.mmm ...").
    std::vector<double> LogTimes(const std::string& text) const;

    TempDir appData;
    AnswerRecorder client;

private:
    ChildProcess agent_;
    HWND window_ = nullptr;
};

}  // namespace vexlo::test
