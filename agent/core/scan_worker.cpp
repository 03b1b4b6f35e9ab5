// The scan worker: it takes the saved images one at a time in arrival order,
// makes each a fax page, uploads the page and tells the requesting window how
// far the item has come (3, then -5, or 4, the upload's 4s, 5 or -4, and 6
// once the job has nothing left).
#include <windows.h>

#include <algorithm>
#include <optional>

#include "agent/core/app_window.h"
#include "agent/core/crash_reporter.h"
#include "agent/base/data_folders.h"
#include "agent/imaging/fax_page.h"
#include "agent/service/page_upload.h"

namespace vexlo {

namespace {

// How long the worker sleeps when there is nothing to do. The stop event cuts
// the sleep short at shutdown.
constexpr DWORD kIdlePoll = 1000;

void DeleteFileIfAny(const std::u16string& path) {
    if (!path.empty()) {
        DeleteFileW(path.c_str());
    }
}

// Page making for the item's scan type; E_FAIL for a type that has none.
HRESULT MakeFaxPage(IHost& host, const ScannedItem& item, std::u16string& pageFile) {
    switch (item.scanType) {
        case kScanTypeGrey:
            host.Log(kLogTrace, u"Do gray scale %s", item.file.c_str());
            return DoGrayScale(item.file, GetProcessedFolder(), pageFile, item.dpi);
        case kScanTypeColour:
            host.Log(kLogTrace, u"Convert to jpeg %s", item.file.c_str());
            return ConvertToJpeg(item.file, GetProcessedFolder(), pageFile);
        default:
            return E_FAIL;
    }
}

}  // namespace

DWORD WINAPI CAppWindow::ScanWorkerThreadProc(LPVOID window) {
    static_cast<CAppWindow*>(window)->ScanProcessingWorker();
    return 0;
}

void CAppWindow::ScanProcessingWorker() {
    CCrashReporter::InstallForThread();
    while (!stopRequested) {
        std::optional<ScannedItem> item = TakeNextItem();
        if (!item) {
            WaitForSingleObject(stopEvent.get(), kIdlePoll);
            continue;
        }
        ProcessScannedItem(*item);
    }
    CCrashReporter::UninstallForThread();
}

std::optional<ScannedItem> CAppWindow::TakeNextItem() {
    std::lock_guard<std::mutex> guard(itemsLock);
    if (scannedItems.empty() || PurgeCancelledItemsLocked() == 0) {
        return std::nullopt;
    }
    ScannedItem item = std::move(scannedItems.front());
    scannedItems.pop_front();
    return item;
}

void CAppWindow::ProcessScannedItem(const ScannedItem& item) {
    Log(kLogTrace, u"Started processing %s", item.file.c_str());
    SendStateToClient(item.client, kStateProcessing, 0, nullptr);

    std::u16string pageFile;
    HRESULT result = MakeFaxPage(*this, item, pageFile);
    DeleteFileIfAny(item.file);
    if (FAILED(result)) {
        Log(kLogError, u"Processing hasn't finished, unexpected error");
        SendStateToClient(item.client, kStateFailed, 0, nullptr);
        return;
    }

    Log(kLogTrace, u"Processing has finished %s", pageFile.c_str());
    if (stopRequested) {
        // The agent closes: no upload begins now.
        Log(kLogError, u"Item hasn't sent %s", pageFile.c_str());
        DeleteFileIfAny(pageFile);
        return;
    }
    UploadItem upload;
    upload.file = pageFile;
    upload.apiKey = item.apiKey;
    upload.messageId = item.messageId;
    upload.client = item.client;
    upload.jobId = item.jobId;
    SendStateToClient(item.client, kStateUploading, 0, nullptr);
    Log(kLogTrace, u"Send item %s", pageFile.c_str());
    result = UploadScannedItem(upload, this);
    if (FAILED(result)) {
        Log(kLogError, u"Item hasn't sent %s", pageFile.c_str());
    } else {
        Log(kLogTrace, u"Item has sent %s", pageFile.c_str());
    }
    DeleteFileIfAny(pageFile);

    if (result != E_ABORT && IsJobFinished(item.jobId)) {
        SendStateToClient(item.client, kStateJobDone, 0, nullptr);
    }
}

int CAppWindow::PurgeCancelledItems() {
    std::lock_guard<std::mutex> guard(itemsLock);
    return PurgeCancelledItemsLocked();
}

int CAppWindow::PurgeCancelledItemsLocked() {
    // The dropped items' bitmaps stay in the Scanned folder.
    while (!cancelledJobIds.empty()) {
        int jobId = cancelledJobIds.front();
        auto item =
            std::find_if(scannedItems.begin(), scannedItems.end(),
                         [jobId](const ScannedItem& queued) { return queued.jobId == jobId; });
        if (item != scannedItems.end()) {
            scannedItems.erase(item);
        } else {
            cancelledJobIds.pop_front();
        }
    }
    return static_cast<int>(scannedItems.size());
}

bool CAppWindow::IsJobFinished(int jobId) {
    for (IScanner* scanner : {twainManager.get(), wiaScanner.get()}) {
        if (scanner != nullptr && scanner->GetJobId() == jobId &&
            scanner->GetState() == kScannerBusy) {
            return false;
        }
    }
    std::lock_guard<std::mutex> guard(itemsLock);
    return std::none_of(scannedItems.begin(), scannedItems.end(),
                        [jobId](const ScannedItem& queued) { return queued.jobId == jobId; });
}

void CAppWindow::DeletePendingFiles() {
    {
        std::lock_guard<std::mutex> guard(itemsLock);
        while (!scannedItems.empty()) {
            DeleteFileIfAny(scannedItems.front().file);
            scannedItems.pop_front();
        }
        while (!uploadItems.empty()) {
            DeleteFileIfAny(uploadItems.front().file);
            uploadItems.pop_front();
        }
    }
    // The print pages are the print worker's, which has ended by now.
    while (!printPages.empty()) {
        DeleteFileIfAny(printPages.front());
        printPages.pop_front();
    }
}

}  // namespace vexlo
