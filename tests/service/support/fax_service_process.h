// The local fax service (tools/fax-service) run as a child process for one
// test: a private session folder, pages folder, log and request capture, a
// port chosen by the service unless one is asked for.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace vexlo::test {

class FaxServiceProcess {
public:
    // extraArgs go to the command line after the standard ones; port 0 lets
    // the service choose; capture writes each connection's request bytes.
    explicit FaxServiceProcess(std::vector<std::string> extraArgs = {}, int port = 0,
                               bool capture = true);
    ~FaxServiceProcess();
    FaxServiceProcess(const FaxServiceProcess&) = delete;
    FaxServiceProcess& operator=(const FaxServiceProcess&) = delete;

    bool started() const { return port_ > 0; }
    int port() const { return port_; }
    // http://127.0.0.1:<port>/services/vexloplugin
    std::string endpoint() const;
    // Stops the service (SIGTERM) and returns its exit status; -1 when it
    // had to be killed.
    int Stop();

    const std::string& pagesDir() const { return pagesDir_; }
    // The log's call lines (start and stop lines left out).
    std::vector<std::string> CallLines() const;
    // Waits up to timeoutMs for at least count call lines.
    std::vector<std::string> WaitForCallLines(size_t count, int timeoutMs = 5000) const;
    // The raw request bytes of the n-th connection (1-based).
    std::string Captured(int connection) const;
    // Names of the files in the pages folder, sorted.
    std::vector<std::string> PageFiles() const;
    // What the service wrote to standard error.
    std::string ErrorOutput() const;

private:
    TempDir dir_;
    std::string pagesDir_;
    std::string logPath_;
    std::string captureDir_;
    std::string stderrPath_;
    pid_t pid_ = -1;
    int port_ = 0;
};

// Full path of the fax-service program of this build.
std::string FaxServiceProgram();
// Runs the program with the arguments, without a server session; returns
// its exit status and what it printed on standard output.
int RunFaxServiceOnce(const std::vector<std::string>& args, std::string& output);

}  // namespace vexlo::test
