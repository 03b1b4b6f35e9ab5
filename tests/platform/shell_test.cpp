#include <windows.h>

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "support/temp_dir.h"

namespace {

using vexlo::test::ReadFileBytes;
using vexlo::test::TempDir;
using vexlo::test::WriteFileBytes;

std::u16string AppData() {
    WCHAR path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, path))) {
        return u"<failed>";
    }
    return path;
}

TEST(ShellFolders, AppDataFollowsTheEnvironment) {
    setenv("APPDATA", "/data/appdata", 1);
    setenv("XDG_CONFIG_HOME", "/data/xdg", 1);
    setenv("HOME", "/home/user", 1);
    EXPECT_EQ(AppData(), u"/data/appdata");
    unsetenv("APPDATA");
    EXPECT_EQ(AppData(), u"/data/xdg");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(AppData(), u"/home/user/.config");
    // Relative values are no folder at all.
    setenv("HOME", "relative", 1);
    EXPECT_EQ(AppData(), u"<failed>");
    unsetenv("HOME");
    EXPECT_EQ(AppData(), u"<failed>");
}

// Waits for a line that another process writes into a file (a few seconds
// at most); what the file holds then.
std::string WaitForFile(const std::filesystem::path& path) {
    std::string text;
    for (int i = 0; i < 500; ++i) {
        text = ReadFileBytes(path);
        if (!text.empty() && text.back() == '\n') {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return text;
}

void WriteScript(const std::filesystem::path& path, const std::string& body) {
    WriteFileBytes(path, "#!/bin/sh\n" + body + "\n");
    chmod(path.c_str(), 0755);
}

TEST(ShellExecute, OpensAUrlWithTheConfiguredOpener) {
    TempDir dir;
    WriteScript(dir.path() / "opener", "echo \"$1\" > " + dir.native("opened"));
    setenv("W32_URL_OPENER", dir.native("opener").c_str(), 1);
    HINSTANCE result =
        ShellExecuteW(nullptr, u"open", u"https://vexlo.example/", nullptr, nullptr, SW_SHOWNORMAL);
    EXPECT_GT(reinterpret_cast<intptr_t>(result), 32);
    EXPECT_EQ(WaitForFile(dir.path() / "opened"), "https://vexlo.example/\n");
}

TEST(ShellExecute, OpensWhatTheWindowsShellTakesAsAnAddress) {
    struct Case {
        const char16_t* target;
        bool opened;
        const char* given;
    };
    const Case cases[] = {
        {u"http://vexlo.example/a", true, "http://vexlo.example/a\n"},
        {u"HTTPS://vexlo.example/", true, "HTTPS://vexlo.example/\n"},
        {u"mailto:fax@vexlo.example", true, "mailto:fax@vexlo.example\n"},
        {u"www.vexlo.example", true, "http://www.vexlo.example\n"},  // a bare www. name
        {u"WWW.vexlo.example/page", true, "http://WWW.vexlo.example/page\n"},
        {u"vexlo-private:x", false, nullptr},  // no handler for that scheme
        {u"www.", false, nullptr},
    };
    for (const Case& c : cases) {
        TempDir dir;
        WriteScript(dir.path() / "opener", "echo \"$1\" > " + dir.native("opened"));
        setenv("W32_URL_OPENER", dir.native("opener").c_str(), 1);
        intptr_t result = reinterpret_cast<intptr_t>(
            ShellExecuteW(nullptr, u"open", c.target, nullptr, nullptr, SW_SHOWNORMAL));
        if (c.opened) {
            EXPECT_GT(result, 32);
            EXPECT_EQ(WaitForFile(dir.path() / "opened"), c.given);
        } else {
            EXPECT_LE(result, 32);
        }
    }
}

TEST(ShellExecute, StartsAWindowsProgramNameFromPath) {
    TempDir dir;
    WriteScript(dir.path() / "agent_test",
                "echo \"started $W32_SESSION $1\" > " + dir.native("ran"));
    std::string path = dir.native() + ":" + (getenv("PATH") ? getenv("PATH") : "");
    setenv("PATH", path.c_str(), 1);
    setenv("W32_SESSION", "/session", 1);
    HINSTANCE result =
        ShellExecuteW(nullptr, u"open", u"agent_test.exe", u"one", nullptr, SW_SHOWNORMAL);
    EXPECT_GT(reinterpret_cast<intptr_t>(result), 32);
    EXPECT_EQ(WaitForFile(dir.path() / "ran"), "started /session one\n");
}

TEST(ShellExecute, AStartedProgramDoesNotHoldTheCallersOutput) {
    TempDir dir;
    // The program outlives the call by far and writes to its standard output.
    WriteScript(dir.path() / "long_runner",
                "echo out; link=$(readlink /proc/$$/fd/1); echo \"$link\" > " + dir.native("fd1") +
                    "; exec sleep 30");
    std::string path = dir.native() + ":" + (getenv("PATH") ? getenv("PATH") : "");
    setenv("PATH", path.c_str(), 1);
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    int savedOut = dup(1);
    dup2(pipeFds[1], 1);
    close(pipeFds[1]);
    HINSTANCE result =
        ShellExecuteW(nullptr, u"open", u"long_runner.exe", nullptr, nullptr, SW_SHOWNORMAL);
    dup2(savedOut, 1);
    close(savedOut);
    EXPECT_GT(reinterpret_cast<intptr_t>(result), 32);
    std::string fd1 = WaitForFile(dir.path() / "fd1");
    EXPECT_NE(fd1.find("/dev/null"), std::string::npos) << fd1;
    // With this process's writer gone, the pipe ends at once although the
    // program still runs.
    pollfd end{pipeFds[0], POLLIN, 0};
    ASSERT_EQ(poll(&end, 1, 5000), 1);
    char byte = 0;
    EXPECT_EQ(read(pipeFds[0], &byte, 1), 0);
    close(pipeFds[0]);
    // The program (now "sleep") holds the script's file open until it ends.
    std::string stop = "pkill -f 'sleep 30' -P " + std::to_string(getpid()) + " 2>/dev/null";
    EXPECT_GE(std::system(stop.c_str()), 0);
}

TEST(ShellExecute, AMissingProgramIsNotFound) {
    HINSTANCE result =
        ShellExecuteW(nullptr, u"open", u"no_such_program_vexlo.exe", nullptr, nullptr, SW_SHOW);
    EXPECT_EQ(reinterpret_cast<intptr_t>(result), SE_ERR_FNF);
    result = ShellExecuteW(nullptr, u"print", u"x", nullptr, nullptr, SW_SHOW);
    EXPECT_LE(reinterpret_cast<intptr_t>(result), 32);
}

}  // namespace
