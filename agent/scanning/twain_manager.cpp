#include "agent/scanning/twain_manager.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "agent/base/settings.h"
#include "agent/scanning/dib_file.h"
#include "agent/scanning/twain_capability.h"
#include "framework/text.h"
#include "protocol/records.h"

namespace vexlo {
namespace {

void CopyTwString(const char* text, TW_STR32 out) {
    std::memset(out, 0, sizeof(TW_STR32));
    std::strncpy(out, text, sizeof(TW_STR32) - 1);
}

}  // namespace

CTwainManager::CTwainManager(IHost* hostInterface, const std::u16string& folder,
                             const char* library)
    : host(hostInterface), scannedFolder(folder), dsmLibrary(library) {
    HWND owner = nullptr;
    host->GetHwnd(&owner);
    Create(owner, fw::CWindow::rcDefault, nullptr, 0, 0);
    // Shown but fully transparent, and on top: the parent of the manager's
    // and the source's dialogs.
    MakeTopmost();
    ModifyStyleEx(0, WS_EX_LAYERED);
    SetLayeredWindowAttributes(m_hWnd, 0, 0, LWA_ALPHA);
    ShowWindow(SW_SHOW);
}

CTwainManager::~CTwainManager() {
    if (uiEnabled) {
        DisableSource();
    }
    if (sourceOpen) {
        CloseSource();
    }
    if (dsmOpen) {
        UnloadDsm();
    }
    // Normally gone with its owner already; a manager that goes first takes
    // its window along.
    if (m_hWnd != nullptr && ::IsWindow(m_hWnd)) {
        DestroyWindow();
    }
}

// IScanner

HRESULT CTwainManager::StartScan(ScanJob scanJob) {
    job = std::move(scanJob);
    jobId = job.jobId;
    PostMessage(WM_VEXLO_INTER_DESKTOP_MESSAGE, kScannerMessageScan, 0);
    return S_OK;
}

HRESULT CTwainManager::SelectScanner(HWND client) {
    if (state == kScannerBusy) {
        return E_FAIL;
    }
    selectClient = client;
    PostMessage(WM_VEXLO_INTER_DESKTOP_MESSAGE, kScannerMessageSelect, 0);
    return S_OK;
}

int CTwainManager::GetState() {
    return state;
}

void CTwainManager::StopScan(int stopJobId) {
    cancelRequested = stopJobId == job.jobId;
}

int CTwainManager::GetJobId() {
    return jobId;
}

std::u16string CTwainManager::GetSelectedScanner() {
    if (!dsmOpen && FAILED(LoadDsm())) {
        return {};
    }
    // While a source is open its identity stays as the manager opened it:
    // the default is asked into a record of its own then.
    TW_IDENTITY asked = {};
    TW_IDENTITY* target = sourceOpen ? &asked : &sourceIdentity;
    std::memset(target, 0, sizeof(*target));
    CallDsm(&appIdentity, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, target);
    return SourceName(*target);
}

BOOL CTwainManager::PreTranslateMessage(MSG* pMsg) {
    ProcessEvent(pMsg);
    return FALSE;
}

LRESULT CTwainManager::OnInterDesktopMessage(UINT, WPARAM wParam, LPARAM, BOOL&) {
    if (wParam == kScannerMessageScan) {
        OnScan();
    } else if (wParam == kScannerMessageSelect) {
        OnSelectScanner();
    }
    return 0;
}

// The data source manager.

TW_UINT16 CTwainManager::CallDsm(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 dg,
                                 TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    if (dsmModule == nullptr || dsmEntry == nullptr) {
        return TWRC_FAILURE;
    }
    lastReturnCode = dsmEntry(origin, destination, dg, dat, msg, data);
    if (lastReturnCode != TWRC_SUCCESS) {
        // The condition code is kept, never reported.
        dsmEntry(origin, destination, DG_CONTROL, DAT_STATUS, MSG_GET, &lastStatus);
    }
    return lastReturnCode;
}

void CTwainManager::FillAppIdentity() {
    appIdentity.Id = 0;
    appIdentity.Version.MajorNum = 0;
    appIdentity.Version.MinorNum = 0;
    appIdentity.Version.Language = TWLG_RUSSIAN;
    appIdentity.Version.Country = TWCY_RUSSIA;
    CopyTwString("0.0.81", appIdentity.Version.Info);
    appIdentity.ProtocolMajor = 1;
    appIdentity.ProtocolMinor = 8;
    appIdentity.SupportedGroups = DG_CONTROL | DG_IMAGE;
    CopyTwString("Vexlo", appIdentity.Manufacturer);
    CopyTwString("Vexlo Agent", appIdentity.ProductFamily);
    CopyTwString("Vexlo Agent", appIdentity.ProductName);
}

HRESULT CTwainManager::LoadDsm() {
    if (dsmModule == nullptr || dsmEntry == nullptr) {
        std::memset(&appIdentity, 0, sizeof(appIdentity));
        dsmModule = LoadLibraryA(dsmLibrary.c_str());
        if (dsmModule == nullptr) {
            return E_FAIL;
        }
        dsmEntry = reinterpret_cast<DSMENTRYPROC>(GetProcAddress(dsmModule, "DSM_Entry"));
        if (dsmEntry == nullptr) {
            FreeLibrary(dsmModule);
            dsmModule = nullptr;
            return E_NOINTERFACE;
        }
    }
    FillAppIdentity();
    HWND parent = m_hWnd;
    dsmOpen = CallDsm(&appIdentity, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent) ==
              TWRC_SUCCESS;
    return dsmOpen ? S_OK : E_UNEXPECTED;
}

void CTwainManager::UnloadDsm() {
    if (dsmModule != nullptr) {
        FreeLibrary(dsmModule);
    }
    dsmModule = nullptr;
    dsmEntry = nullptr;  // its code went with the library
}

bool CTwainManager::DisableSource() {
    TW_USERINTERFACE ui = {};
    ui.ShowUI = TRUE;
    ui.ModalUI = TRUE;
    ui.hParent = m_hWnd;
    bool done = CallDsm(&appIdentity, &sourceIdentity, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS,
                        &ui) == TWRC_SUCCESS;
    if (done) {
        uiEnabled = false;
    }
    return done;
}

bool CTwainManager::CloseSource() {
    bool done = CallDsm(&appIdentity, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS,
                        &sourceIdentity) == TWRC_SUCCESS;
    if (done) {
        sourceOpen = false;
    }
    return done;
}

void CTwainManager::Reset() {
    if (dsmModule != nullptr && dsmEntry != nullptr) {
        DisableSource();
        CloseSource();
        if (dsmOpen) {
            UnloadDsm();
        }
    }
    dsmOpen = false;
    sourceChosen = false;
    sourceOpen = false;
    uiEnabled = false;  // the source's dialog goes with the manager
    cancelRequested = false;
}

void CTwainManager::MakeTopmost() {
    SetWindowPos(HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void CTwainManager::Answer(HWND client, int answerState) {
    host->SendStateToClient(client, answerState, 0, nullptr);
}

std::u16string CTwainManager::SourceName(const TW_IDENTITY& identity) const {
    size_t length = strnlen(identity.ProductName, sizeof(identity.ProductName) - 1);
    if (length == 0) {
        return {};
    }
    return fw::ToWide(CP_THREAD_ACP, std::string_view(identity.ProductName, length));
}

// Selection.

void CTwainManager::OnSelectScanner() {
    Reset();
    MakeTopmost();
    if (!dsmOpen && FAILED(LoadDsm())) {
        return;  // no answer
    }
    state = kScannerBusy;
    std::memset(&sourceIdentity, 0, sizeof(sourceIdentity));
    TW_UINT16 result =
        CallDsm(&appIdentity, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &sourceIdentity);
    sourceChosen = result == TWRC_SUCCESS;
    cancelRequested = false;
    state = kScannerIdle;
    if (result == TWRC_SUCCESS) {
        std::u16string name = SourceName(sourceIdentity);
        host->SendStateToClient(selectClient, kReplySelectedScanner, 0, name.c_str());
    }
}

// Scanning.

void CTwainManager::OnScan() {
    Reset();
    MakeTopmost();
    if (FAILED(LoadDsm())) {
        Answer(job.client, kStateInterfaceFailed);
        return;
    }
    std::memset(&sourceIdentity, 0, sizeof(sourceIdentity));
    sourceChosen = CallDsm(&appIdentity, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT,
                           &sourceIdentity) == TWRC_SUCCESS;
    if (!sourceChosen) {
        Answer(job.client, kStateNoScanner);
        return;
    }
    if (!sourceOpen) {
        sourceOpen = CallDsm(&appIdentity, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS,
                             &sourceIdentity) == TWRC_SUCCESS;
        if (!sourceOpen) {
            Answer(job.client, kStateInterfaceFailed);
            return;
        }
    }
    state = kScannerBusy;
    if (job.scanType == kScanTypeGrey) {
        ChooseAndSetResolution();
    }
    SetTransferCount();
    TW_USERINTERFACE ui = {};
    ui.ShowUI = TRUE;
    ui.ModalUI = TRUE;
    ui.hParent = m_hWnd;
    uiEnabled = CallDsm(&appIdentity, &sourceIdentity, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS,
                        &ui) == TWRC_SUCCESS;
    if (!uiEnabled) {
        host->Log(kLogInfo, u"Couldn't EnableSource, maybe it's driver without ui?");
        // The source stays open in state 4 otherwise: close it so the scanner is not held.
        CloseSource();
        cancelRequested = false;
        state = kScannerIdle;
        Answer(job.client, kStateInterfaceFailed);
    }
    // Otherwise the source's dialog is up; its events carry the scan on.
}

TW_UINT16 CTwainManager::SetOneValue(TW_UINT16 cap, bool isSigned, TW_UINT16 value) {
    TW_CAPABILITY capability = {};
    capability.Cap = cap;
    capability.ConType = TWON_ONEVALUE;
    capability.hContainer = MakeOneValue(isSigned, value);
    if (capability.hContainer == nullptr) {
        return TWRC_FAILURE;
    }
    TW_UINT16 result =
        CallDsm(&appIdentity, &sourceIdentity, DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability);
    GlobalFree(capability.hContainer);
    return result;
}

void CTwainManager::ChooseAndSetResolution() {
    TW_CAPABILITY capability = {};
    capability.Cap = ICAP_XRESOLUTION;
    capability.ConType = TWON_DONTCARE16;
    capability.hContainer = nullptr;
    CallDsm(&appIdentity, &sourceIdentity, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &capability);
    std::optional<TW_UINT32> chosen = ChooseResolution(capability.ConType, capability.hContainer);
    if (capability.hContainer != nullptr) {
        GlobalFree(capability.hContainer);  // the source's container is the application's to free
    }
    if (chosen && LOWORD(*chosen) != 0) {
        SetOneValue(ICAP_XRESOLUTION, false, LOWORD(*chosen));
        SetOneValue(ICAP_YRESOLUTION, false, LOWORD(*chosen));
    }
}

void CTwainManager::SetTransferCount() {
    if (SetOneValue(CAP_XFERCOUNT, true, 0xFFFF) != TWRC_CHECKSTATUS) {
        return;
    }
    // The source takes fewer: ask what it took and confirm that.
    TW_CAPABILITY capability = {};
    capability.Cap = CAP_XFERCOUNT;
    capability.ConType = TWON_DONTCARE16;
    capability.hContainer = nullptr;
    CallDsm(&appIdentity, &sourceIdentity, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &capability);
    std::optional<TW_UINT32> item = ReadOneValueItem(capability.hContainer);
    if (capability.hContainer != nullptr) {
        GlobalFree(capability.hContainer);
    }
    if (item) {
        SetOneValue(CAP_XFERCOUNT, false, LOWORD(*item));
    }
}

BOOL CTwainManager::ProcessEvent(MSG* pMsg) {
    if (!sourceOpen || pMsg == nullptr) {
        return FALSE;
    }
    TW_EVENT event = {};
    event.pEvent = pMsg;
    event.TWMessage = MSG_NULL;
    if (CallDsm(&appIdentity, &sourceIdentity, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event) ==
        TWRC_NOTDSEVENT) {
        return FALSE;
    }
    switch (event.TWMessage) {
        case MSG_XFERREADY:
            TransferImages();
            break;
        case MSG_CLOSEDSREQ:
            // The user closed the source's dialog: the job ends without an answer.
            DisableSource();
            CallDsm(&appIdentity, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &sourceIdentity);
            sourceOpen = false;
            cancelRequested = false;
            state = kScannerIdle;
            break;
        default:
            break;
    }
    return FALSE;
}

void CTwainManager::TransferImages() {
    state = kScannerBusy;
    if (job.scanType == kScanTypeGrey) {
        ChooseAndSetResolution();
    }
    TW_IMAGEINFO info = {};
    if (CallDsm(&appIdentity, &sourceIdentity, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info) !=
        TWRC_SUCCESS) {
        Answer(job.client, kStateFailed);
        cancelRequested = false;
        state = kScannerIdle;
        return;
    }
    // Copies: a re-entrant call during a transfer may refill the identity.
    const std::u16string name = SourceName(sourceIdentity);
    const HWND client = job.client;
    const std::u16string format =
        u"{ \"dpi\":\"%i\", \"mode\": \"%i\", \"cs\": \"%i\", \"name\": \"%s\"}";
    const std::u16string text =
        fw::Format(format, static_cast<int>(info.XResolution.Whole), 3, 1, name.c_str());
    host->SendStateToClient(client, kStateImageInfo, 3, text.c_str());

    bool completed = true;
    for (;;) {
        if (cancelRequested) {
            break;
        }
        TW_HANDLE dib = nullptr;
        TW_UINT16 result =
            CallDsm(&appIdentity, &sourceIdentity, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib);
        TW_PENDINGXFERS pending = {};
        if (result == TWRC_XFERDONE) {
            if (!cancelRequested) {
                SaveImageToFile(static_cast<HGLOBAL>(dib), info);
            } else {
                // A stop arrived while the image came in.
                host->Log(kLogInfo, u"Aborted job after scanning");
                if (dib != nullptr) {
                    GlobalFree(dib);
                }
                CallDsm(&appIdentity, &sourceIdentity, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET,
                        &pending);
            }
        } else if (result == TWRC_CANCEL) {
            host->Log(kLogInfo, u"Recv TWRC_CANCEL abort scanning");
            cancelRequested = true;
            completed = false;
        } else if (result == TWRC_FAILURE) {
            CallDsm(&appIdentity, &sourceIdentity, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET,
                    &pending);
            completed = false;
        }
        if (CallDsm(&appIdentity, &sourceIdentity, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER,
                    &pending) != TWRC_SUCCESS ||
            pending.Count == 0) {
            break;
        }
    }
    if (!cancelRequested) {
        Answer(client, kStateAcquired);
    }
    if (completed && !cancelRequested) {
        CSettings* settings = GetSettings();
        settings->scanMode = kScanModeTwain;
        settings->wiaScanner = u"";
    }
    state = kScannerIdle;
    cancelRequested = false;
}

void CTwainManager::SaveImageToFile(HGLOBAL dib, const TW_IMAGEINFO& info) {
    SYSTEMTIME now = {};
    GetSystemTime(&now);
    const std::u16string format = u"%s" + std::u16string(kPathSeparatorString) + u"%u%u%u.bmp";
    unsigned tick = GetTickCount();
    unsigned milliseconds = now.wMilliseconds;
    unsigned random = static_cast<unsigned>(rand());
    std::u16string file = fw::Format(format, scannedFolder.c_str(), tick, milliseconds, random);
    if (FAILED(SaveDibToBmp(dib, file))) {
        Answer(job.client, kStateFailed);
        return;
    }
    host->OnScanFinished(job, file, info.XResolution.Whole);
}

}  // namespace vexlo
