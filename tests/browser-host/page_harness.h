// Runs pages in the browser host as a child process of the test's session,
// beside a test agent or the real agent, and cleans up every process.
#pragma once

#include <sys/types.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fax_service_process.h"
#include "protocol/records.h"
#include "support/temp_dir.h"

namespace vexlo::test {

struct HostRun {
    int status = -1;  // the exit status; -1 when it had to be killed
    std::string out;
    std::string err;
};

// The process's environment with these variables set.
std::vector<std::string> Environment(const std::map<std::string, std::string>& changes);

// A program started with extra environment, stdout and stderr into files
// (or stdout into a pipe when a ready line is awaited).
class ChildProcess {
public:
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 const std::map<std::string, std::string>& environment,
                 const std::filesystem::path& output, const std::filesystem::path& errors);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The exit status, or -1 after killing it when the bound has passed.
    int Wait(std::chrono::milliseconds bound);
    pid_t pid() const { return child; }

private:
    pid_t child = -1;
};

class PageTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the page and runs the host on it.
    HostRun RunPage(const std::string& html, const std::vector<std::string>& options = {},
                    const std::string& name = "page.html");
    // Runs a page of examples/ where it lies (its scripts beside it).
    HostRun RunExample(const std::string& name, const std::vector<std::string>& options = {});
    // A test agent with these rules in the session; its requests are kept.
    void StartTestAgent(const std::string& rules);
    std::vector<PluginRequest> Requests() const;
    HostRun RunFile(const std::string& page, const std::vector<std::string>& options);
    // Closes agents that the plug-in started in the session.
    void CloseStartedAgents();
    // The local fax service (with these options) as the agent's server, a
    // virtual TWAIN scanner "Page Scanner" with one grey A4 page, and the
    // simulated user following the rules.
    void StartServiceAndUser(const std::vector<std::string>& serviceOptions,
                             const std::string& userRules);

    TempDir folder;
    std::map<std::string, std::string> environment;
    pid_t testAgent = -1;
    std::unique_ptr<FaxServiceProcess> service;
    std::unique_ptr<ChildProcess> user;
};

// The page with one plug-in element "vexlo" and the script.
std::string PluginPage(const std::string& script);
std::string Lines(const std::vector<std::string>& lines);

}  // namespace vexlo::test
