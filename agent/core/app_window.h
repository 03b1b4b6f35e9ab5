// The agent's hidden main window: it receives the plug-ins' requests, owns
// the scanners, the work queues and the log, and serves the agent's parts
// through IHost.
#pragma once

#include <windows.h>

#include <atomic>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "agent/base/host.h"
#include "agent/base/logger.h"
#include "agent/base/messages.h"
#include "agent/base/settings.h"
#include "agent/base/work_items.h"
#include "agent/core/dialog_about.h"
#include "agent/core/tray_menu.h"
#include "agent/scanning/scanner.h"
#include "framework/message_loop.h"
#include "framework/raii.h"
#include "framework/window_impl.h"
#include "protocol/records.h"

namespace vexlo {

// How the window gets its scanners: the program makes the real TWAIN manager
// and WIA scanner, tests give it doubles.
struct ScannerFactory {
    std::function<ScannerPtr(IHost& host, const std::u16string& scannedFolder)> makeTwain;
    std::function<ScannerPtr(IHost& host, const std::u16string& scannedFolder)> makeWia;
    // Shows the TWAIN manager every message of the GUI thread before dispatch.
    std::function<void(IScanner& twain, MSG* msg)> twainProcessEvent;
};

// The scanners the agent program runs with.
ScannerFactory DefaultScannerFactory();

// Whether the window starts its scan worker at creation. Tests that look at
// the queue itself hold it back.
enum class ScanWorkerStart { kRun, kHeld };
// The same for the print worker, which takes the pending print request.
enum class PrintWorkerStart { kRun, kHeld };

class CAppWindow : public fw::CFrameWindowImpl<CAppWindow, fw::CWindow, fw::CFrameWinTraits>,
                   public IHost,
                   public fw::CMessageFilter {
public:
    DECLARE_FRAME_WND_CLASS(kAgentWindowClass, 100)

    CAppWindow(fw::CAppModule& module, ScannerFactory scanners,
               ScanWorkerStart scanWorkerStart = ScanWorkerStart::kRun,
               PrintWorkerStart printWorkerStart = PrintWorkerStart::kRun);
    ~CAppWindow() override;

    BEGIN_MSG_MAP(CAppWindow)
    MESSAGE_HANDLER(WM_CREATE, OnCreate)
    MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
    MESSAGE_HANDLER(WM_COPYDATA, OnCopyDataMessage)
    MESSAGE_HANDLER(WM_VEXLO_DESKTOP_MESSAGE, OnDesktopMessage)
    MESSAGE_HANDLER(WM_TIMER, OnTimer)
    END_MSG_MAP()

    // Gives the TWAIN manager each message first; never swallows one.
    BOOL PreTranslateMessage(MSG* pMsg) override;

    // IHost
    void Close() override;
    void GetHwnd(HWND* out) override;
    void StartScan(ScanJob job) override;
    void SelectScanner(HWND client, int scannerInterface) override;
    void OnScanFinished(ScanJob job, std::u16string file, int dpi) override;
    void SendStateToClient(HWND client, int state, int info, const char16_t* text) override;
    void OnScanError(ScanJob job, int code) override;
    void SetPrintPages(const std::deque<std::u16string>& pages) override;
    void ShowAbout() override;
    void Log(int level, const char16_t* format, ...) override;
    bool IsCancelled(int jobId) override;
    int GetScanMode() override;

    // The request dispatcher; returns 0 in every case.
    LRESULT OnCopyData(HWND sender, const COPYDATASTRUCT* data);
    void SendSelectedScanner(HWND client, int scannerInterface);

    // What the workers and tests look at, each under its own lock.
    std::deque<ScannedItem> QueuedItems();
    std::list<int> CancelledJobIds();
    bool TakePendingPrint(HWND* client, PluginRequest* request);

    // Drops the queued items of cancelled jobs and empties the cancelled
    // list; the number of items left.
    int PurgeCancelledItems();
    // No scanner is still busy with the job and no item of it is queued.
    bool IsJobFinished(int jobId);

private:
    LRESULT OnCreate(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnDestroy(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnCopyDataMessage(UINT, WPARAM wParam, LPARAM lParam, BOOL&);
    LRESULT OnDesktopMessage(UINT, WPARAM wParam, LPARAM lParam, BOOL&);
    LRESULT OnTimer(UINT, WPARAM wParam, LPARAM, BOOL& handled);

    bool IsBusyForScan();
    // The answers of a request that arrives while the window closes.
    void AnswerWhileClosing(HWND sender, const PluginRequest& request);

    // The scan worker (scan_worker.cpp).
    static DWORD WINAPI ScanWorkerThreadProc(LPVOID window);
    void ScanProcessingWorker();
    std::optional<ScannedItem> TakeNextItem();
    void ProcessScannedItem(const ScannedItem& item);
    int PurgeCancelledItemsLocked();
    // The files of work that will not be done: queued images, uploads, print pages.
    void DeletePendingFiles();
    void AllowMessagesThroughFilter();
    // Deletes the scanner now, or with the window object while one of its
    // modal loops is on this thread's stack.
    void RetireScanner(ScannerPtr& scanner);

    // The print worker (print_worker.cpp).
    static DWORD WINAPI PrintWorkerThreadProc(LPVOID window);
    void PrintWorker();
    void RunPrint(HWND client, const PluginRequest& request);
    // Topmost around the whole print, then the bitmaps are deleted.
    HRESULT PrintDocuments(std::deque<std::u16string> bitmaps);
    // Posts Cancel to the print dialog of the print worker's thread, if one
    // is open.
    void CancelPrintDialog();
    // Ends the print worker while this thread keeps answering messages sent
    // to its windows (the print dialog's end re-enables this window by a
    // send), cutting a render or cancelling a dialog that began meanwhile.
    void JoinPrintWorker();
    // The tray's close step: its window goes and its icon is removed now; the
    // object itself waits when a loop it started is still on the stack.
    void CloseTray();

    fw::CAppModule& module;
    ScannerFactory scannerFactory;

    HICON trayIconImage = nullptr;  // destroyed with the window object
    std::unique_ptr<CTrayMenu> tray;
    CDialogAbout* aboutDialog = nullptr;  // set only while the dialog is open
    // A tray whose menu or about dialog was still on this thread's stack
    // when the window closed: deleted with the window object, after the loop
    // has unwound.
    std::vector<std::unique_ptr<CTrayMenu>> retiredTrays;
    ScanWorkerStart scanWorkerStart;
    PrintWorkerStart printWorkerStart;

    ScannerPtr twainManager = NoScanner();
    ScannerPtr wiaScanner = NoScanner();
    // Scanners whose run was still on the stack when the window closed.
    std::vector<ScannerPtr> retiredScanners;

    // scannedItems and cancelledJobIds: written on the GUI thread, read and
    // emptied by the scan worker.
    std::mutex itemsLock;
    std::deque<ScannedItem> scannedItems;
    std::deque<UploadItem> uploadItems;  // never filled; drained at exit
    std::list<int> cancelledJobIds;

    // pendingPrint: written on the GUI thread, taken by the print worker.
    std::mutex printLock;
    HWND pendingPrintClient = nullptr;
    PluginRequest pendingPrintRequest = CreateEmptyRequest();
    bool pendingPrintFlag = false;

    // The print worker's during a run (filled by SetPrintPages on its
    // thread); shutdown's once it has ended.
    std::deque<std::u16string> printPages;

    fw::CWorkerThread scanWorker;
    fw::CWorkerThread printWorker;
    // Raised in destruction; the event wakes a worker waiting between polls.
    std::atomic<bool> stopRequested{false};
    fw::unique_handle stopEvent;  // wakes both workers at the close

    CLogger logger;
    CSettings* settings = nullptr;
    int closingScanMode = 0;  // the scan mode when the close began
    FILETIME started = {};    // page files written before it are stale
    bool filterAdded = false;
};

}  // namespace vexlo
