// The agent's scan pipeline with real processes: a feeder job of A4 pages at
// 300 dpi from a virtual TWAIN source, through the real agent_vexlo, to the
// local fax service. Prints pages per second and the agent's peak memory,
// and each stage (acquire, page making, upload) from the agent's own log
// times. The worker's fixed 1000 ms poll before its first item is left out.
//
//   scan_pipeline_bench [pages]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "agent_run.h"
#include "fax_service_process.h"
#include "protocol/records.h"
#include "support/temp_dir.h"

namespace {

using namespace std::chrono_literals;

// The sum of the intervals from each start to its end.
double Spent(const std::vector<double>& starts, const std::vector<double>& ends) {
    double total = 0;
    for (size_t i = 0; i < std::min(starts.size(), ends.size()); ++i) {
        total += ends[i] - starts[i];
    }
    return total;
}

}  // namespace

int main(int argc, char** argv) {
    int pages = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    vexlo::test::FaxServiceProcess service;
    if (!service.started()) {
        std::fprintf(stderr, "scan_pipeline_bench: the fax service did not start\n");
        return 1;
    }
    vexlo::test::AgentRun run;
    vexlo::test::WriteFileBytes(
        run.Session() / "twain-sources",
        "[source]\nname = Bench Feeder\nx-resolution = enumeration fix32 300\n"
        "pages = " +
            std::to_string(pages) + "\npage = 8 2480 3508\n");
    if (!run.Start("scan-mode=3\ntrace-level=4\nsoap-server=" + service.endpoint() + "\n")) {
        std::fprintf(stderr, "scan_pipeline_bench: the agent did not start\n");
        return 1;
    }

    vexlo::PluginRequest request =
        vexlo::test::MakeRequest(vexlo::kRequestScan, vexlo::kScanTypeGrey, 1);
    vexlo::WriteField(request.apiKey, u"bench");
    run.Send(request);
    run.User({"twain-scan", "Bench Feeder"}, 60s);
    bool finished = run.WaitForState(vexlo::kStateJobDone, 1, 600s);
    long peakKb = run.PeakKb();
    run.Close(30s);
    if (!finished) {
        std::fprintf(stderr, "scan_pipeline_bench: the job did not finish\n");
        return 1;
    }

    std::vector<double> request_ = run.LogTimes("Got request for scan");
    std::vector<double> saved = run.LogTimes("Scan has finished");
    std::vector<double> started = run.LogTimes("Started processing");
    std::vector<double> made = run.LogTimes("Processing has finished");
    std::vector<double> sending = run.LogTimes("Send item");
    std::vector<double> sent = run.LogTimes("Item has sent");
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
