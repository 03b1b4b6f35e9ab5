#include "peer_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vexlo::test {

namespace {
std::string PeerPath() {
    char self[4096];
    ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
    self[length > 0 ? length : 0] = 0;
    std::string path = self;
    return path.substr(0, path.rfind('/')) + "/w32_test_peer";
}
}  // namespace

PeerProcess::PeerProcess(const std::vector<std::string>& arguments) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        return;
    }
    std::string program = PeerPath();
    child = fork();
    if (child == 0) {
        dup2(pipeFds[1], 1);
        close(pipeFds[0]);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    FILE* out = fdopen(pipeFds[0], "r");
    unsigned handle = 0;
    if (out != nullptr && fscanf(out, "ready %u", &handle) == 1) {
        hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(handle));
    }
    if (out != nullptr) {
        fclose(out);
    }
}

void PeerProcess::Kill() {
    if (child > 0) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        child = -1;
    }
}

int PeerProcess::WaitForExit(int milliseconds) {
    for (int waited = 0; waited <= milliseconds; waited += 10) {
        int status = 0;
        if (child > 0 && waitpid(child, &status, WNOHANG) == child) {
            child = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        usleep(10000);
    }
    return -1;
}

PeerProcess::~PeerProcess() {
    Kill();
}

}  // namespace vexlo::test
