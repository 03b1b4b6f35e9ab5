// The one interface through which the agent core drives a scanner. Every
// operation runs on the GUI thread; GetState and GetJobId are also read by
// the scan worker, so implementations keep those two values atomic.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "agent/base/scan_job.h"

namespace vexlo {

inline constexpr int kScannerIdle = 0;
inline constexpr int kScannerBusy = 1;

class IScanner {
public:
    // Stores the job and posts a message to the scanner's own window; the scan
    // runs later on the GUI thread. No busy test here: the caller asks GetState.
    virtual HRESULT StartScan(ScanJob job) = 0;
    // Stores the requesting window and posts the selection to the own window.
    virtual HRESULT SelectScanner(HWND client) = 0;
    // kScannerBusy while a scan run or a selection is in progress, else kScannerIdle.
    virtual int GetState() = 0;
    // Records a stop for that job; a running scan of it hands on no more images.
    virtual void StopScan(int jobId) = 0;
    virtual int GetJobId() = 0;
    // Display name of the scanner this interface would use; empty when none.
    virtual std::u16string GetSelectedScanner() = 0;

protected:
    // The owner destroys each scanner as its concrete class.
    ~IScanner() = default;
};

// Owns a scanner through its interface and deletes it as its concrete class
// (scanner classes are final: nothing derives from them).
using ScannerPtr = std::unique_ptr<IScanner, void (*)(IScanner*)>;

template <class T, class... Args>
ScannerPtr MakeScanner(Args&&... args) {
    return ScannerPtr(new T(std::forward<Args>(args)...),
                      [](IScanner* scanner) { delete static_cast<T*>(scanner); });
}

inline ScannerPtr NoScanner() {
    return ScannerPtr(nullptr, [](IScanner*) {});
}

}  // namespace vexlo
