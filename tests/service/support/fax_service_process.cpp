#include "fax_service_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

extern char** environ;

namespace vexlo::test {

namespace {

// Starts the program with stdout on a pipe; returns the read end.
pid_t Spawn(const std::vector<std::string>& args, const std::string& session,
            const std::string& stderrPath, int& stdoutRead) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    if (!stderrPath.empty()) {
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }

    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        if (std::string(*e).rfind("W32_SESSION=", 0) != 0) {
            env.emplace_back(*e);
        }
    }
    env.push_back("W32_SESSION=" + session);
    std::vector<char*> envp;
    for (auto& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> argvStrings = args;
    std::vector<char*> argv;
    for (auto& a : argvStrings) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    stdoutRead = pipeFds[0];
    return pid;
}

// Reads one line from fd within timeoutMs.
std::string ReadLine(int fd, int timeoutMs) {
    std::string line;
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < until) {
        pollfd p{fd, POLLIN, 0};
        int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        until - std::chrono::steady_clock::now())
                                        .count());
        if (poll(&p, 1, std::max(left, 1)) <= 0) {
            break;
        }
        char c;
        if (read(fd, &c, 1) != 1) {
            break;
        }
        if (c == '\n') {
            return line;
        }
        line += c;
    }
    return line;
}

int WaitExit(pid_t pid, int timeoutMs) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    while (std::chrono::steady_clock::now() < until) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

}  // namespace

std::string FaxServiceProgram() {
    return FAX_SERVICE_PROGRAM;
}

FaxServiceProcess::FaxServiceProcess(std::vector<std::string> extraArgs, int port, bool capture) {
    pagesDir_ = dir_.native("pages");
    logPath_ = dir_.native("calls.log");
    captureDir_ = dir_.native("capture");
    stderrPath_ = dir_.native("stderr.txt");
    std::string session = dir_.native("session");
    std::filesystem::create_directory(session);

    std::vector<std::string> args = {FaxServiceProgram(),    "--port=" + std::to_string(port),
                                     "--pages=" + pagesDir_, "--log=" + logPath_,
                                     "--recv-timeout=5",     "--send-timeout=5"};
    if (capture) {
        args.push_back("--capture-dir=" + captureDir_);
    }
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    int out = -1;
    pid_ = Spawn(args, session, stderrPath_, out);
    if (pid_ <= 0) {
        return;
    }
    std::string line = ReadLine(out, 10000);
    close(out);
    try {
        port_ = std::stoi(line);
    } catch (const std::exception&) {
        port_ = 0;
    }
    if (port_ <= 0) {
        Stop();
    }
}

FaxServiceProcess::~FaxServiceProcess() {
    // Every test also checks that the service ended cleanly: no crash, no
    // sanitizer report, no hang.
    if (pid_ > 0) {
        int status = Stop();
        if (status != 0) {
            ADD_FAILURE() << "fax-service ended with status " << status << ":\n" << ErrorOutput();
        }
    }
}

int FaxServiceProcess::Stop() {
    if (pid_ <= 0) {
        return -1;
    }
    kill(pid_, SIGTERM);
    int status = WaitExit(pid_, 10000);
    pid_ = -1;
    return status;
}

std::string FaxServiceProcess::endpoint() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/services/vexloplugin";
}

std::vector<std::string> FaxServiceProcess::CallLines() const {
    std::istringstream in(ReadFileBytes(logPath_));
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        // "HH:MM:SS.mmm text": keep the text of call lines only.
        std::string text = line.size() > 13 ? line.substr(13) : "";
        if (text.rfind("listening ", 0) != 0 && text != "stopped") {
            lines.push_back(text);
        }
    }
    return lines;
}

std::vector<std::string> FaxServiceProcess::WaitForCallLines(size_t count, int timeoutMs) const {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        auto lines = CallLines();
        if (lines.size() >= count || std::chrono::steady_clock::now() >= until) {
            return lines;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::string FaxServiceProcess::Captured(int connection) const {
    return ReadFileBytes(captureDir_ + "/connection-" + std::to_string(connection) + ".raw");
}

std::vector<std::string> FaxServiceProcess::PageFiles() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(pagesDir_, ec)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string FaxServiceProcess::ErrorOutput() const {
    return ReadFileBytes(stderrPath_);
}

int RunFaxServiceOnce(const std::vector<std::string>& args, std::string& output) {
    TempDir dir;
    std::vector<std::string> all = {FaxServiceProgram()};
    all.insert(all.end(), args.begin(), args.end());
    int out = -1;
    pid_t pid = Spawn(all, dir.native(), dir.native("stderr.txt"), out);
    if (pid <= 0) {
        return -1;
    }
    output.clear();
    char buffer[4096];
    ssize_t got;
    while ((got = read(out, buffer, sizeof buffer)) > 0) {
        output.append(buffer, static_cast<size_t>(got));
    }
    close(out);
    return WaitExit(pid, 10000);
}

}  // namespace vexlo::test
