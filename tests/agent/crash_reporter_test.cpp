#include <windows.h>

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

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

}  // namespace
