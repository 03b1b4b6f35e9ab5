#include <windows.h>

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "agent_fixture.h"

#include "agent/core/crash_reporter.h"
#include "support/temp_dir.h"

namespace {

using vexlo::test::ReadFileBytes;
using vexlo::test::TempDir;

TEST(CrashReporter, InstallsAndWritesAReadableReportOfACrash) {
    TempDir reports;
    setenv("W32_CRASH_REPORT_DIR", reports.native().c_str(), 1);
    pid_t child = fork();
    if (child == 0) {
        vexlo::CCrashReporter reporter;
        if (reporter.InstallForProcess() != 0) {
            _exit(3);
        }
        vexlo::CCrashReporter::InstallForThread();
        raise(SIGABRT);  // SIGABRT: the sanitizers keep SIGSEGV for themselves
        _exit(4);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the crash still ends the process";
    EXPECT_EQ(WTERMSIG(status), SIGABRT);
    std::string report;
    for (const auto& entry : std::filesystem::directory_iterator(reports.path())) {
        report = ReadFileBytes(entry.path());
    }
    EXPECT_NE(report.find("Crash report of Vexlo Agent 0.0.81"), std::string::npos) << report;
    EXPECT_NE(report.find("subject: agent_vexlo.exe"), std::string::npos);
    EXPECT_NE(report.find("signal: 6 (SIGABRT)"), std::string::npos);
    EXPECT_NE(report.find("thread: "), std::string::npos);
    EXPECT_NE(report.find("backtrace:"), std::string::npos);
}

TEST(CrashReporter, TheScanWorkerInstallsForItsThreadAndRemovesAtItsEnd) {
    TempDir reports;
    setenv("W32_CRASH_REPORT_DIR", reports.native().c_str(), 1);
    setenv("W32_CRASH_REPORT_TRACE", reports.native("trace").c_str(), 1);
    vexlo::CCrashReporter reporter;
    ASSERT_EQ(reporter.InstallForProcess(), 0);
    {
        vexlo::test::AgentFixture agent({}, vexlo::ScanWorkerStart::kRun);
        DestroyWindow(agent.hwnd());  // joins the worker
    }
    reporter.UninstallForProcess();
    unsetenv("W32_CRASH_REPORT_TRACE");

    std::istringstream trace(ReadFileBytes(reports.path() / "trace"));
    std::vector<std::string> calls;
    std::vector<long> threads;
    std::string call;
    long thread = 0;
    while (trace >> call >> thread) {
        calls.push_back(call);
        threads.push_back(thread);
    }
    ASSERT_EQ(calls, (std::vector<std::string>{"install-thread", "uninstall-thread"}));
    EXPECT_EQ(threads[0], threads[1]) << "removed by the thread that installed";
    EXPECT_NE(threads[0], static_cast<long>(GetCurrentThreadId())) << "the worker's own thread";
}

}  // namespace
