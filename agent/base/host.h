// The agent window's services, as the scanners, the tray, the workers and the
// web-service calls reach them.
#pragma once

#include <windows.h>

#include <deque>
#include <string>

#include "agent/base/scan_job.h"

namespace vexlo {

// The log's levels: a line is written when its level is not above the
// configured trace level.
enum LogLevel : int {
    kLogError = 1,
    kLogWarning = 2,
    kLogInfo = 3,
    kLogTrace = 4,
};

// No destructor: the window object is never destroyed through this interface.
class IHost {
public:
    // Posts WM_CLOSE to the main window, which then closes in order.
    virtual void Close() = 0;
    virtual void GetHwnd(HWND* out) = 0;
    // Starts the scanner of the current scan mode with the job.
    virtual void StartScan(ScanJob job) = 0;
    // scannerInterface 2 WIA, 3 TWAIN; other values do nothing.
    virtual void SelectScanner(HWND client, int scannerInterface) = 0;
    // One saved image of a job: queued for the scan worker.
    virtual void OnScanFinished(ScanJob job, std::u16string file, int dpi) = 0;
    // Sends an AgentAnswer synchronously; callable from any agent thread.
    virtual void SendStateToClient(HWND client, int state, int info, const char16_t* text) = 0;
    // A WIA failure: answered, or in scan mode 1 handed to TWAIN.
    virtual void OnScanError(ScanJob job, int code) = 0;
    virtual void SetPrintPages(const std::deque<std::u16string>& pages) = 0;
    virtual void ShowAbout() = 0;
    // Writes one log line when level is not above the trace level.
    virtual void Log(int level, const char16_t* format, ...) = 0;
    virtual bool IsCancelled(int jobId) = 0;
    virtual int GetScanMode() = 0;

protected:
    ~IHost() = default;
};

}  // namespace vexlo
