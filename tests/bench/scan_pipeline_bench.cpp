// The agent's scan pipeline with real processes: a feeder job of A4 pages at
// 300 dpi from a virtual TWAIN source, through the real agent_vexlo, to the
// local fax service. Prints pages per second and the agent's peak memory,
// and each stage (acquire, page making, upload) from the agent's own log
// times. The worker's fixed 1000 ms poll before its first item is left out.
//
//   scan_pipeline_bench [pages]
#include <windows.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "agent_fixture.h"
#include "fax_service_process.h"
#include "protocol/records.h"
#include "support/temp_dir.h"

namespace {

using namespace std::chrono_literals;

// A log line's time of day in seconds ("HH:MM:SS.mmm ...").
double LineTime(const std::string& line) {
    int h = 0, m = 0, s = 0, ms = 0;
    if (std::sscanf(line.c_str(), "%d:%d:%d.%d", &h, &m, &s, &ms) != 4) {
        return -1;
    }
    return h * 3600.0 + m * 60.0 + s + ms / 1000.0;
}

std::vector<double> TimesOf(const std::vector<std::string>& lines, const std::string& text) {
    std::vector<double> times;
    for (const std::string& line : lines) {
        if (line.find(text) != std::string::npos) {
            times.push_back(LineTime(line));
        }
    }
    return times;
}

// The sum of the intervals from each start to its end.
double Spent(const std::vector<double>& starts, const std::vector<double>& ends) {
    double total = 0;
    for (size_t i = 0; i < std::min(starts.size(), ends.size()); ++i) {
        total += ends[i] - starts[i];
    }
    return total;
}

long PeakKb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    int pages = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    vexlo::test::FaxServiceProcess service;
    if (!service.started()) {
        std::fprintf(stderr, "scan_pipeline_bench: the fax service did not start\n");
        return 1;
    }
    std::filesystem::path session(getenv("W32_SESSION"));
    vexlo::test::WriteFileBytes(
        session / "twain-sources",
        "[source]\nname = Bench Feeder\nx-resolution = enumeration fix32 300\n"
        "pages = " +
            std::to_string(pages) + "\npage = 8 2480 3508\n");
    vexlo::test::TempDir appData;
    std::filesystem::path data = appData.path() / "VexloDesktop";
    std::filesystem::create_directories(data);
    vexlo::test::WriteFileBytes(
        data / "settings.ini",
        "[settings]\nscan-mode=3\ntrace-level=4\nsoap-server=" + service.endpoint() + "\n");

    vexlo::test::AnswerRecorder client;
    vexlo::test::ChildProcess agent =
        vexlo::test::StartProgram({vexlo::test::ProgramInBuild("agent_vexlo")}, appData.native());
    HWND window = nullptr;
    for (int i = 0; i < 500 && window == nullptr; ++i) {
        window = FindWindowW(vexlo::kAgentWindowClass, nullptr);
        std::this_thread::sleep_for(10ms);
    }
    if (window == nullptr) {
        std::fprintf(stderr, "scan_pipeline_bench: the agent did not start\n");
        return 1;
    }

    vexlo::PluginRequest request =
        vexlo::test::MakeRequest(vexlo::kRequestScan, vexlo::kScanTypeGrey, 1);
    vexlo::WriteField(request.apiKey, u"bench");
    vexlo::test::SendRequest(window, client.hwnd(), request);
    vexlo::test::ChildProcess user = vexlo::test::StartProgram(
        {vexlo::test::ProgramInBuild("desktop-user"), "twain-scan", "Bench Feeder"},
        appData.native());
    vexlo::test::WaitForProgram(user, 60s);

    auto end = std::chrono::steady_clock::now() + 600s;
    auto finished = [&] {
        return std::any_of(client.answers.begin(), client.answers.end(),
                           [](const auto& a) { return a.state == vexlo::kStateJobDone; });
    };
    while (!finished() && std::chrono::steady_clock::now() < end) {
        vexlo::test::PumpMessages();
        std::this_thread::sleep_for(1ms);
    }
    long peakKb = PeakKb(agent.pid());
    PostMessageW(window, WM_CLOSE, 0, 0);
    vexlo::test::WaitForProgram(agent, 30s);
    if (!finished()) {
        std::fprintf(stderr, "scan_pipeline_bench: the job did not finish\n");
        return 1;
    }

    std::ifstream logFile(data / "vexlo-plugin.log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(logFile, line);) {
        lines.push_back(line);
    }
    std::vector<double> request_ = TimesOf(lines, "Got request for scan");
    std::vector<double> saved = TimesOf(lines, "Scan has finished");
    std::vector<double> started = TimesOf(lines, "Started processing");
    std::vector<double> made = TimesOf(lines, "Processing has finished");
    std::vector<double> sending = TimesOf(lines, "Send item");
    std::vector<double> sent = TimesOf(lines, "Item has sent");
    if (saved.size() != static_cast<size_t>(pages) || sent.size() != static_cast<size_t>(pages) ||
        request_.empty()) {
        std::fprintf(stderr, "scan_pipeline_bench: %zu images saved, %zu pages sent of %d\n",
                     saved.size(), sent.size(), pages);
        return 1;
    }
    // The worker polls every 1000 ms: the wait from the first saved image to
    // the start of its processing is the poll, not the pipeline.
    double pollWait = std::max(0.0, started.front() - saved.front());
    double acquire = saved.back() - request_.front();
    double making = Spent(started, made);
    double upload = Spent(sending, sent);
    double whole = sent.back() - request_.front() - pollWait;

    std::printf(
        "scan pipeline: %d A4 pages at 300 dpi, grey, virtual TWAIN feeder -> agent -> local fax "
        "service\n",
        pages);
    std::printf("  acquire      %7.3f s  (%6.1f ms a page, request to last image saved)\n", acquire,
                1000 * acquire / pages);
    std::printf("  page making  %7.3f s  (%6.1f ms a page)\n", making, 1000 * making / pages);
    std::printf("  upload       %7.3f s  (%6.1f ms a page)\n", upload, 1000 * upload / pages);
    std::printf("  whole job    %7.3f s  without the worker's first %0.3f s poll: %.2f pages/s\n",
                whole, pollWait, pages / whole);
    std::printf("  agent peak memory  %.1f MB\n", peakKb / 1024.0);
    std::printf("  pages at the service: %zu\n", service.PageFiles().size());
    return 0;
}
