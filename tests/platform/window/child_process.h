// A helper process of a cross-process test, with its standard output.
#pragma once

#include <string>
#include <vector>

namespace wtest {

// The test's own session folder: a fresh temporary folder set as
// W32_SESSION before anything uses the session, removed at exit.
const std::string& SessionDirectory();

class ChildProcess {
public:
    // Starts the helper program beside the test executable.
    explicit ChildProcess(const std::vector<std::string>& args);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The next line of its output; empty after timeoutMs or at its end.
    std::string ReadLine(int timeoutMs = 5000);
    // Reads lines until one starts with the prefix; empty if none comes.
    std::string WaitFor(const std::string& prefix, int timeoutMs = 5000);
    void Kill();
    // The exit code, or -1 when it did not end within timeoutMs.
    int Wait(int timeoutMs = 5000);
    int pid() const { return pid_; }

private:
    int pid_ = -1;
    int out_ = -1;
    std::string buffer_;
    bool reaped_ = false;
};

// The handle printed in "ready 0x..." (the n-th handle on the line).
void* HandleFromReady(const std::string& line, int n = 0);

}  // namespace wtest
