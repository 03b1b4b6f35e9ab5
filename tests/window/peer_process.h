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

private:
    pid_t child = -1;
    HWND hwnd = nullptr;
};

}  // namespace vexlo::test
