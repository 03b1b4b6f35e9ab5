// The crash reporter's install record, as the agent hands it to ordinal 7 of
// "CrashRpt1400.dll". Strings are UTF-16; the size field carries 100, the
// size by which the reporter knows this form of the record.
#pragma once

#include <windows.h>

struct CrashReportInstallInfo {
    DWORD size;
    LPCWSTR appName;
    LPCWSTR appVersion;
    LPCWSTR recipient;  // where reports would be mailed
    LPCWSTR subject;
    LPCWSTR uploadUrl;
    LPCWSTR senderPath;  // the program that would send reports
    void* callback;
    UINT priorities[3];  // transports: HTTP, mail, mail client
    DWORD flags;
};

// The reporter's exports, by ordinal.
inline constexpr WORD kCrashReportInstall = 7;
inline constexpr WORD kCrashReportUninstall = 9;
inline constexpr WORD kCrashReportInstallThread = 11;
inline constexpr WORD kCrashReportUninstallThread = 12;
