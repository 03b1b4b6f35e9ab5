// A print job with real processes: a 10-page document (1678 x 2373 pixels a
// page) rendered by the local fax service, printed by the real agent_vexlo on
// the session's default A4 printer. Prints each stage (render, convert, draw)
// from the agent's own log times and the spool's files, and the agent's peak
// memory. The worker's 1000 ms poll and the time the dialog waits for its
// user are left out.
//
//   print_job_bench [pages]
#include <windows.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "agent_run.h"
#include "fax_service_process.h"
#include "protocol/records.h"
#include "support/temp_dir.h"

namespace {

using namespace std::chrono_literals;

double FirstTime(const vexlo::test::AgentRun& run, const std::string& text) {
    std::vector<double> times = run.LogTimes(text);
    return times.empty() ? -1 : times.front();
}

double ModifiedAt(const std::filesystem::path& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        return -1;
    }
    return static_cast<double>(info.st_mtim.tv_sec) + info.st_mtim.tv_nsec / 1e9;
}

double Now() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

int main(int argc, char** argv) {
    int pages = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    vexlo::test::FaxServiceProcess service;
    if (!service.started()) {
        std::fprintf(stderr, "print_job_bench: the fax service did not start\n");
        return 1;
    }
    vexlo::test::AgentRun run;
    if (!run.Start("trace-level=4\nsoap-server=" + service.endpoint() + "\n")) {
        std::fprintf(stderr, "print_job_bench: the agent did not start\n");
        return 1;
    }

    vexlo::PluginRequest request = vexlo::test::MakeRequest(vexlo::kRequestPrint);
    vexlo::WriteField(request.apiKey, u"bench");
    std::string command = "pages=" + std::to_string(pages);
    vexlo::WriteField(request.printingRequest, std::u16string(command.begin(), command.end()));
    run.Send(request);

    auto has = [&](int state) {
        return std::any_of(run.client.answers.begin(), run.client.answers.end(),
                           [state](const auto& a) { return a.state == state; });
    };
    auto until = std::chrono::steady_clock::now() + 600s;
    double pressed = -1;
    while (!has(vexlo::kPrintPrinted) && !has(vexlo::kPrintFailed) &&
           !has(vexlo::kPrintNotConfirmed) && std::chrono::steady_clock::now() < until) {
        vexlo::test::PumpMessages();
        HWND dialog = pressed < 0 ? FindWindowW(u"#32770", u"Print") : nullptr;
        if (dialog != nullptr && IsWindowVisible(dialog)) {
            pressed = Now();
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
        std::this_thread::sleep_for(1ms);
    }
    long peakKb = run.PeakKb();
    run.Close(30s);
    if (!has(vexlo::kPrintPrinted)) {
        std::fprintf(stderr, "print_job_bench: the print did not finish\n");
        return 1;
    }

    double loading = FirstTime(run, "Load documents for print");
    double rendered = FirstTime(run, "renderForPrinting succeded");
    double converted = FirstTime(run, "Print documents");
    std::filesystem::path job = run.Session() / "spool" / "1";
    int sheets = 0;
    for (;;) {
        char name[32];
        std::snprintf(name, sizeof name, "sheet-%03d.png", sheets + 1);
        if (!std::filesystem::exists(job / name)) {
            break;
        }
        ++sheets;
    }
    double ended = ModifiedAt(job / "job.txt");
    if (loading < 0 || rendered < 0 || converted < 0 || pressed < 0 || ended < 0) {
        std::fprintf(stderr, "print_job_bench: missing log lines or spool files\n");
        return 1;
    }
    double render = rendered - loading;
    double convert = converted - rendered;
    double draw = ended - pressed;
    std::printf(
        "print job: %d pages of 1678 x 2373, local fax service -> agent -> default A4 printer "
        "(600 dpi)\n",
        pages);
    std::printf("  render   %7.3f s  (%6.1f ms a page)\n", render, 1000 * render / pages);
    std::printf("  convert  %7.3f s  (%6.1f ms a page)\n", convert, 1000 * convert / pages);
    std::printf("  draw     %7.3f s  (%6.1f ms a sheet, Print pressed to EndDoc)\n", draw,
                1000 * draw / std::max(1, sheets));
    std::printf("  request to last sheet without the dialog's wait  %7.3f s\n",
                render + convert + draw);
    std::printf("  sheets spooled  %d\n", sheets);
    std::printf("  agent peak memory  %.1f MB\n", peakKb / 1024.0);
    return 0;
}
