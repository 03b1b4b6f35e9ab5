#include "agent/core/app_window.h"

#include <cstdarg>
#include <string_view>

#include "agent/base/data_folders.h"
#include "agent/core/stale_files.h"
#include "agent/imaging/print_pages.h"
#include "agent/service/render_flight.h"
#include "agent/core/resource_ids.h"
#include "agent/service/upload_flight.h"
#include "framework/modal_loop.h"

namespace vexlo {
namespace {

constexpr UINT kMessageFilterAdd = 1;  // MSGFLT_ADD
using ChangeWindowMessageFilterProc = BOOL(WINAPI*)(UINT message, DWORD flag);

// Until no older agent is left, the window looks every so often; then it
// deletes the page files older agents left behind.
constexpr UINT_PTR kStaleFilesTimer = 1;
constexpr UINT kStaleFilesPollMs = 200;

// How long a page is given to take an answer; once the agent closes, only a
// moment, so that a page that does not answer cannot hold the close.
constexpr UINT kAnswerTimeoutMs = 1000;
constexpr UINT kClosingAnswerTimeoutMs = 100;

bool IsAgentWindow(HWND window) {
    char16_t className[64] = {};
    GetClassNameW(window, className, 64);
    return std::u16string_view(className) == kAgentWindowClass;
}

void DeleteFileIfAny(const std::u16string& path) {
    if (!path.empty()) {
        DeleteFileW(path.c_str());
    }
}

}  // namespace

CAppWindow::CAppWindow(fw::CAppModule& appModule, ScannerFactory scanners,
                       ScanWorkerStart workerStart, PrintWorkerStart printStart)
    : module(appModule),
      scannerFactory(std::move(scanners)),
      scanWorkerStart(workerStart),
      printWorkerStart(printStart) {
    LinkAgentResources();
    stopEvent.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    // The GUI thread joins the workers at the close; the workers send to the
    // pages, and the pages (and the agent's own windows) send back.
    scanWorker.SetWait(fw::WaitHandlingSentMessages);
    printWorker.SetWait(fw::WaitHandlingSentMessages);
    logger.Open(GetDefaultLogPath());
}

CAppWindow::~CAppWindow() {
    retiredScanners.clear();
    retiredTrays.clear();
    if (filterAdded) {
        if (fw::CMessageLoop* loop = module.GetMessageLoop()) {
            loop->RemoveMessageFilter(this);
        }
    }
    {
        std::lock_guard<std::mutex> guard(itemsLock);
        cancelledJobIds.clear();
    }
    logger.Close();
    printPages.clear();
    if (trayIconImage != nullptr) {
        DestroyIcon(trayIconImage);
    }
}

LRESULT CAppWindow::OnCreate(UINT, WPARAM, LPARAM, BOOL&) {
    GetSystemTimeAsFileTime(&started);
    tray = std::make_unique<CTrayMenu>(m_hWnd, this);
    trayIconImage = static_cast<HICON>(LoadImageW(fw::ThisModule(), MAKEINTRESOURCEW(kTrayIconId),
                                                  IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                  GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    tray->SetIcon(trayIconImage);
    AllowMessagesThroughFilter();
    settings = GetSettings();
    if (scannerFactory.makeTwain) {
        twainManager = scannerFactory.makeTwain(*this, GetScannedFolder());
    }
    if (scannerFactory.makeWia) {
        wiaScanner = scannerFactory.makeWia(*this, GetScannedFolder());
    }
    // A worker that cannot be started leaves a null handle.
    AllowRenderCalls();  // a window made after an earlier one closed in this process
    if (scanWorkerStart == ScanWorkerStart::kRun) {
        scanWorker.Start(ScanWorkerThreadProc, this);
    }
    if (printWorkerStart == PrintWorkerStart::kRun) {
        printWorker.Start(PrintWorkerThreadProc, this);
    }

    // The start broadcast: an older agent that hears it closes.
    PostMessageW(HWND_BROADCAST, WM_VEXLO_DESKTOP_MESSAGE, kStartBroadcastWParam,
                 static_cast<LPARAM>(GetCurrentProcessId()));
    ::SetTimer(m_hWnd, kStaleFilesTimer, kStaleFilesPollMs, nullptr);

    std::u16string logFile = settings->GetLogFile();
    if (!logFile.empty()) {
        if (logger.HasHandle()) {
            logger.Close();
            DeleteFileW(GetDefaultLogPath().c_str());
        }
        logger.Open(logFile);
    }

    if (fw::CMessageLoop* loop = module.GetMessageLoop()) {
        loop->AddMessageFilter(this);
        filterAdded = true;
    }
    return 0;
}

void CAppWindow::AllowMessagesThroughFilter() {
    fw::unique_hmodule user32(LoadLibraryW(u"USER32.dll"));
    if (!user32) {
        return;
    }
    auto change = reinterpret_cast<ChangeWindowMessageFilterProc>(
        GetProcAddress(user32.get(), "ChangeWindowMessageFilter"));
    if (change != nullptr) {
        change(WM_VEXLO_DESKTOP_MESSAGE, kMessageFilterAdd);
        change(WM_COPYDATA, kMessageFilterAdd);
    }
}

// The close, in order: the stop flag and event; the "Close desktop..." log
// line; the tray's step; the cuts: the render's connection and Cancel to an
// open print dialog, which stay in force for a call or a dialog that has not
// started yet, and the upload's connection once the scan worker has had
// 1000 ms; joining the scan worker, then the print worker, while this thread
// answers the messages sent to it (a request that comes meanwhile gets the
// closing agent's answers); retiring the WIA scanner; deleting the files of
// work that will not be done; saving and freeing the settings; retiring the
// TWAIN manager; PostQuitMessage.
LRESULT CAppWindow::OnDestroy(UINT, WPARAM, LPARAM, BOOL&) {
    // Requests that come while the workers are joined are answered from this.
    closingScanMode = settings != nullptr ? settings->scanMode : 0;
    stopRequested = true;
    SetEvent(stopEvent.get());
    Log(kLogTrace, u"Close desktop...");
    CloseTray();

    CutRenderCalls();
    CancelPrintDialog();
    // The workers end before the WIA scanner goes: the scan worker asks the
    // scanners whether a job has ended. The scan worker gets 1000 ms to end
    // the page it is at (a closing agent ends an upload at its next read),
    // then its upload's connection is cut.
    scanWorker.Stop(1000, CutUploadInFlight);
    JoinPrintWorker();
    RetireScanner(wiaScanner);

    DeletePendingFiles();

    SaveSettings(GetSettingsFilePath());
    FreeSettings();
    settings = nullptr;
    RetireScanner(twainManager);
    PostQuitMessage(16);
    return 0;
}

void CAppWindow::RetireScanner(ScannerPtr& scanner) {
    // A scanner with a modal loop on this thread's stack (a dialog, a
    // transfer that lets messages through) dispatched the close that got us
    // here. It goes with the window object, after the loop, once that call
    // has unwound; the others go now, busy or not.
    if (scanner && fw::ModalLoopsOnStack(scanner.get()) != 0) {
        retiredScanners.push_back(std::move(scanner));
    }
    scanner.reset();
}

void CAppWindow::CloseTray() {
    if (!tray) {
        return;
    }
    if (tray->m_hWnd != nullptr && ::IsWindow(tray->m_hWnd)) {
        ::DestroyWindow(tray->m_hWnd);
    }
    // A newer agent's broadcast or the Exit command can arrive inside the
    // tray's own menu or about dialog: that handler is still on the stack and
    // returns into the tray object after this close.
    if (fw::ModalLoopsOnStack(tray.get()) > 0) {
        tray->SetIcon(nullptr);
        retiredTrays.push_back(std::move(tray));
    }
    tray.reset();
}

BOOL CAppWindow::PreTranslateMessage(MSG* pMsg) {
    if (twainManager && scannerFactory.twainProcessEvent) {
        scannerFactory.twainProcessEvent(*twainManager, pMsg);
    }
    return FALSE;
}

LRESULT CAppWindow::OnTimer(UINT, WPARAM wParam, LPARAM, BOOL& handled) {
    if (wParam != kStaleFilesTimer) {
        handled = FALSE;
        return 0;
    }
    // Pages of an agent that ended without its close (killed mid-upload, say)
    // would stay for ever. Once the older agents have closed, whatever of
    // theirs is left in Processed and Print is theirs; Scanned keeps its files.
    if (!stopRequested && !AnotherAgentWindowExists(m_hWnd)) {
        ::KillTimer(m_hWnd, kStaleFilesTimer);
        DeleteFilesWrittenBefore(GetProcessedFolder(), started);
        DeleteFilesWrittenBefore(GetPrintFolder(), started);
    }
    return 0;
}

LRESULT CAppWindow::OnCopyDataMessage(UINT, WPARAM wParam, LPARAM lParam, BOOL&) {
    return OnCopyData(reinterpret_cast<HWND>(wParam),
                      reinterpret_cast<const COPYDATASTRUCT*>(lParam));
}

LRESULT CAppWindow::OnDesktopMessage(UINT, WPARAM wParam, LPARAM lParam, BOOL&) {
    if (wParam == kStartBroadcastWParam) {
        if (static_cast<DWORD>(lParam) != GetCurrentProcessId()) {
            PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
        }
        return 0;
    }
    // The answer names this window. Sent to itself or to another agent, it
    // would come back as a question without end. A closing agent is no
    // longer there to be found.
    HWND asker = reinterpret_cast<HWND>(wParam);
    if (stopRequested || asker == m_hWnd || !::IsWindow(asker) || IsAgentWindow(asker)) {
        return 0;
    }
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(asker, WM_VEXLO_DESKTOP_MESSAGE, reinterpret_cast<WPARAM>(m_hWnd), 0,
                        SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &ignored);
    return 0;
}

LRESULT CAppWindow::OnCopyData(HWND sender, const COPYDATASTRUCT* data) {
    Log(kLogTrace, u"Got WM_COPYDATA from plugin");
    PluginRequest request;
    if (data == nullptr || !DecodeRequest(data->lpData, data->cbData, &request)) {
        return 0;
    }
    if (stopRequested) {
        AnswerWhileClosing(sender, request);
        return 0;
    }
    switch (request.code) {
        case kRequestScan:
            Log(kLogTrace, u"Got request for scan");
            if (IsBusyForScan()) {
                Log(kLogInfo, u"Missing request for scan, we're busy.");
                SendStateToClient(sender, kStateBusy, 0, nullptr);
            } else {
                ScanJob job;
                job.apiKey = ReadField(request.apiKey);
                job.messageId = request.messageId;
                job.scanType = request.param;
                job.jobId = request.jobId;
                job.client = sender;
                StartScan(job);
            }
            break;
        case kRequestSelectScanner:
            Log(kLogTrace, u"Got request for select scanner");
            SelectScanner(sender, request.param);
            break;
        case kRequestPrint: {
            Log(kLogTrace, u"Got request for print");
            std::lock_guard<std::mutex> guard(printLock);
            pendingPrintClient = sender;
            pendingPrintRequest = request;
            pendingPrintFlag = true;
            break;
        }
        case kRequestSetScanMode:
            Log(kLogTrace, u"Got request for select scan mode");
            settings->scanMode = request.param;
            if (request.param == kScanModeTwain) {
                settings->wiaScanner = u"";
            }
            break;
        case kRequestStopScan:
            if (twainManager) {
                twainManager->StopScan(request.jobId);
            }
            if (wiaScanner) {
                wiaScanner->StopScan(request.jobId);
            }
            {
                std::lock_guard<std::mutex> guard(itemsLock);
                cancelledJobIds.push_back(request.jobId);
            }
            break;
        case kRequestGetScanMode:
            SendStateToClient(sender, kReplyScanMode, settings->scanMode, nullptr);
            break;
        case kRequestGetSelectedScanner:
            SendSelectedScanner(sender, request.param);
            break;
        default:
            Log(kLogWarning, u"underfined request for");
            break;
    }
    return 0;
}

void CAppWindow::AnswerWhileClosing(HWND sender, const PluginRequest& request) {
    // The scanners and the settings are going or gone: a scan is refused as
    // busy, the queries are answered from what the close kept, the rest has
    // no effect any more.
    switch (request.code) {
        case kRequestScan:
            SendStateToClient(sender, kStateBusy, 0, nullptr);
            break;
        case kRequestGetScanMode:
            SendStateToClient(sender, kReplyScanMode, closingScanMode, nullptr);
            break;
        case kRequestGetSelectedScanner:
            SendStateToClient(sender, kReplyGetSelectedScanner, 0, u"");
            break;
        default:
            break;
    }
}

bool CAppWindow::IsBusyForScan() {
    bool twainBusy = twainManager && twainManager->GetState() == kScannerBusy;
    bool wiaBusy = wiaScanner && wiaScanner->GetState() == kScannerBusy;
    switch (settings->scanMode) {
        case kScanModeTwain:
            return twainBusy;
        case kScanModeWia:
            return wiaBusy;
        default:
            return twainBusy || wiaBusy;
    }
}

void CAppWindow::SendSelectedScanner(HWND client, int scannerInterface) {
    std::u16string name;
    if (scannerInterface == kInterfaceWia && wiaScanner) {
        name = wiaScanner->GetSelectedScanner();
    } else if (scannerInterface == kInterfaceTwain && twainManager) {
        name = twainManager->GetSelectedScanner();
    }
    SendStateToClient(client, kReplyGetSelectedScanner, 0, name.c_str());
}

void CAppWindow::Close() {
    PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
}

void CAppWindow::GetHwnd(HWND* out) {
    if (out != nullptr) {
        *out = m_hWnd;
    }
}

void CAppWindow::StartScan(ScanJob job) {
    if (settings == nullptr) {
        return;  // closing
    }
    IScanner* scanner =
        settings->scanMode == kScanModeTwain ? twainManager.get() : wiaScanner.get();
    // A scanner refuses a job while it is busy with another: -3, as the
    // busy test answers.
    if (scanner != nullptr && FAILED(scanner->StartScan(job))) {
        SendStateToClient(job.client, kStateBusy, 0, nullptr);
    }
}

void CAppWindow::SelectScanner(HWND client, int scannerInterface) {
    if (scannerInterface == kInterfaceTwain && twainManager) {
        twainManager->SelectScanner(client);
    } else if (scannerInterface == kInterfaceWia && wiaScanner) {
        wiaScanner->SelectScanner(client);
    }
}

void CAppWindow::OnScanFinished(ScanJob job, std::u16string file, int dpi) {
    Log(kLogTrace, u"Scan has finished");
    if (stopRequested) {
        // A run that ends after the window has gone: nobody will make a page
        // of the image.
        DeleteFileIfAny(file);
        return;
    }
    ScannedItem item;
    item.client = job.client;
    item.file = std::move(file);
    item.apiKey = job.apiKey;
    item.messageId = job.messageId;
    item.scanType = job.scanType;
    item.dpi = dpi;
    item.jobId = job.jobId;
    std::lock_guard<std::mutex> guard(itemsLock);
    scannedItems.push_back(std::move(item));
}

void CAppWindow::SendStateToClient(HWND client, int state, int info, const char16_t* text) {
    Log(kLogInfo, u"SendStateToClient to  0x%08X state = %i, info = %i",
        static_cast<unsigned>(reinterpret_cast<uintptr_t>(client)), state, info);
    AgentAnswer answer = MakeAnswer(state, info, text);
    COPYDATASTRUCT data = {};
    data.dwData = 0;
    data.cbData = sizeof(answer);
    data.lpData = &answer;
    // A page that does not take its answer within the bound loses it rather
    // than hold this thread (and with it every scan and the close).
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(client, WM_COPYDATA, reinterpret_cast<WPARAM>(m_hWnd),
                        reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG,
                        stopRequested ? kClosingAnswerTimeoutMs : kAnswerTimeoutMs, &ignored);
}

void CAppWindow::OnScanError(ScanJob job, int code) {
    if (settings == nullptr) {
        return;  // closing: neither an answer nor a hand-over to TWAIN
    }
    if (code == kStateDeviceNotConnected) {
        SendStateToClient(job.client, kStateDeviceNotConnected, 0, nullptr);
    } else if (settings->scanMode == kScanModeAutomatic && code != kStateDialogCancelled &&
               twainManager) {
        // The hand-over to TWAIN: busy with a job of its own, it answers -3.
        if (FAILED(twainManager->StartScan(job))) {
            Log(kLogInfo, u"Missing request for scan, we're busy.");
            SendStateToClient(job.client, kStateBusy, 0, nullptr);
        }
    } else {
        SendStateToClient(job.client, code, 0, nullptr);
    }
}

void CAppWindow::SetPrintPages(const std::deque<std::u16string>& pages) {
    printPages = pages;
}

void CAppWindow::ShowAbout() {
    if (m_hWnd == nullptr || stopRequested) {
        return;  // closing
    }
    if (aboutDialog != nullptr) {
        ::SetActiveWindow(aboutDialog->m_hWnd);
        return;
    }
    auto dialog = std::make_unique<CDialogAbout>();
    // The pointer is forgotten however the dialog ends, an exception included.
    struct Forget {
        CDialogAbout*& pointer;
        ~Forget() { pointer = nullptr; }
    } forget{aboutDialog};
    aboutDialog = dialog.get();
    // The dialog's loop is on this stack frame: the object goes only after it
    // has returned, whatever the loop dispatched (the agent's own close too).
    fw::CModalLoopScope loop(dialog.get());
    dialog->DoModal(m_hWnd, 0);
}

void CAppWindow::Log(int level, const char16_t* format, ...) {
    int traceLevel = settings != nullptr ? settings->traceLevel : 0;
    va_list args;
    va_start(args, format);
    LogMessageV(logger, traceLevel, level, format, args);
    va_end(args);
}

bool CAppWindow::IsCancelled(int jobId) {
    if (stopRequested) {
        return true;  // a closing agent ends an upload at its next read
    }
    std::lock_guard<std::mutex> guard(itemsLock);
    for (int id : cancelledJobIds) {
        if (id == jobId) {
            return true;
        }
    }
    return false;
}

int CAppWindow::GetScanMode() {
    return settings != nullptr ? settings->scanMode : 0;
}

std::deque<ScannedItem> CAppWindow::QueuedItems() {
    std::lock_guard<std::mutex> guard(itemsLock);
    return scannedItems;
}

std::list<int> CAppWindow::CancelledJobIds() {
    std::lock_guard<std::mutex> guard(itemsLock);
    return cancelledJobIds;
}

bool CAppWindow::TakePendingPrint(HWND* client, PluginRequest* request) {
    std::lock_guard<std::mutex> guard(printLock);
    if (!pendingPrintFlag) {
        return false;
    }
    *client = pendingPrintClient;
    *request = pendingPrintRequest;
    pendingPrintFlag = false;
    return true;
}

}  // namespace vexlo
