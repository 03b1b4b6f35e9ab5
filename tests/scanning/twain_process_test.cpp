// The real agent_vexlo program scanning through TWAIN, with this test as the
// plug-in and the desktop-user program as the person at the screen.
#include <windows.h>

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "agent_fixture.h"
#include "protocol/records.h"
#include "support/temp_dir.h"

namespace {

using vexlo::test::AnswerRecorder;
using vexlo::test::ChildProcess;
using vexlo::test::ProgramInBuild;
using vexlo::test::PumpUntil;
using vexlo::test::ReadFileBytes;
using vexlo::test::StartProgram;
using vexlo::test::TempDir;
using vexlo::test::WaitForProgram;
using vexlo::test::WriteFileBytes;

void Send(HWND agent, const AnswerRecorder& client, int code, int param, int jobId) {
    vexlo::test::SendRequest(agent, client.hwnd(), vexlo::test::MakeRequest(code, param, jobId));
}

TEST(TwainAgentProcess, TheAgentScansAndSelectsThroughTwainWithAnotherProcessAtTheDialogs) {
    std::filesystem::path session(getenv("W32_SESSION"));
    WriteFileBytes(session / "twain-sources",
                   "[source]\nname = Office Feeder\npages = 2\npage = 1 1700 200\n"
                   "[source]\nname = Photo Flatbed\npage = 24 60 40\n");
    TempDir appData;
    std::filesystem::create_directories(appData.path() / "VexloDesktop");
    WriteFileBytes(appData.path() / "VexloDesktop/settings.ini", "[settings]\nscan-mode=3\n");
    AnswerRecorder client;
    ChildProcess agent = StartProgram({ProgramInBuild("agent_vexlo")}, appData.native());
    HWND window = nullptr;
    ASSERT_TRUE(
        PumpUntil([&] { return (window = FindWindowW(vexlo::kAgentWindowClass, nullptr)); }));

    Send(window, client, vexlo::kRequestScan, vexlo::kScanTypeGrey, 71);
    ChildProcess user = StartProgram(
        {ProgramInBuild("desktop-user"), "twain-scan", "Office Feeder"}, appData.native());
    EXPECT_EQ(WaitForProgram(user, std::chrono::seconds(10)), 0);
    ASSERT_TRUE(PumpUntil([&] { return client.answers.size() >= 2; }));
    EXPECT_EQ(client.answers[0].state, vexlo::kStateImageInfo);
    EXPECT_EQ(client.answers[0].from, window);
    EXPECT_EQ(client.answers[1].state, vexlo::kStateAcquired);
    Send(window, client, vexlo::kRequestSelectScanner, vexlo::kInterfaceTwain, 0);
    user = StartProgram({ProgramInBuild("desktop-user"), "twain-select", "Photo Flatbed"},
                        appData.native());
    EXPECT_EQ(WaitForProgram(user, std::chrono::seconds(10)), 0);
    ASSERT_TRUE(PumpUntil([&] { return client.answers.size() >= 3; }));
    EXPECT_EQ(client.answers[2].state, vexlo::kReplySelectedScanner);
    EXPECT_EQ(client.answers[2].text, u"Photo Flatbed");

    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForProgram(agent, std::chrono::seconds(10)), 0);
    EXPECT_NE(ReadFileBytes(appData.path() / "VexloDesktop/settings.ini").find("scan-mode=3"),
              std::string::npos);
}

// Closing the agent while the data source manager's selection dialog is
// open: the dialog goes with the agent, which ends in order.
TEST(TwainAgentProcess, ClosingTheAgentWhileTheSourceSelectionIsOpenEndsItInOrder) {
    std::filesystem::path session(getenv("W32_SESSION"));
    WriteFileBytes(session / "twain-sources", "[source]\nname = Office Feeder\n");
    TempDir appData;
    std::filesystem::create_directories(appData.path() / "VexloDesktop");
    WriteFileBytes(appData.path() / "VexloDesktop/settings.ini", "[settings]\nscan-mode=3\n");
    AnswerRecorder client;
    ChildProcess agent = StartProgram({ProgramInBuild("agent_vexlo")}, appData.native());
    HWND window = nullptr;
    ASSERT_TRUE(
        PumpUntil([&] { return (window = FindWindowW(vexlo::kAgentWindowClass, nullptr)); }));
    Send(window, client, vexlo::kRequestSelectScanner, vexlo::kInterfaceTwain, 0);
    HWND dialog = nullptr;
    ASSERT_TRUE(PumpUntil([&] {
        dialog = FindWindowW(u"#32770", u"Select Source");
        return dialog != nullptr && IsWindowVisible(dialog);
    }));
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForProgram(agent, std::chrono::seconds(10)), 0);
    EXPECT_FALSE(IsWindow(dialog));
}

// The sources the session's record lists as open, by product name.
std::vector<std::string> OpenSources(const std::filesystem::path& session) {
    std::vector<std::string> names;
    std::istringstream in(ReadFileBytes(session / "twain-open-sources"));
    std::string line;
    while (std::getline(in, line)) {
        size_t holder = line.find(' ');
        size_t id = holder == std::string::npos ? holder : line.find(' ', holder + 1);
        if (id != std::string::npos) {
            names.push_back(line.substr(id + 1));
        }
    }
    return names;
}

// The agent closed while its source's dialog is up closes the source; an
// agent killed then leaves it open, and the session's record says so.
TEST(TwainAgentProcess, TheAgentsCloseLeavesNoSourceOpenAndAKilledAgentsSourceStaysListed) {
    std::filesystem::path session(getenv("W32_SESSION"));
    WriteFileBytes(session / "twain-sources", "[source]\nname = Office Feeder\n");
    for (bool killed : {false, true}) {
        SCOPED_TRACE(killed ? "killed" : "closed");
        std::error_code ignored;
        std::filesystem::remove(session / "twain-open-sources", ignored);
        TempDir appData;
        std::filesystem::create_directories(appData.path() / "VexloDesktop");
        WriteFileBytes(appData.path() / "VexloDesktop/settings.ini", "[settings]\nscan-mode=3\n");
        AnswerRecorder client;
        ChildProcess agent = StartProgram({ProgramInBuild("agent_vexlo")}, appData.native());
        HWND window = nullptr;
        ASSERT_TRUE(
            PumpUntil([&] { return (window = FindWindowW(vexlo::kAgentWindowClass, nullptr)); }));
        Send(window, client, vexlo::kRequestScan, vexlo::kScanTypeGrey, 72);
        ASSERT_TRUE(PumpUntil([&] {
            HWND dialog = FindWindowW(u"#32770", u"Office Feeder");
            return dialog != nullptr && IsWindowVisible(dialog);
        }));
        EXPECT_EQ(OpenSources(session), (std::vector<std::string>{"Office Feeder"}));
        if (killed) {
            kill(agent.pid(), SIGKILL);
            WaitForProgram(agent, std::chrono::seconds(10));
            EXPECT_EQ(OpenSources(session), (std::vector<std::string>{"Office Feeder"}));
        } else {
            PostMessageW(window, WM_CLOSE, 0, 0);
            EXPECT_EQ(WaitForProgram(agent, std::chrono::seconds(10)), 0);
            EXPECT_TRUE(OpenSources(session).empty());
        }
        std::filesystem::remove(session / "twain-open-sources", ignored);
    }
}

}  // namespace
