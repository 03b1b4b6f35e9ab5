#include "page_harness.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <thread>

extern char** environ;

namespace vexlo::test {

namespace {

using namespace std::chrono_literals;

// A child is ended by signal and reaped.
void KillAndReap(pid_t pid) {
    kill(pid, SIGKILL);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

std::vector<std::string> Environment(const std::map<std::string, std::string>& changes) {
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string variable = *entry;
        std::string name = variable.substr(0, variable.find('='));
        if (changes.find(name) == changes.end()) {
            variables.push_back(variable);
        }
    }
    for (const auto& [name, value] : changes) {
        variables.push_back(name + "=" + value);
    }
    return variables;
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::map<std::string, std::string>& environment,
                           const std::filesystem::path& output,
                           const std::filesystem::path& errors) {
    // Everything the child needs is made before the fork: a child of a
    // threaded process may only make async-signal-safe calls.
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> argp;
    for (auto& argument : argv) {
        argp.push_back(argument.data());
    }
    argp.push_back(nullptr);
    std::vector<std::string> variables = Environment(environment);
    std::vector<char*> envp;
    for (auto& variable : variables) {
        envp.push_back(variable.data());
    }
    envp.push_back(nullptr);
    int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    int err = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    child = fork();
    if (child == 0) {
        dup2(out, 1);
        dup2(err, 2);
        execve(program.c_str(), argp.data(), envp.data());
        _exit(127);
    }
    close(out);
    close(err);
}

ChildProcess::~ChildProcess() {
    if (child > 0) {
        KillAndReap(child);
    }
}

int ChildProcess::Wait(std::chrono::milliseconds bound) {
    auto end = std::chrono::steady_clock::now() + bound;
    while (child > 0) {
        int status = 0;
        pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) {
            child = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (std::chrono::steady_clock::now() >= end) {
            KillAndReap(child);
            child = -1;
            return -1;
        }
        std::this_thread::sleep_for(10ms);
    }
    return -1;
}

void PageTest::SetUp() {
    std::filesystem::create_directories(folder.path() / "appdata");
    environment["APPDATA"] = folder.native("appdata");
}

void PageTest::TearDown() {
    if (testAgent > 0) {
        KillAndReap(testAgent);
        testAgent = -1;
    }
    CloseStartedAgents();
}

void PageTest::CloseStartedAgents() {
    for (int attempt = 0; attempt < 10; ++attempt) {
        HWND agent = FindWindowW(kAgentWindowClass, nullptr);
        if (agent == nullptr) {
            return;
        }
        DWORD pid = 0;
        GetWindowThreadProcessId(agent, &pid);
        PostMessageW(agent, WM_CLOSE, 0, 0);
        for (int i = 0; i < 300 && IsWindow(agent); ++i) {
            std::this_thread::sleep_for(10ms);
        }
        if (IsWindow(agent) && pid != 0) {
            kill(static_cast<pid_t>(pid), SIGKILL);
            std::this_thread::sleep_for(100ms);
        }
    }
}

HostRun PageTest::RunPage(const std::string& html, const std::vector<std::string>& options,
                          const std::string& name) {
    WriteFileBytes(folder.path() / name, html);
    return RunFile(folder.native(name), options);
}

HostRun PageTest::RunExample(const std::string& name, const std::vector<std::string>& options) {
    return RunFile((std::filesystem::path(VEXLO_EXAMPLES_DIR) / name).string(), options);
}

HostRun PageTest::RunFile(const std::string& page, const std::vector<std::string>& options) {
    std::vector<std::string> arguments{"--timeout", "30"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    arguments.push_back(page);
    HostRun run;
    {
        ChildProcess host(VEXLO_BROWSER_HOST, arguments, environment, folder.path() / "out.txt",
                          folder.path() / "err.txt");
        run.status = host.Wait(60s);
    }
    run.out = ReadFileBytes(folder.path() / "out.txt");
    run.err = ReadFileBytes(folder.path() / "err.txt");
    return run;
}

void PageTest::StartServiceAndUser(const std::vector<std::string>& serviceOptions,
                                   const std::string& userRules) {
    service = std::make_unique<FaxServiceProcess>(serviceOptions);
    ASSERT_TRUE(service->started()) << service->ErrorOutput();
    std::filesystem::path session(getenv("W32_SESSION"));
    WriteFileBytes(session / "twain-sources",
                   "[source]\nname = Page Scanner\nx-resolution = enumeration fix32 300\n"
                   "page = 8 2480 3508\n");
    std::filesystem::path data = folder.path() / "appdata/VexloDesktop";
    std::filesystem::create_directories(data);
    WriteFileBytes(data / "settings.ini", "[settings]\nsoap-server=" + service->endpoint() + "\n");
    WriteFileBytes(folder.path() / "user-rules", userRules);
    user = std::make_unique<ChildProcess>(
        VEXLO_DESKTOP_USER, std::vector<std::string>{"run", folder.native("user-rules"), "60"},
        environment, folder.path() / "user.txt", folder.path() / "user-err.txt");
}

void PageTest::StartTestAgent(const std::string& rules) {
    WriteFileBytes(folder.path() / "rules.txt", rules);
    std::string rulesPath = folder.native("rules.txt");
    std::string requestsPath = folder.native("requests.bin");
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    testAgent = fork();
    if (testAgent == 0) {
        dup2(pipeFds[1], 1);
        close(pipeFds[0]);
        execl(VEXLO_TEST_AGENT, VEXLO_TEST_AGENT, "--rules", rulesPath.c_str(), "--requests",
              requestsPath.c_str(), nullptr);
        _exit(127);
    }
    close(pipeFds[1]);
    FILE* out = fdopen(pipeFds[0], "r");
    unsigned handle = 0;
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(fscanf(out, "ready %u", &handle), 1) << "the test agent did not start";
    fclose(out);
    ASSERT_TRUE(IsWindow(reinterpret_cast<HWND>(static_cast<uintptr_t>(handle))));
}

std::vector<PluginRequest> PageTest::Requests() const {
    std::string bytes = ReadFileBytes(folder.path() / "requests.bin");
    std::vector<PluginRequest> requests(bytes.size() / sizeof(PluginRequest));
    memcpy(requests.data(), bytes.data(), requests.size() * sizeof(PluginRequest));
    return requests;
}

std::string PluginPage(const std::string& script) {
    return "<!DOCTYPE html>\n<html><head><title>page</title></head><body>\n"
           "<embed id=\"vexlo\" type=\"application/agent_vexlo\" width=\"1\" height=\"1\">\n"
           "<script type=\"text/javascript\">\n" +
           script + "\n</script>\n</body></html>\n";
}

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += line + "\n";
    }
    return text;
}

}  // namespace vexlo::test
