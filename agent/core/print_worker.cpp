// The print worker: it takes the pending print request, has the web service
// render it into PNG pages, turns each page into a bitmap, prints the bitmaps
// through the print dialog and tells the requesting window how it went (1,
// then -6 and -5, -7, or 2 and then 3, -8 or -5).
#include <windows.h>

#include <algorithm>
#include <string_view>

#include "agent/base/data_folders.h"
#include "agent/core/app_window.h"
#include "agent/core/crash_reporter.h"
#include "agent/imaging/print_pages.h"
#include "agent/service/print_rendering.h"
#include "agent/service/render_flight.h"

namespace vexlo {

namespace {

// How long the worker sleeps when no request is pending. The stop event cuts
// the sleep short at shutdown.
constexpr DWORD kIdlePoll = 1000;
// How often a join re-posts Cancel to a print dialog that opened after the
// stop and cuts a render that started after it.
constexpr DWORD kJoinSlice = 20;

const char16_t kDialogClass[] = u"#32770";

int StateOfPrint(HRESULT printed) {
    if (printed == E_ACCESSDENIED) {
        return kPrintNotConfirmed;
    }
    return printed == S_OK ? kPrintPrinted : kPrintFailed;
}

}  // namespace

DWORD WINAPI CAppWindow::PrintWorkerThreadProc(LPVOID window) {
    static_cast<CAppWindow*>(window)->PrintWorker();
    return 0;
}

void CAppWindow::PrintWorker() {
    CCrashReporter::InstallForThread();
    while (!stopRequested) {
        HWND client = nullptr;
        PluginRequest request = CreateEmptyRequest();
        if (!TakePendingPrint(&client, &request)) {
            WaitForSingleObject(stopEvent.get(), kIdlePoll);
            continue;
        }
        RunPrint(client, request);
    }
    CCrashReporter::UninstallForThread();
}

// After a stop the run sends nothing more and leaves no file behind.
void CAppWindow::RunPrint(HWND client, const PluginRequest& request) {
    // Read bounded: a sender may leave out the terminators.
    std::u16string command = ReadField(request.printingRequest);
    std::u16string apiKey = ReadField(request.apiKey);
    Log(kLogTrace, u"Load documents for print %s", command.c_str());
    SendStateToClient(client, kPrintLoading, 0, nullptr);

    printPages.clear();
    HRESULT fetched = FetchPrintPages(apiKey, command, client, this);
    if (stopRequested) {
        DeleteFiles(printPages);
        return;
    }
    if (FAILED(fetched)) {
        SendStateToClient(client, kPrintFailed, 0, nullptr);
        Log(kLogError, u"Documents haven't loaded");
        return;
    }
    if (printPages.empty()) {
        Log(kLogError, u"Request for print has executed, but there's no documents for print");
        SendStateToClient(client, kPrintNoPages, 0, nullptr);
        return;
    }
    SendStateToClient(client, kPrintLoaded, 0, nullptr);

    std::deque<std::u16string> bitmaps;
    while (!printPages.empty()) {
        if (stopRequested) {
            DeleteFiles(printPages);
            DeleteFiles(bitmaps);
            return;
        }
        std::u16string page = std::move(printPages.front());
        printPages.pop_front();
        std::u16string bitmap;
        HRESULT converted = ConvertPngToBmp(page, bitmap);
        DeleteFileW(page.c_str());
        if (FAILED(converted)) {
            // The run ends; the pages not yet converted and the bitmaps made
            // so far go too (rendered documents may be private).
            DeleteFiles(printPages);
            DeleteFiles(bitmaps);
            Log(kLogError, u"Couldn't convert png to bmp");
            SendStateToClient(client, kPrintFailed, 0, nullptr);
            return;
        }
        bitmaps.push_back(std::move(bitmap));
    }

    Log(kLogTrace, u"Print documents");
    HRESULT printed = PrintDocuments(std::move(bitmaps));
    if (stopRequested) {
        return;
    }
    SendStateToClient(client, StateOfPrint(printed), 0, nullptr);
}

HRESULT CAppWindow::PrintDocuments(std::deque<std::u16string> bitmaps) {
    constexpr UINT kZOrderOnly = SWP_NOMOVE | SWP_NOSIZE;
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, kZOrderOnly);
    HRESULT printed = PrintPages(m_hWnd, bitmaps, [this] { return stopRequested.load(); });
    ::SetWindowPos(m_hWnd, HWND_NOTOPMOST, 0, 0, 0, 0, kZOrderOnly);
    DeleteFiles(bitmaps);
    return printed;
}

void CAppWindow::CancelPrintDialog() {
    if (!printWorker.IsRunning()) {
        return;
    }
    struct Search {
        DWORD thread;
        DWORD process;
    } search{printWorker.Id(), GetCurrentProcessId()};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            const auto* wanted = reinterpret_cast<const Search*>(data);
            DWORD process = 0;
            if (GetWindowThreadProcessId(window, &process) != wanted->thread ||
                process != wanted->process) {
                return TRUE;
            }
            char16_t className[16] = {};
            GetClassNameW(window, className, 16);
            if (std::u16string_view(className) == kDialogClass) {
                PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
}

void CAppWindow::JoinPrintWorker() {
    if (!printWorker.IsRunning()) {
        return;
    }
    printWorker.SetWait([this](HANDLE thread, DWORD milliseconds) {
        DWORD waited = 0;
        for (;;) {
            DWORD slice =
                milliseconds == INFINITE ? kJoinSlice : std::min(kJoinSlice, milliseconds - waited);
            DWORD woke = fw::WaitHandlingSentMessages(thread, slice);
            if (woke != WAIT_TIMEOUT) {
                return woke;
            }
            // A dialog or a call that started after the stop ends too.
            CutRenderCalls();
            CancelPrintDialog();
            waited += slice;
            if (milliseconds != INFINITE && waited >= milliseconds) {
                return static_cast<DWORD>(WAIT_TIMEOUT);
            }
        }
    });
    printWorker.Stop(INFINITE, nullptr);
}

}  // namespace vexlo
