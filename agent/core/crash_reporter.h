// The agent's binding to the crash reporter library "CrashRpt1400.dll",
// loaded at run time and called by ordinal. No result of the reporter
// changes what the agent does: without the library the agent runs on
// without crash reports.
#pragma once

#include <windows.h>

#include "framework/raii.h"

namespace vexlo {

class CCrashReporter {
public:
    CCrashReporter();
    ~CCrashReporter();
    CCrashReporter(const CCrashReporter&) = delete;
    CCrashReporter& operator=(const CCrashReporter&) = delete;

    // Ordinal 7 with the install record; 0 means installed.
    int InstallForProcess();
    // Ordinal 9.
    void UninstallForProcess();
    // Ordinals 11 (flags 0) and 12, for the calling worker thread.
    static void InstallForThread();
    static void UninstallForThread();

private:
    fw::unique_hmodule library;
};

}  // namespace vexlo
