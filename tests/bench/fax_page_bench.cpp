// Grey fax page of a 300 dpi A4 scan (2480 x 3508, 24 bits per pixel): crop
// to 2479 x 3506, grey, cubic resize to 1678 x 2373, PNG level 9 with pHYs.
// Printed side by side with ImageMagick's convert doing the same pipeline in
// the same run, when a real ImageMagick is installed.
//
// Each run is a fresh process, so that peak memory belongs to one page:
//   ours   the bench starts itself with --page; that process times
//          DoGrayScale alone and reads its own peak resident set
//          (getrusage ru_maxrss) just before and just after the call; the
//          growth is the operation's peak memory. The whole process's peak
//          and time, start to exit, are printed too.
//   convert  the whole process, start to exit, peak from wait4's rusage.
//
//   fax_page_bench [runs]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "agent/imaging/fax_page.h"
#include "support/temp_dir.h"
#include "test_bitmap.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kScanWidth = 2480;
constexpr int kScanHeight = 3508;
constexpr int kDpi = 300;
constexpr double kBitmapBytes = 3.0 * kScanWidth * kScanHeight;

double MaxRssMb(const rusage& usage) {
    return usage.ru_maxrss / 1024.0;
}

// --page <scan> <processed folder>: one page, then "<ms> <peak before KB> <peak after KB>".
int RunPage(const char* scan, const char* processed) {
    std::u16string page;
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    auto start = Clock::now();
    HRESULT hr =
        vexlo::DoGrayScale(vexlo::test::Wide(scan), vexlo::test::Wide(processed), page, kDpi);
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    if (hr != S_OK || page.empty()) {
        std::fprintf(stderr, "fax_page_bench: DoGrayScale failed (0x%08X)\n",
                     static_cast<unsigned>(hr));
        return 1;
    }
    std::printf("%.3f %ld %ld\n", ms, before.ru_maxrss, after.ru_maxrss);
    return 0;
}

struct ProcessRun {
    bool ok = false;
    double wallMs = 0;
    double peakMb = 0;
    std::string output;
};

// Runs the program with stdout captured and stderr kept; waits for it.
ProcessRun Spawn(const std::vector<std::string>& args) {
    ProcessRun run;
    int out[2];
    if (pipe(out) != 0) {
        return run;
    }
    auto start = Clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        std::vector<char*> argv;
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    char buffer[256];
    ssize_t got;
    while ((got = read(out[0], buffer, sizeof buffer)) > 0) {
        run.output.append(buffer, static_cast<size_t>(got));
    }
    close(out[0]);
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) {
        return run;
    }
    run.wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    run.peakMb = MaxRssMb(usage);
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

bool RealImageMagick() {
    ProcessRun version = Spawn({"convert", "-version"});
    return version.ok && version.output.find("ImageMagick") != std::string::npos &&
           version.output.find("Version:") != std::string::npos;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double Largest(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--page") {
        return RunPage(argv[2], argv[3]);
    }
    int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    vexlo::test::TempDir temp;
    std::filesystem::path scan = temp.path() / "scan.bmp";
    std::filesystem::path processed = temp.path() / "Processed";
    std::filesystem::create_directory(processed);
    vexlo::test::WriteFileBytes(
        scan, vexlo::test::EncodeBmp(vexlo::test::DocumentBitmap(kScanWidth, kScanHeight, 7u)));
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();

    std::vector<double> opMs, opPeakMb, procMs, procPeakMb;
    for (int i = 0; i < runs; ++i) {
        ProcessRun run = Spawn({self, "--page", scan.string(), processed.string()});
        double ms = 0;
        long before = 0;
        long after = 0;
        if (!run.ok || std::sscanf(run.output.c_str(), "%lf %ld %ld", &ms, &before, &after) != 3) {
            std::fprintf(stderr, "fax_page_bench: page run %d failed\n", i);
            return 1;
        }
        opMs.push_back(ms);
        opPeakMb.push_back((after - before) / 1024.0);
        procMs.push_back(run.wallMs);
        procPeakMb.push_back(run.peakMb);
    }

    double bitmapMb = kBitmapBytes / (1024.0 * 1024.0);
    std::printf(
        "grey fax page of a %d dpi A4 scan, %d x %d 24-bit BMP (%.1f MB of pixels), %d runs\n",
        kDpi, kScanWidth, kScanHeight, bitmapMb, runs);
    std::printf("%-34s %12s %14s\n", "", "median ms", "peak MB (max)");
    std::printf("%-34s %12.1f %14.1f\n", "DoGrayScale, the call", Median(opMs), Largest(opPeakMb));
    std::printf("%-34s %12.1f %14.1f\n", "DoGrayScale, whole process", Median(procMs),
                Largest(procPeakMb));
    double peakRatio = Largest(opPeakMb) / bitmapMb;
    std::printf("peak of the call / input bitmap: %.2f  (goal: at most 2.5)\n", peakRatio);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    std::printf("note: a sanitizer build; its times and memory say nothing about the goals\n");
#endif

    if (!RealImageMagick()) {
        std::printf("ImageMagick comparison skipped: no real ImageMagick 'convert' installed\n");
        return 0;
    }
    std::vector<double> imMs, imPeakMb;
    std::string imPage = (temp.path() / "convert.png").string();
    for (int i = 0; i < runs; ++i) {
        ProcessRun run = Spawn({"convert",      scan.string(),
                                "-crop",        "2479x3506+0+0",
                                "+repage",      "-grayscale",
                                "Rec601Luma",   "-filter",
                                "Catrom",       "-resize",
                                "1678x2373!",   "-strip",
                                "-units",       "Undefined",
                                "-density",     "203",
                                "-define",      "png:compression-level=9",
                                "-define",      "png:compression-strategy=3",
                                "png:" + imPage});
        if (!run.ok) {
            std::fprintf(stderr, "fax_page_bench: convert run %d failed\n", i);
            return 1;
        }
        imMs.push_back(run.wallMs);
        imPeakMb.push_back(run.peakMb);
    }
    std::printf("%-34s %12.1f %14.1f\n", "ImageMagick convert, whole process", Median(imMs),
                Largest(imPeakMb));
    std::printf(
        "speed-up over ImageMagick: %.2fx whole process to whole process, %.2fx for the call"
        "  (goal: at least 3)\n",
        Median(imMs) / Median(procMs), Median(imMs) / Median(opMs));
    std::printf("peak memory, whole process: %.2fx ImageMagick's\n",
                Largest(procPeakMb) / Largest(imPeakMb));
    return 0;
}
