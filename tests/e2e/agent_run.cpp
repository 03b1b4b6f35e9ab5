#include "agent_run.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>

namespace vexlo::test {

std::filesystem::path AgentRun::Session() {
    return std::getenv("W32_SESSION");
}

bool AgentRun::Start(const std::string& settings) {
    std::filesystem::create_directories(DataFolder());
    WriteFileBytes(DataFolder() / "settings.ini", "[settings]\n" + settings);
    agent_ = StartProgram({ProgramInBuild("agent_vexlo")}, appData.native());
    window_ = nullptr;
    return PumpUntil([&] { return (window_ = FindWindowW(kAgentWindowClass, nullptr)); });
}

int AgentRun::Close(std::chrono::milliseconds bound) {
    PostMessageW(window_, WM_CLOSE, 0, 0);
    return WaitForProgram(agent_, bound);
}

long AgentRun::PeakKb() const {
    std::ifstream in("/proc/" + std::to_string(agent_.pid()) + "/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

void AgentRun::Send(const PluginRequest& request) {
    SendRequest(window_, client.hwnd(), request);
}

int AgentRun::User(const std::vector<std::string>& arguments, std::chrono::milliseconds bound) {
    std::vector<std::string> command{ProgramInBuild("desktop-user")};
    command.insert(command.end(), arguments.begin(), arguments.end());
    ChildProcess user = StartProgram(command, appData.native());
    return WaitForProgram(user, bound);
}

bool AgentRun::WaitForState(int state, size_t count, std::chrono::milliseconds bound) {
    return PumpUntil(
        [&] {
            return static_cast<size_t>(std::count_if(
                       client.answers.begin(), client.answers.end(),
                       [state](const auto& answer) { return answer.state == state; })) >= count;
        },
        bound);
}

std::vector<std::string> AgentRun::LogLines() const {
    std::ifstream log(DataFolder() / "vexlo-plugin.log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<double> AgentRun::LogTimes(const std::string& text) const {
    std::vector<double> times;
    for (const std::string& line : LogLines()) {
        int h = 0, m = 0, s = 0, ms = 0;
        if (line.find(text) == std::string::npos ||
            std::sscanf(line.c_str(), "%d:%d:%d.%d", &h, &m, &s, &ms) != 4) {
            continue;
        }
        time_t now = time(nullptr);
        struct tm day;
        localtime_r(&now, &day);
        day.tm_hour = h;
        day.tm_min = m;
        day.tm_sec = s;
        times.push_back(static_cast<double>(mktime(&day)) + ms / 1000.0);
    }
    return times;
}

}  // namespace vexlo::test
