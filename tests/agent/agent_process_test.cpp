// The real agent_vexlo program, driven by this test process acting as a
// plug-in: requests go by WM_COPYDATA from a message-only window, answers
// come back to it.
#include <windows.h>

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "agent/base/messages.h"
#include "agent_fixture.h"
#include "support/child_process.h"
#include "protocol/records.h"
#include "support/temp_dir.h"

namespace {

using vexlo::PluginRequest;
using vexlo::test::AnswerRecorder;
using vexlo::test::ReadFileBytes;
using vexlo::test::TempDir;

std::string AgentPath() {
    char self[4096];
    ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
    self[length > 0 ? length : 0] = 0;
    std::string path = self;
    return path.substr(0, path.rfind('/')) + "/agent_vexlo";
}

// One agent process with its own application-data folder.
class AgentProcess {
public:
    explicit AgentProcess(const std::string& appData)
        : process(vexlo::test::Spawn({AgentPath()}, {{"APPDATA", appData}})), pid(process.pid()) {}
    // The agent's window once it exists.
    HWND WaitForWindow() {
        for (int i = 0; i < 500; ++i) {
            HWND window = nullptr;
            while ((window = FindWindowExW(nullptr, window, vexlo::kAgentWindowClass, nullptr))) {
                DWORD owner = 0;
                if (GetWindowThreadProcessId(window, &owner) != 0 &&
                    owner == static_cast<DWORD>(pid)) {
                    return window;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return nullptr;
    }
    // The exit status, or -1 when the process is still running after the wait.
    int WaitForExit(std::chrono::milliseconds bound) { return process.Wait(bound); }

    vexlo::test::ChildProcess process;
    pid_t pid = -1;
};

LRESULT Send(HWND agent, const AnswerRecorder& client, const void* data, DWORD size) {
    COPYDATASTRUCT copy{0, size, const_cast<void*>(data)};
    return SendMessageW(agent, WM_COPYDATA, reinterpret_cast<WPARAM>(client.hwnd()),
                        reinterpret_cast<LPARAM>(&copy));
}

TEST(AgentProcess, AnswersQueriesWhileThePluginsSendWaits) {
    TempDir appData;
    vexlo::test::WriteFileBytes(appData.path() / "VexloDesktop/settings.ini", "");
    std::filesystem::create_directories(appData.path() / "VexloDesktop");
    vexlo::test::WriteFileBytes(appData.path() / "VexloDesktop/settings.ini",
                                "[settings]\nscan-mode=3\n[wia]\nwia-scanner-name=Flatbed\n");
    AgentProcess agent(appData.native());
    HWND window = agent.WaitForWindow();
    ASSERT_NE(window, nullptr);
    AnswerRecorder client;
    PluginRequest query = vexlo::test::MakeRequest(vexlo::kRequestGetScanMode);
    Send(window, client, &query, sizeof(query));
    ASSERT_EQ(client.answers.size(), 1u) << "the answer came during the send";
    EXPECT_EQ(client.answers[0].state, vexlo::kReplyScanMode);
    EXPECT_EQ(client.answers[0].info, 3);
    EXPECT_EQ(client.answers[0].from, window);

    // A record of 16 bytes is no request.
    Send(window, client, &query, 16);
    EXPECT_EQ(client.answers.size(), 1u);

    PluginRequest setMode = vexlo::test::MakeRequest(vexlo::kRequestSetScanMode, 2);
    Send(window, client, &setMode, sizeof(setMode));
    Send(window, client, &query, sizeof(query));
    ASSERT_EQ(client.answers.size(), 2u);
    EXPECT_EQ(client.answers[1].info, 2);
}

TEST(AgentProcess, TheDesktopMessageIsAnsweredOnlyForAWindow) {
    TempDir appData;
    AgentProcess agent(appData.native());
    HWND window = agent.WaitForWindow();
    ASSERT_NE(window, nullptr);
    AnswerRecorder client;
    SendMessageW(window, vexlo::WM_VEXLO_DESKTOP_MESSAGE, reinterpret_cast<WPARAM>(client.hwnd()),
                 0);
    ASSERT_EQ(client.desktopReplies.size(), 1u);
    EXPECT_EQ(client.desktopReplies[0], reinterpret_cast<WPARAM>(window));
    SendMessageW(window, vexlo::WM_VEXLO_DESKTOP_MESSAGE, 0x12345, 0);
    EXPECT_EQ(client.desktopReplies.size(), 1u);
    EXPECT_TRUE(IsWindow(window));
}

TEST(AgentProcess, ANewerAgentMakesTheOlderOneCloseInOrder) {
    TempDir appData;
    AgentProcess first(appData.native());
    HWND firstWindow = first.WaitForWindow();
    ASSERT_NE(firstWindow, nullptr);
    AnswerRecorder client;
    PluginRequest setMode = vexlo::test::MakeRequest(vexlo::kRequestSetScanMode, 2);
    Send(firstWindow, client, &setMode, sizeof(setMode));

    AgentProcess second(appData.native());
    HWND secondWindow = second.WaitForWindow();
    ASSERT_NE(secondWindow, nullptr);
    EXPECT_EQ(first.WaitForExit(std::chrono::seconds(5)), 0);
    EXPECT_FALSE(IsWindow(firstWindow));
    EXPECT_NE(ReadFileBytes(appData.path() / "VexloDesktop/settings.ini").find("scan-mode=2"),
              std::string::npos)
        << "the older agent wrote its settings on the way out";
    EXPECT_EQ(second.WaitForExit(std::chrono::milliseconds(300)), -1) << "the newest agent stays";
    EXPECT_EQ(FindWindowW(vexlo::kAgentWindowClass, nullptr), secondWindow);
}

TEST(AgentProcess, TerminationSignalsCloseTheAgentInOrder) {
    for (int number : {SIGTERM, SIGINT, SIGHUP}) {
        TempDir appData;
        AgentProcess agent(appData.native());
        HWND window = agent.WaitForWindow();
        ASSERT_NE(window, nullptr);
        AnswerRecorder client;
        PluginRequest setMode = vexlo::test::MakeRequest(vexlo::kRequestSetScanMode, 3);
        Send(window, client, &setMode, sizeof(setMode));
        kill(agent.pid, number);
        EXPECT_EQ(agent.WaitForExit(std::chrono::seconds(10)), 0) << "signal " << number;
        EXPECT_FALSE(IsWindow(window));
        // The ordered close wrote the scan mode the session chose.
        EXPECT_EQ(ReadFileBytes(appData.path() / "VexloDesktop/settings.ini"),
                  "[wia]\r\nwia-scanner=\r\nwia-scanner-name=\r\n[settings]\r\nscan-mode=3\r\n")
            << "signal " << number;
    }
}

TEST(AgentProcess, WmCloseShutsDownInOrder) {
    TempDir appData;
    AgentProcess agent(appData.native());
    HWND window = agent.WaitForWindow();
    ASSERT_NE(window, nullptr);
    PostMessageW(window, WM_CLOSE, 0, 0);
    // The close takes about two seconds at most (close_bench); the bound here
    // only catches a close that hangs.
    EXPECT_EQ(agent.WaitForExit(std::chrono::seconds(10)), 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(ReadFileBytes(appData.path() / "VexloDesktop/settings.ini"),
              "[wia]\r\nwia-scanner-name=\r\n[settings]\r\nscan-mode=1\r\n");
    EXPECT_TRUE(std::filesystem::exists(appData.path() / "VexloDesktop/vexlo-plugin.log"));
}

// A file in the agent's data folder written `age` ago (negative: later).
std::filesystem::path WriteAged(const std::filesystem::path& file, std::chrono::minutes age) {
    std::filesystem::create_directories(file.parent_path());
    vexlo::test::WriteFileBytes(file, "page");
    std::filesystem::last_write_time(file, std::filesystem::file_time_type::clock::now() - age);
    return file;
}

// A window of the agent's class that does not close when a newer agent
// starts: an older agent still in its close.
LRESULT CALLBACK LingeringAgentProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST(AgentProcess, PageFilesLeftByAnEarlierAgentGoOnceNoOtherAgentIsLeft) {
    TempDir appData;
    std::filesystem::path data = appData.path() / "VexloDesktop";
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = LingeringAgentProc;
    wc.lpszClassName = vexlo::kAgentWindowClass;
    RegisterClassExW(&wc);
    HWND lingering = CreateWindowExW(0, vexlo::kAgentWindowClass, u"", 0, 0, 0, 0, 0, nullptr,
                                     nullptr, nullptr, nullptr);
    ASSERT_NE(lingering, nullptr);

    using std::chrono::minutes;
    std::vector<std::filesystem::path> stale = {WriteAged(data / "Processed/1.png", minutes(60)),
                                                WriteAged(data / "Processed/2.jpg", minutes(1)),
                                                WriteAged(data / "Print/page1.png", minutes(60)),
                                                WriteAged(data / "Print/page1.bmp", minutes(60))};
    std::vector<std::filesystem::path> kept = {WriteAged(data / "Scanned/1.bmp", minutes(60)),
                                               WriteAged(data / "Processed/new.png", minutes(-60)),
                                               WriteAged(data / "Print/new.png", minutes(-60))};
    std::filesystem::create_directories(data / "Processed/folder");

    AgentProcess agent(appData.native());
    ASSERT_NE(agent.WaitForWindow(), nullptr);
    // A pause that waits for nothing to happen: the older agent's files are
    // left alone while its window exists.
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    for (const auto& file : stale) {
        EXPECT_TRUE(std::filesystem::exists(file)) << file;
    }

    DestroyWindow(lingering);
    auto gone = [&] {
        return std::none_of(stale.begin(), stale.end(),
                            [](const auto& file) { return std::filesystem::exists(file); });
    };
    for (int i = 0; i < 1000 && !gone(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(gone());
    for (const auto& file : kept) {
        EXPECT_TRUE(std::filesystem::exists(file)) << file;
    }
    EXPECT_TRUE(std::filesystem::exists(data / "Processed/folder"));
    PostMessageW(agent.WaitForWindow(), WM_CLOSE, 0, 0);
    EXPECT_EQ(agent.WaitForExit(std::chrono::seconds(10)), 0);
}

}  // namespace
