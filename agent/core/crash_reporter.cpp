#include "agent/core/crash_reporter.h"

#include <crashrpt.h>

namespace vexlo {
namespace {

using InstallProc = int(WINAPI*)(const CrashReportInstallInfo* info);
using UninstallProc = int(WINAPI*)();
using InstallThreadProc = int(WINAPI*)(DWORD flags);
using UninstallThreadProc = int(WINAPI*)();

// Where crash reports would be mailed; the stand-in keeps them on disk.
constexpr const char16_t* kReportRecipient = u"crash-reports@vexlo.example";

HMODULE LoadedReporter() {
    // The process-wide binding made by InstallForProcess; worker threads use it.
    return GetModuleHandleW(u"CrashRpt1400.dll");
}

template <typename Proc>
Proc Lookup(HMODULE library, WORD ordinal) {
    if (library == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<Proc>(GetProcAddress(library, MAKEINTRESOURCEA(ordinal)));
}

}  // namespace

CCrashReporter::CCrashReporter() : library(LoadLibraryW(u"CrashRpt1400.dll")) {}

CCrashReporter::~CCrashReporter() = default;

int CCrashReporter::InstallForProcess() {
    auto install = Lookup<InstallProc>(library.get(), kCrashReportInstall);
    if (install == nullptr) {
        return -1;
    }
    CrashReportInstallInfo info = {};
    info.size = 100;
    info.appName = u"Vexlo Agent";
    info.appVersion = u"0.0.81";
    info.recipient = kReportRecipient;
    info.subject = u"agent_vexlo.exe";
    info.priorities[2] = 1;
    return install(&info);
}

void CCrashReporter::UninstallForProcess() {
    if (auto uninstall = Lookup<UninstallProc>(library.get(), kCrashReportUninstall)) {
        uninstall();
    }
}

void CCrashReporter::InstallForThread() {
    if (auto install = Lookup<InstallThreadProc>(LoadedReporter(), kCrashReportInstallThread)) {
        install(0);
    }
}

void CCrashReporter::UninstallForThread() {
    if (auto uninstall =
            Lookup<UninstallThreadProc>(LoadedReporter(), kCrashReportUninstallThread)) {
        uninstall();
    }
}

}  // namespace vexlo
