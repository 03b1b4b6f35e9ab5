// The crash reporter stand-in, "CrashRpt1400.dll" for the programs that load
// it: installed for the process (ordinal 7) and for worker threads (ordinal
// 11), it turns a fatal signal into a readable report file (application,
// version, signal, thread, backtrace) in the report folder, then lets the
// signal end the process as it would have.
//
// The report folder is "<application data>/VexloDesktop/CrashReports", or
// $W32_CRASH_REPORT_DIR when set. For tests, $W32_CRASH_REPORT_TRACE names a
// file to which each install and uninstall appends a line with its thread.
#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "crashrpt.h"

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// Everything the handler needs is prepared at install time: the handler
// itself only formats numbers and calls write(2).
char reportFolder[1024];
char header[512];
std::atomic<bool> installed{false};
struct sigaction previous[32];
// The library is loaded at run time: its per-thread state is in the static
// TLS block (initial-exec), which the signal handler may read without the
// allocation that a dynamic TLS block's first use on a thread can need.
__attribute__((tls_model("initial-exec"))) thread_local bool threadInstalled = false;
__attribute__((tls_model("initial-exec"))) thread_local void* threadAltStack = nullptr;

// "<what> <thread id>" to the trace file, when tests ask for one.
void Trace(const char* what) {
    const char* path = getenv("W32_CRASH_REPORT_TRACE");
    if (path == nullptr || *path == 0) {
        return;
    }
    std::string line = std::string(what) + " " + std::to_string(syscall(SYS_gettid)) + "\n";
    int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ssize_t ignored = write(fd, line.data(), line.size());
        (void)ignored;
        close(fd);
    }
}

std::string Narrow(LPCWSTR text) {
    std::string out;
    if (text == nullptr) {
        return out;
    }
    int needed = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (needed > 1) {
        out.resize(static_cast<size_t>(needed));
        WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), needed, nullptr, nullptr);
        out.resize(static_cast<size_t>(needed) - 1);
    }
    return out;
}

std::string DefaultReportFolder() {
    const char* configured = getenv("W32_CRASH_REPORT_DIR");
    if (configured != nullptr && configured[0] == '/') {
        return configured;
    }
    WCHAR appData[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData))) {
        return "/tmp/vexlo-crash-reports";
    }
    return Narrow(appData) + "/VexloDesktop/CrashReports";
}

void MakeFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        mkdir(path.substr(0, slash).c_str(), 0700);
    }
    mkdir(path.c_str(), 0700);
}

// Async-signal-safe output helpers.
void Put(int fd, const char* text) {
    size_t length = strlen(text);
    while (length > 0) {
        ssize_t written = write(fd, text, length);
        if (written <= 0) {
            return;
        }
        text += written;
        length -= static_cast<size_t>(written);
    }
}

void PutNumber(int fd, long long value) {
    char digits[24];
    int at = sizeof(digits) - 1;
    digits[at] = 0;
    bool negative = value < 0;
    unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(value)
                                            : static_cast<unsigned long long>(value);
    do {
        digits[--at] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0 && at > 1);
    if (negative) {
        digits[--at] = '-';
    }
    Put(fd, digits + at);
}

const char* SignalName(int signal) {
    switch (signal) {
        case SIGSEGV:
            return "SIGSEGV";
        case SIGBUS:
            return "SIGBUS";
        case SIGFPE:
            return "SIGFPE";
        case SIGILL:
            return "SIGILL";
        case SIGABRT:
            return "SIGABRT";
        default:
            return "signal";
    }
}

void WriteReport(int signal) {
    char path[1200];
    size_t used = 0;
    auto append = [&](const char* text) {
        size_t length = strlen(text);
        if (used + length < sizeof(path)) {
            memcpy(path + used, text, length);
            used += length;
        }
    };
    char number[24];
    auto appendNumber = [&](long long value) {
        int at = sizeof(number) - 1;
        number[at] = 0;
        do {
            number[--at] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value > 0 && at > 0);
        append(number + at);
    };
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    const long thread = syscall(SYS_gettid);
    append(reportFolder);
    append("/crash-");
    appendNumber(now.tv_sec);
    append("-");
    appendNumber(getpid());
    append("-");
    appendNumber(thread);
    append(".txt");
    path[used] = 0;

    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return;
    }
    Put(fd, header);
    Put(fd, "signal: ");
    PutNumber(fd, signal);
    Put(fd, " (");
    Put(fd, SignalName(signal));
    Put(fd, ")\nprocess: ");
    PutNumber(fd, getpid());
    Put(fd, "\nthread: ");
    PutNumber(fd, thread);
    Put(fd, threadInstalled ? " (worker handlers installed)" : "");
    Put(fd, "\ntime: ");
    PutNumber(fd, now.tv_sec);
    Put(fd, "\nbacktrace:\n");
    void* frames[64];
    int count = backtrace(frames, 64);
    backtrace_symbols_fd(frames, count, fd);
    close(fd);
}

void OnFatalSignal(int signal, siginfo_t*, void*) {
    static std::atomic<bool> reporting{false};
    if (!reporting.exchange(true)) {
        WriteReport(signal);
    }
    // Let the signal do what it would have done without the reporter.
    sigaction(signal, &previous[signal], nullptr);
    raise(signal);
}

void InstallAltStack() {
    if (threadAltStack != nullptr) {
        return;
    }
    stack_t stack = {};
    stack.ss_size = 64 * 1024;
    threadAltStack = malloc(stack.ss_size);
    stack.ss_sp = threadAltStack;
    if (threadAltStack == nullptr || sigaltstack(&stack, nullptr) != 0) {
        free(threadAltStack);
        threadAltStack = nullptr;
    }
}

void RemoveAltStack() {
    if (threadAltStack == nullptr) {
        return;
    }
    stack_t stack = {};
    stack.ss_flags = SS_DISABLE;
    sigaltstack(&stack, nullptr);
    free(threadAltStack);
    threadAltStack = nullptr;
}

}  // namespace

// Ordinal 7: install for the process. 0 on success.
extern "C" __attribute__((visibility("default"))) int WINAPI
CrashReportInstall(const CrashReportInstallInfo* info) {
    if (info == nullptr || info->size != 100) {
        return 1;
    }
    if (installed.exchange(true)) {
        return 0;
    }
    std::string folder = DefaultReportFolder();
    MakeFolders(folder);
    snprintf(reportFolder, sizeof(reportFolder), "%s", folder.c_str());
    snprintf(header, sizeof(header), "Crash report of %s %s\nsubject: %s\n",
             Narrow(info->appName).c_str(), Narrow(info->appVersion).c_str(),
             Narrow(info->subject).c_str());
    // backtrace() loads its unwinder on first use: do that now, not in a handler.
    void* warmUp[1];
    backtrace(warmUp, 1);
    InstallAltStack();
    for (int signal : kSignals) {
        struct sigaction action = {};
        action.sa_sigaction = OnFatalSignal;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, &previous[signal]);
    }
    return 0;
}

// Ordinal 9: uninstall for the process.
extern "C" __attribute__((visibility("default"))) int WINAPI CrashReportUninstall() {
    if (!installed.exchange(false)) {
        return 1;
    }
    for (int signal : kSignals) {
        sigaction(signal, &previous[signal], nullptr);
    }
    RemoveAltStack();
    return 0;
}

// Ordinal 11: install for the calling thread: a signal stack of its own, so
// that even a stack overflow of the thread is reported.
extern "C" __attribute__((visibility("default"))) int WINAPI CrashReportInstallThread(DWORD) {
    if (!installed) {
        return 1;
    }
    InstallAltStack();
    threadInstalled = true;
    Trace("install-thread");
    return 0;
}

// Ordinal 12: remove from the calling thread.
extern "C" __attribute__((visibility("default"))) int WINAPI CrashReportUninstallThread() {
    threadInstalled = false;
    RemoveAltStack();
    Trace("uninstall-thread");
    return 0;
}

W32_EXPORT_ORDINAL(7, CrashReportInstall)
W32_EXPORT_ORDINAL(9, CrashReportUninstall)
W32_EXPORT_ORDINAL(11, CrashReportInstallThread)
W32_EXPORT_ORDINAL(12, CrashReportUninstallThread)
