#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

extern char** environ;

namespace wtest {

namespace {

std::string MakeSession() {
    char templ[] = "/tmp/w32test-XXXXXX";
    if (!mkdtemp(templ))
        throw std::runtime_error("mkdtemp");
    setenv("W32_SESSION", templ, 1);
    std::string dir = templ;
    static std::string cleanup = dir;
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(cleanup, ec);
    });
    return dir;
}

// Set before main so that nothing can open the default session first.
const std::string gSession = MakeSession();

long long NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

std::string HelperPath() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string self(buf, n > 0 ? static_cast<size_t>(n) : 0);
    return self.substr(0, self.rfind('/')) + "/w32_window_helper";
}

}  // namespace

const std::string& SessionDirectory() {
    return gSession;
}

ChildProcess::ChildProcess(const std::vector<std::string>& args) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    std::string path = HelperPath();
    std::vector<char*> argv;
    argv.push_back(path.data());
    std::vector<std::string> copy = args;
    for (auto& a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    out_ = fds[0];
    if (pid_ < 0)
        throw std::runtime_error("cannot start " + path);
}

ChildProcess::~ChildProcess() {
    if (!reaped_ && pid_ > 0) {
        if (Wait(2000) < 0) {
            Kill();
            Wait(2000);
        }
    }
    if (out_ >= 0)
        close(out_);
}

std::string ChildProcess::ReadLine(int timeoutMs) {
    long long end = NowMs() + timeoutMs;
    for (;;) {
        auto nl = buffer_.find('\n');
        if (nl != std::string::npos) {
            std::string line = buffer_.substr(0, nl);
            buffer_.erase(0, nl + 1);
            return line;
        }
        long long left = end - NowMs();
        if (left <= 0)
            return {};
        pollfd p{out_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0)
            continue;
        char buf[4096];
        ssize_t n = read(out_, buf, sizeof buf);
        if (n <= 0)
            return {};
        buffer_.append(buf, static_cast<size_t>(n));
    }
}

std::string ChildProcess::WaitFor(const std::string& prefix, int timeoutMs) {
    long long end = NowMs() + timeoutMs;
    for (;;) {
        long long left = end - NowMs();
        if (left <= 0)
            return {};
        std::string line = ReadLine(static_cast<int>(left));
        if (line.empty())
            return {};
        if (line.rfind(prefix, 0) == 0)
            return line;
    }
}

void ChildProcess::Kill() {
    if (pid_ > 0 && !reaped_)
        kill(pid_, SIGKILL);
}

int ChildProcess::Wait(int timeoutMs) {
    if (reaped_)
        return 0;
    long long end = NowMs() + timeoutMs;
    for (;;) {
        int status = 0;
        pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            reaped_ = true;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (NowMs() >= end)
            return -1;
        usleep(2000);
    }
}

void* HandleFromReady(const std::string& line, int n) {
    size_t pos = 0;
    for (int i = 0; i <= n; ++i) {
        pos = line.find("0x", pos);
        if (pos == std::string::npos)
            return nullptr;
        if (i < n)
            pos += 2;
    }
    return reinterpret_cast<void*>(
        static_cast<uintptr_t>(std::strtoul(line.c_str() + pos + 2, nullptr, 16)));
}

}  // namespace wtest
