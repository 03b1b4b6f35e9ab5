// The real agent_vexlo program scanning through TWAIN, with this test as the
// plug-in and the desktop-user program as the person at the screen.
#include <windows.h>

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "agent_fixture.h"
#include "protocol/records.h"
#include "support/temp_dir.h"

namespace {

using vexlo::test::AnswerRecorder;
using vexlo::test::ReadFileBytes;
using vexlo::test::TempDir;
using vexlo::test::WriteFileBytes;

std::string Program(const std::string& name) {
    char self[4096];
    ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
    self[length > 0 ? length : 0] = 0;
    std::string path = self;
    return path.substr(0, path.rfind('/')) + "/" + name;
}

pid_t Start(const std::vector<std::string>& arguments, const std::string& appData) {
    pid_t pid = fork();
    if (pid == 0) {
        setenv("APPDATA", appData.c_str(), 1);
        std::vector<char*> argv;
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

// Waits for a process while this thread goes on handling the messages sent
// to its windows (the agent's answers); its exit status, or -1.
int WaitFor(pid_t pid, std::chrono::milliseconds bound) {
    auto end = std::chrono::steady_clock::now() + bound;
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        vexlo::test::PumpMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

bool PumpUntil(const std::function<bool()>& done) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
        vexlo::test::PumpMessages();
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

void Send(HWND agent, const AnswerRecorder& client, int code, int param, int jobId) {
    vexlo::PluginRequest request = vexlo::CreateEmptyRequest();
    request.code = code;
    request.param = param;
    request.jobId = jobId;
    COPYDATASTRUCT copy{0, sizeof(request), &request};
    SendMessageW(agent, WM_COPYDATA, reinterpret_cast<WPARAM>(client.hwnd()),
                 reinterpret_cast<LPARAM>(&copy));
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
    pid_t agent = Start({Program("agent_vexlo")}, appData.native());
    HWND window = nullptr;
    ASSERT_TRUE(
        PumpUntil([&] { return (window = FindWindowW(vexlo::kAgentWindowClass, nullptr)); }));

    Send(window, client, vexlo::kRequestScan, vexlo::kScanTypeGrey, 71);
    pid_t user = Start({Program("desktop-user"), "twain-scan", "Office Feeder"}, appData.native());
    EXPECT_EQ(WaitFor(user, std::chrono::seconds(10)), 0);
    ASSERT_TRUE(PumpUntil([&] { return client.answers.size() >= 2; }));
    EXPECT_EQ(client.answers[0].state, 1);
    EXPECT_EQ(client.answers[0].from, window);
    EXPECT_EQ(client.answers[1].state, 2);
    Send(window, client, vexlo::kRequestSelectScanner, vexlo::kInterfaceTwain, 0);
    user = Start({Program("desktop-user"), "twain-select", "Photo Flatbed"}, appData.native());
    EXPECT_EQ(WaitFor(user, std::chrono::seconds(10)), 0);
    ASSERT_TRUE(PumpUntil([&] { return client.answers.size() >= 3; }));
    EXPECT_EQ(client.answers[2].state, 101);
    EXPECT_EQ(client.answers[2].text, u"Photo Flatbed");

    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitFor(agent, std::chrono::seconds(10)), 0);
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
    pid_t agent = Start({Program("agent_vexlo")}, appData.native());
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
    EXPECT_EQ(WaitFor(agent, std::chrono::seconds(10)), 0);
    EXPECT_FALSE(IsWindow(dialog));
}

}  // namespace
