// Starts a w32_test_peer process of the test's session and reads its window.
#pragma once

#include <sys/types.h>
#include <windows.h>

#include <string>
#include <vector>

namespace vexlo::test {

class PeerProcess {
public:
    explicit PeerProcess(const std::vector<std::string>& arguments);
    ~PeerProcess();
    HWND window() const { return hwnd; }
    pid_t pid() const { return child; }
    void Kill();
    // The exit status, or -1 while the process runs on after the wait.
    int WaitForExit(int milliseconds);

private:
    pid_t child = -1;
    HWND hwnd = nullptr;
};

}  // namespace vexlo::test
