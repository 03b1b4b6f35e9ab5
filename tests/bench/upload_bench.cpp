// Upload of a 5 MB page to the local fax service through UploadScannedItem,
// side by side with curl posting the same MTOM request body to the same
// service: throughput (MB/s, median of the runs) and peak memory. The agent
// reads the page and computes its MD5 before it sends; the captured body that
// curl posts has the digest already, so curl's side is also charged with the
// same work, timed apart (read the page, MD5 it), for a ratio of like with
// like. The pages the service keeps are cleared after each run.
//
//   upload_bench [runs]
#include <windows.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <openssl/evp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "agent/service/page_upload.h"
#include "agent_data.h"
#include "fax_service_process.h"
#include "recording_host.h"
#include "service_client.h"

extern char** environ;

namespace {

using vexlo::test::FaxServiceProcess;

constexpr size_t kPageBytes = 5 * 1024 * 1024;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A field of /proc/self/status in kB.
long StatusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(field, 0) == 0) {
            return std::stol(line.substr(std::string(field).size()));
        }
    }
    return -1;
}

// Resets the process's peak resident size to its current size.
void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

struct CurlRun {
    double transferSeconds = 0;  // curl's own time_total
    double wholeSeconds = 0;     // the curl process, start-up and reading the body included
    long peakKb = 0;             // curl's maximum resident size
    bool ok = false;
};

CurlRun RunCurl(const std::string& url, const std::string& contentType, const std::string& bodyPath,
                const std::string& timePath) {
    std::vector<std::string> args = {"curl",
                                     "-s",
                                     "-o",
                                     "/dev/null",
                                     "-w",
                                     "%{time_total}",
                                     "-H",
                                     "Content-Type: " + contentType,
                                     "-H",
                                     "Expect:",
                                     "--data-binary",
                                     "@" + bodyPath,
                                     url};
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, timePath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    CurlRun run;
    auto start = std::chrono::steady_clock::now();
    if (posix_spawnp(&pid, "curl", &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        run.wholeSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        run.peakKb = usage.ru_maxrss;
        std::ifstream in(timePath);
        in >> run.transferSeconds;
    }
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

// What the agent does before it sends: read the page and compute its MD5;
// the seconds it took, or -1 when the digest could not be made.
double DigestWorkSeconds(const std::string& pagePath) {
    auto start = std::chrono::steady_clock::now();
    std::FILE* file = std::fopen(pagePath.c_str(), "rb");
    if (file == nullptr) {
        return -1;
    }
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    bool ok = context != nullptr && EVP_DigestInit_ex(context, EVP_md5(), nullptr) == 1;
    std::vector<unsigned char> chunk(64 * 1024);
    size_t got = 0;
    while (ok && (got = std::fread(chunk.data(), 1, chunk.size(), file)) > 0) {
        ok = EVP_DigestUpdate(context, chunk.data(), got) == 1;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    ok = ok && EVP_DigestFinal_ex(context, digest, &length) == 1;
    EVP_MD_CTX_free(context);
    std::fclose(file);
    return ok ? std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()
              : -1;
}

// Removes the pages the service has kept, so runs do not fill its folder.
void ClearPages(const FaxServiceProcess& service) {
    std::error_code ignored;
    for (const std::string& name : service.PageFiles()) {
        std::filesystem::remove(std::filesystem::path(service.pagesDir()) / name, ignored);
    }
}

}  // namespace

int main(int argc, char** argv) {
    int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    vexlo::test::TempDir session;
    setenv("W32_SESSION", session.native().c_str(), 1);
    vexlo::test::AgentDataFolder data;
    vexlo::test::RecordingHost host;

    std::string bytes = vexlo::test::PatternBytes(kPageBytes, 5);
    std::u16string page = data.WriteProcessedPage("bench.png", bytes);
    vexlo::UploadItem item;
    item.file = page;
    item.apiKey = u"bench";
    item.messageId = 1;
    item.jobId = 1;

    // The request body as the agent sends it, for curl. This first upload
    // of the process also gives the memory figure: how far the resident
    // size grows above what it was before the upload.
    std::string contentType, body;
    long coldGrowthKb = 0;
    {
        FaxServiceProcess recorder;
        data.SetSoapServer(recorder.endpoint());
        ResetPeak();
        long before = StatusKb("VmRSS:");
        HRESULT recorded = recorder.started() ? vexlo::UploadScannedItem(item, &host) : E_FAIL;
        coldGrowthKb = StatusKb("VmHWM:") - before;
        if (recorded != S_OK) {
            std::fprintf(stderr, "upload_bench: the recording upload failed\n");
            return 1;
        }
        std::string wire = recorder.Captured(1);
        size_t headersEnd = wire.find("\r\n\r\n");
        size_t at = wire.find("Content-Type: ");
        contentType = wire.substr(at + 14, wire.find("\r\n", at) - at - 14);
        body = wire.substr(headersEnd + 4);
    }
    vexlo::test::TempDir work;
    std::string bodyPath = work.native("body.bin");
    vexlo::test::WriteFileBytes(bodyPath, body);

    FaxServiceProcess service({}, 0, /*capture=*/false);
    if (!service.started()) {
        std::fprintf(stderr, "upload_bench: fax-service did not start\n");
        return 1;
    }
    data.SetSoapServer(service.endpoint());
    const double megabytes = static_cast<double>(kPageBytes) / (1024 * 1024);

    // Warm-up of both, then the measured runs, interleaved.
    const std::string pagePath = vexlo::test::Narrow(page);
    vexlo::UploadScannedItem(item, &host);
    RunCurl(service.endpoint(), contentType, bodyPath, work.native("time.txt"));
    DigestWorkSeconds(pagePath);
    ClearPages(service);

    std::vector<double> ours, curlTransfer, curlWhole, curlDigestTransfer, curlDigestWhole;
    long ourPeakGrowthKb = 0, curlPeakKb = 0;
    bool allOk = true;
    for (int i = 0; i < runs; ++i) {
        ResetPeak();
        long before = StatusKb("VmRSS:");
        auto start = std::chrono::steady_clock::now();
        HRESULT result = vexlo::UploadScannedItem(item, &host);
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        allOk &= result == S_OK;
        ours.push_back(megabytes / seconds);
        ourPeakGrowthKb = std::max(ourPeakGrowthKb, StatusKb("VmHWM:") - before);

        ClearPages(service);

        double digestSeconds = DigestWorkSeconds(pagePath);
        CurlRun curl = RunCurl(service.endpoint(), contentType, bodyPath, work.native("time.txt"));
        ClearPages(service);
        allOk &= curl.ok && digestSeconds >= 0;
        curlTransfer.push_back(curl.transferSeconds > 0 ? megabytes / curl.transferSeconds : 0);
        curlWhole.push_back(curl.wholeSeconds > 0 ? megabytes / curl.wholeSeconds : 0);
        curlDigestTransfer.push_back(megabytes / (curl.transferSeconds + digestSeconds));
        curlDigestWhole.push_back(megabytes / (curl.wholeSeconds + digestSeconds));
        curlPeakKb = std::max(curlPeakKb, curl.peakKb);
    }

    double ourRate = Median(ours);
    double transferRate = Median(curlTransfer), wholeRate = Median(curlWhole);
    double digestTransferRate = Median(curlDigestTransfer);
    double digestWholeRate = Median(curlDigestWhole);
    std::printf("upload of a %.0f MB page to the local fax service, %d runs (median)\n", megabytes,
                runs);
    std::printf("  %-34s %8s   %s\n", "client", "MB/s", "peak memory");
    std::printf("  %-34s %8.1f   %.1f MB above the start (first upload), %.1f MB later\n",
                "UploadScannedItem (MD5 included)", ourRate, coldGrowthKb / 1024.0,
                ourPeakGrowthKb / 1024.0);
    std::printf("  %-34s %8.1f   %.1f MB (whole process)\n", "curl, transfer (time_total)",
                transferRate, curlPeakKb / 1024.0);
    std::printf("  %-34s %8.1f\n", "curl, whole command", wholeRate);
    std::printf("  %-34s %8.1f\n", "read + MD5, then curl transfer", digestTransferRate);
    std::printf("  %-34s %8.1f\n", "read + MD5, then curl command", digestWholeRate);
    std::printf(
        "  ratio to curl without the digest work: %.2f of the transfer, %.2f of the whole "
        "command\n",
        transferRate > 0 ? ourRate / transferRate : 0.0, wholeRate > 0 ? ourRate / wholeRate : 0.0);
    std::printf(
        "  ratio to curl with the same digest work: %.2f of the transfer, %.2f of the whole "
        "command (goal 0.80)\n",
        digestTransferRate > 0 ? ourRate / digestTransferRate : 0.0,
        digestWholeRate > 0 ? ourRate / digestWholeRate : 0.0);
    std::printf("  the agent reads the page for its MD5 64 KiB at a time (a %.1f MB page)\n",
                megabytes);
    if (!allOk) {
        std::printf("  some runs failed\n");
        return 1;
    }
    return 0;
}
