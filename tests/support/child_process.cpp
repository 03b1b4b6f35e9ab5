#include "support/child_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>
#include <utility>

namespace vexlo::test {

ChildProcess::ChildProcess(ChildProcess&& other) noexcept : pid_(std::exchange(other.pid_, -1)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        End();
        pid_ = std::exchange(other.pid_, -1);
    }
    return *this;
}

int ChildProcess::Wait(std::chrono::milliseconds bound, const std::function<void()>& whileWaiting) {
    if (pid_ <= 0) {
        return -1;
    }
    auto end = std::chrono::steady_clock::now() + bound;
    for (;;) {
        int status = 0;
        pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_ || (done < 0 && errno != EINTR)) {
            pid_ = -1;
            if (done < 0) {
                return -1;
            }
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (std::chrono::steady_clock::now() >= end) {
            return -1;
        }
        if (whileWaiting) {
            whileWaiting();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

int ChildProcess::End(std::chrono::milliseconds grace) {
    if (pid_ <= 0) {
        return -1;
    }
    pid_t pid = pid_;
    kill(pid, SIGTERM);
    int status = Wait(grace);
    if (pid_ > 0) {
        kill(pid, SIGKILL);
        int raw = 0;
        while (waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    }
    return status;
}

ChildProcess Spawn(const std::vector<std::string>& arguments,
                   const std::map<std::string, std::string>& environment) {
    // Everything the child needs is made before the fork.
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    std::vector<std::string> variables;
    for (const auto& [name, value] : environment) {
        variables.push_back(name + "=" + value);
    }
    pid_t pid = fork();
    if (pid == 0) {
        for (std::string& variable : variables) {
            putenv(variable.data());
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    return ChildProcess(pid);
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds bound,
               const std::function<void()>& pump) {
    auto end = std::chrono::steady_clock::now() + bound;
    for (;;) {
        pump();
        if (done()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

}  // namespace vexlo::test
