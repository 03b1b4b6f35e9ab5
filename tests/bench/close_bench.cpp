// How long the agent's close takes while its scan worker is busy, whatever
// the page and the service do: idle, a page that never takes its answers
// during an upload, a service that keeps its answer back, page making of a
// 600 dpi sheet. The goal is about two seconds for each. The close is the
// window's destruction (the ordered close: workers joined, files deleted,
// settings written); the agent program ends right after it.
//
//   close_bench [rounds]
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "agent_fixture.h"
#include "fax_service_process.h"
#include "protocol/records.h"
#include "test_bitmap.h"

namespace {

using namespace std::chrono_literals;
using vexlo::test::AgentFixture;
using vexlo::test::FaxServiceProcess;

// A window on a thread that never takes what is sent to it.
class HungPage {
public:
    HungPage() {
        thread = std::thread([this] {
            vexlo::test::AnswerRecorder page;
            window = page.hwnd();
            while (!released) {
                std::this_thread::sleep_for(5ms);
            }
        });
        while (window == nullptr) {
            std::this_thread::sleep_for(1ms);
        }
    }
    ~HungPage() {
        released = true;
        thread.join();
    }
    std::atomic<HWND> window{nullptr};

private:
    std::atomic<bool> released{false};
    std::thread thread;
};

struct Scenario {
    const char* name;
    std::vector<std::string> serviceOptions;
    bool hungPage;
    int scanType;
    int width;
    int height;
    const char* busyLine;  // the log line after which the close begins
    std::chrono::milliseconds settle;
};

// One close; its duration in milliseconds, or -1 when the scenario failed.
double RunOnce(const Scenario& scenario) {
    FaxServiceProcess service(scenario.serviceOptions);
    if (!service.started()) {
        std::fprintf(stderr, "close_bench: the fax service did not start\n");
        return -1;
    }
    AgentFixture agent(
        "[settings]\nscan-mode=3\ntrace-level=4\nsoap-server=" + service.endpoint() + "\n",
        vexlo::ScanWorkerStart::kRun);
    std::unique_ptr<HungPage> hung;
    HWND client = agent.client.hwnd();
    if (scenario.hungPage) {
        hung = std::make_unique<HungPage>();
        client = hung->window;
    }
    std::filesystem::path log = agent.DataFolder() / "vexlo-plugin.log";
    if (scenario.busyLine != nullptr) {
        std::filesystem::path scanned = agent.DataFolder() / "Scanned";
        std::filesystem::create_directories(scanned);
        std::filesystem::path file = scanned / "1.bmp";
        vexlo::test::WriteFileBytes(
            file, vexlo::test::EncodeBmp(
                      scenario.scanType == vexlo::kScanTypeColour
                          ? vexlo::test::PatternBitmap(scenario.width, scenario.height, 24, 9)
                          : vexlo::test::DocumentBitmap(scenario.width, scenario.height, 7)));
        vexlo::ScanJob job{u"bench", 1, scenario.scanType, 1, client};
        agent.window().OnScanFinished(job, vexlo::test::Wide(file.string()), 300);
        bool busy = vexlo::test::PumpUntil(
            [&] {
                return vexlo::test::ReadFileBytes(log).find(scenario.busyLine) != std::string::npos;
            },
            60s);
        if (!busy) {
            std::fprintf(stderr, "close_bench: %s: the worker never got busy\n", scenario.name);
            return -1;
        }
    }
    vexlo::test::PumpUntil([] { return false; }, scenario.settle);
    auto start = std::chrono::steady_clock::now();
    DestroyWindow(agent.hwnd());
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const std::vector<Scenario> scenarios = {
        {"idle worker", {}, false, 0, 0, 0, nullptr, 1500ms},
        {"upload, page never answers",
         {"--slow-read=300000"},
         true,
         vexlo::kScanTypeColour,
         2400,
         3300,
         "Send item ",
         1500ms},
        {"upload, service keeps its answer",
         {"--stall=60000"},
         false,
         vexlo::kScanTypeGrey,
         1000,
         1400,
         "Send item ",
         1000ms},
        {"page making of a 600 dpi sheet",
         {},
         true,
         vexlo::kScanTypeGrey,
         4960,
         7016,
         "Do gray scale ",
         0ms},
    };
    std::printf("agent close while the scan worker is busy (goal: about 2000 ms each)\n");
    for (const Scenario& scenario : scenarios) {
        double worst = 0;
        double sum = 0;
        for (int round = 0; round < rounds; ++round) {
            double ms = RunOnce(scenario);
            if (ms < 0) {
                return 1;
            }
            worst = std::max(worst, ms);
            sum += ms;
        }
        std::printf("  %-36s mean %7.1f ms  worst %7.1f ms\n", scenario.name, sum / rounds, worst);
    }
    return 0;
}
