// The agent's main window in the test's thread with the real TWAIN manager,
// over the data source manager stand-in and the virtual sources that each
// test describes in the process's private session.
#pragma once

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "agent/core/app_window.h"
#include "agent/scanning/twain_manager.h"
#include "agent/scanning/wia_scanner.h"
#include "agent_fixture.h"
#include "protocol/records.h"
#include "support/temp_dir.h"

namespace vexlo::test {

// Writes the session's description of the virtual sources and forgets the
// remembered default source.
void DescribeSources(const std::string& text);
std::filesystem::path SessionFile(const std::string& name);

class TwainAgent {
public:
    explicit TwainAgent(const std::string& sources,
                        const std::string& settings = "[settings]\nscan-mode=3\ntrace-level=4\n",
                        const char* dsmLibrary = "TWAIN_32.DLL");
    ~TwainAgent();
    TwainAgent(const TwainAgent&) = delete;
    TwainAgent& operator=(const TwainAgent&) = delete;

    void Send(const PluginRequest& request);
    void Scan(int scanType, int jobId);
    void Select();
    void Stop(int jobId);
    void SetScanMode(int mode);

    // Dispatches the thread's messages through the agent's message filter,
    // as the agent's loop does, until none is left.
    void Pump();
    bool PumpUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // The visible dialog of the source with that product name, or null.
    HWND SourceDialog(const std::u16string& productName) const;
    // Presses a button of a dialog as the person at the screen does, then
    // lets the agent handle what follows.
    void Press(HWND dialog, const std::u16string& button);
    // Clicks the button at once (a sent BM_CLICK), handling nothing else.
    static void ClickNow(HWND dialog, const std::u16string& button);

    std::vector<int> States() const;
    const std::vector<Answer>& Answers() const { return client.answers; }
    std::vector<std::filesystem::path> ScannedFiles() const;
    std::deque<ScannedItem> Queued() { return agent->QueuedItems(); }
    std::string Log() const;
    CTwainManager& Manager() { return *manager; }
    CVexloWiaScanner& Wia() { return *wia; }
    CAppWindow& Window() { return *agent; }
    HWND ClientWindow() const { return client.hwnd(); }

private:
    TempDir appData;
    AnswerRecorder client;
    fw::CAppModule module;
    fw::CMessageLoop loop;
    std::unique_ptr<CAppWindow> agent;
    CTwainManager* manager = nullptr;
    CVexloWiaScanner* wia = nullptr;
    HWND agentWindow = nullptr;
};

// A scan request as a page sends it.
PluginRequest ScanRequest(int scanType, int jobId);
PluginRequest Request(int code, int param = 0, int jobId = 0);

// An action that runs when the thread's loop reaches a message posted by
// Post(), after everything queued before it.
class PostedAction {
public:
    explicit PostedAction(std::function<void()> action);
    ~PostedAction();
    PostedAction(const PostedAction&) = delete;
    PostedAction& operator=(const PostedAction&) = delete;
    void Post();
    int runs = 0;

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    std::function<void()> action;
    HWND window = nullptr;
};

// The fields of a BMP file that the tests look at.
struct BmpFacts {
    bool valid = false;
    uint32_t fileSize = 0;
    uint32_t offBits = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint16_t bitCount = 0;
    size_t bytes = 0;
};
BmpFacts ReadBmp(const std::filesystem::path& file);
BmpFacts ReadBmp(const std::u16string& file);

}  // namespace vexlo::test
