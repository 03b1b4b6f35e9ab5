#include "agent/scanning/twain_manager.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "agent/base/settings.h"
#include "agent/scanning/dib_file.h"
#include "agent/scanning/twain_capability.h"
#include "framework/modal_loop.h"
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
    // The agent's exit: the source is walked back and closed where it lets
    // itself be, and the manager goes whatever it answered.
    if (sourceOpen) {
        CloseOpenSource();
    }
    if (dsmOpen || dsmModule != nullptr) {
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
    // Busy from here until the run ends: a second request is the caller's
    // to answer (-3), never a replacement of this one.
    if (state == kScannerBusy) {
        return E_FAIL;
    }
    pendingJob = std::move(scanJob);
    jobId = pendingJob.jobId;
    scanPending = true;
    UpdateState();
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

void CTwainManager::UpdateState() {
    state = scanPending || scanActive || transferring || selecting ? kScannerBusy : kScannerIdle;
}

void CTwainManager::RepostDeferred() {
    if (fw::ModalLoopsOnStack(Self()) != 0 || m_hWnd == nullptr || !::IsWindow(m_hWnd)) {
        return;
    }
    if (deferredSelect) {
        deferredSelect = false;
        PostMessage(WM_VEXLO_INTER_DESKTOP_MESSAGE, kScannerMessageSelect, 0);
    }
    if (deferredScan) {
        deferredScan = false;
        PostMessage(WM_VEXLO_INTER_DESKTOP_MESSAGE, kScannerMessageScan, 0);
    }
}

void CTwainManager::StopScan(int stopJobId) {
    cancelRequested = stopJobId == job.jobId;
}

int CTwainManager::GetJobId() {
    return jobId;
}

std::u16string CTwainManager::GetSelectedScanner() {
    fw::CModalLoopScope call(Self());
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
    if (wParam != kScannerMessageScan && wParam != kScannerMessageSelect) {
        return 0;
    }
    // Dispatched by a loop that runs inside one of this manager's own calls
    // (a source letting messages through during a transfer, the selection
    // dialog): a reset now would unload the manager under its own DSM_Entry.
    // It runs once that call has returned.
    if (fw::ModalLoopsOnStack(Self()) != 0) {
        (wParam == kScannerMessageScan ? deferredScan : deferredSelect) = true;
        return 0;
    }
    {
        fw::CModalLoopScope call(Self());
        if (wParam == kScannerMessageScan) {
            OnScan();
        } else {
            OnSelectScanner();
        }
    }
    RepostDeferred();
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
    dsmOpen = false;
    sourceOpen = false;
    uiEnabled = false;
    sourceState = 3;
}

void CTwainManager::LogRefused(const char16_t* step) {
    host->Log(kLogTrace, u"%s refused by the source, condition code %u", step,
              static_cast<unsigned>(lastStatus.ConditionCode));
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
        sourceState = 4;
    }
    return done;
}

bool CTwainManager::CloseSource() {
    bool done = CallDsm(&appIdentity, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS,
                        &sourceIdentity) == TWRC_SUCCESS;
    if (done) {
        sourceOpen = false;
        sourceState = 3;
    }
    return done;
}

bool CTwainManager::EndTransfer() {
    TW_PENDINGXFERS pending = {};
    if (CallDsm(&appIdentity, &sourceIdentity, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER,
                &pending) != TWRC_SUCCESS) {
        // The transfer never got under way: the source is still in 6.
        LogRefused(u"MSG_ENDXFER");
        sourceState = 6;
        return false;
    }
    sourceState = pending.Count == 0 ? 5 : 6;
    return true;
}

int CTwainManager::EndTransfers() {
    if (sourceState == 7) {
        EndTransfer();
    }
    if (sourceState == 6) {
        TW_PENDINGXFERS pending = {};
        if (CallDsm(&appIdentity, &sourceIdentity, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET,
                    &pending) == TWRC_SUCCESS) {
            sourceState = 5;
        } else {
            LogRefused(u"MSG_RESET");
        }
    }
    return sourceState;
}

bool CTwainManager::CloseOpenSource() {
    if (!sourceOpen) {
        return true;
    }
    if (sourceState > 5 && EndTransfers() > 5) {
        return false;
    }
    if (sourceState == 5 && !DisableSource()) {
        LogRefused(u"MSG_DISABLEDS");
        return false;
    }
    if (!CloseSource()) {
        LogRefused(u"MSG_CLOSEDS");
        return false;
    }
    return true;
}

void CTwainManager::Reset() {
    if (dsmModule != nullptr && dsmEntry != nullptr) {
        // A source that will not close keeps the manager: unloading it would
        // leave the device held by a source nobody can reach any more.
        if (CloseOpenSource() && dsmOpen) {
            UnloadDsm();
        }
    } else {
        UnloadDsm();
    }
    if (!sourceOpen) {
        sourceChosen = false;
    }
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
    selecting = true;
    UpdateState();
    // A source that would not close keeps its identity; the choice goes
    // into a record of its own then.
    TW_IDENTITY chosen = {};
    TW_UINT16 result =
        CallDsm(&appIdentity, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &chosen);
    if (!sourceOpen) {
        sourceIdentity = chosen;
        sourceChosen = result == TWRC_SUCCESS;
    }
    cancelRequested = false;
    selecting = false;
    UpdateState();
    if (result == TWRC_SUCCESS) {
        std::u16string name = SourceName(chosen);
        host->SendStateToClient(selectClient, kReplySelectedScanner, 0, name.c_str());
    }
}

// Scanning.

void CTwainManager::OnScan() {
    if (!scanPending) {
        return;  // no job stored for this message
    }
    job = pendingJob;
    scanPending = false;
    scanActive = true;  // busy until this run ends; every early exit clears it
    UpdateState();
    Reset();
    MakeTopmost();
    if (!dsmOpen && FAILED(LoadDsm())) {
        EndScanRun();
        Answer(job.client, kStateInterfaceFailed);
        return;
    }
    if (!sourceOpen) {
        std::memset(&sourceIdentity, 0, sizeof(sourceIdentity));
        sourceChosen = CallDsm(&appIdentity, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT,
                               &sourceIdentity) == TWRC_SUCCESS;
        if (!sourceChosen) {
            EndScanRun();
            Answer(job.client, kStateNoScanner);
            return;
        }
        sourceOpen = CallDsm(&appIdentity, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS,
                             &sourceIdentity) == TWRC_SUCCESS;
        if (!sourceOpen) {
            EndScanRun();
            Answer(job.client, kStateInterfaceFailed);
            return;
        }
        sourceState = 4;
    }
    // Capabilities are negotiated in state 4, before the source is enabled.
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
        if (!CloseSource()) {
            LogRefused(u"MSG_CLOSEDS");
        }
        EndScanRun();
        Answer(job.client, kStateInterfaceFailed);
        return;
    }
    sourceState = 5;
    // The source's dialog is up; its events carry the scan on.
}

void CTwainManager::EndScanRun() {
    scanActive = false;
    transferring = false;
    cancelRequested = false;
    UpdateState();
}

TW_UINT16 CTwainManager::SetOneValue(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 item) {
    TW_CAPABILITY capability = {};
    capability.Cap = cap;
    capability.ConType = TWON_ONEVALUE;
    capability.hContainer = MakeOneValue(itemType, item);
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
    // TW_FIX32 capabilities: the chosen item's whole 32 bits, fraction included.
    if (chosen && LOWORD(*chosen) != 0) {
        SetOneValue(ICAP_XRESOLUTION, TWTY_FIX32, *chosen);
        SetOneValue(ICAP_YRESOLUTION, TWTY_FIX32, *chosen);
    }
}

void CTwainManager::SetTransferCount() {
    // A TW_INT16 capability: -1 (all images) as 0xFFFF in the item.
    if (SetOneValue(CAP_XFERCOUNT, TWTY_INT16, 0xFFFF) != TWRC_CHECKSTATUS) {
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
        SetOneValue(CAP_XFERCOUNT, TWTY_INT16, LOWORD(*item));
    }
}

BOOL CTwainManager::ProcessEvent(MSG* pMsg) {
    // Not from a loop inside this manager's own calls: the source is busy
    // with that call, and its events wait for the agent's own loop.
    if (!sourceOpen || pMsg == nullptr || fw::ModalLoopsOnStack(Self()) != 0) {
        return FALSE;
    }
    {
        fw::CModalLoopScope call(Self());
        HandleSourceEvent(pMsg);
    }
    RepostDeferred();
    return FALSE;
}

void CTwainManager::HandleSourceEvent(MSG* pMsg) {
    TW_EVENT event = {};
    event.pEvent = pMsg;
    event.TWMessage = MSG_NULL;
    if (CallDsm(&appIdentity, &sourceIdentity, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event) ==
        TWRC_NOTDSEVENT) {
        return;
    }
    switch (event.TWMessage) {
        case MSG_XFERREADY:
            sourceState = 6;
            TransferImages();
            break;
        case MSG_CLOSEDSREQ:
            // The user closed the source's dialog: the job ends without an
            // answer. The source may ask in any state from 5 up.
            CloseOpenSource();
            EndScanRun();
            break;
        default:
            break;
    }
}

void CTwainManager::TransferImages() {
    transferring = true;
    UpdateState();
    // The run's own copy: a request handled during a transfer must not
    // change whose pages these are.
    const ScanJob runJob = job;
    TW_IMAGEINFO info = {};
    if (CallDsm(&appIdentity, &sourceIdentity, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info) !=
        TWRC_SUCCESS) {
        EndTransfers();
        Answer(runJob.client, kStateFailed);
        EndScanRun();
        return;
    }
    // Copies: a re-entrant call during a transfer may refill the identity.
    const std::u16string name = SourceName(sourceIdentity);
    const std::u16string format =
        u"{ \"dpi\":\"%i\", \"mode\": \"%i\", \"cs\": \"%i\", \"name\": \"%s\"}";
    const std::u16string text =
        fw::Format(format, static_cast<int>(info.XResolution.Whole), 3, 1, name.c_str());
    host->SendStateToClient(runJob.client, kStateImageInfo, 3, text.c_str());

    bool completed = true;
    while (sourceState == 6 && !cancelRequested) {
        TW_HANDLE dib = nullptr;
        TW_UINT16 result =
            CallDsm(&appIdentity, &sourceIdentity, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib);
        if (result == TWRC_FAILURE) {
            // The source stays in 6; the walk back below resets what is pending.
            completed = false;
            break;
        }
        sourceState = 7;
        if (result == TWRC_XFERDONE) {
            if (!cancelRequested) {
                SaveImageToFile(static_cast<HGLOBAL>(dib), info, runJob);
            } else {
                // A stop arrived while the image came in.
                host->Log(kLogInfo, u"Aborted job after scanning");
                if (dib != nullptr) {
                    GlobalFree(dib);
                }
            }
        } else if (result == TWRC_CANCEL) {
            host->Log(kLogInfo, u"Recv TWRC_CANCEL abort scanning");
            cancelRequested = true;
            completed = false;
        }
        // 7 to 6 with more pending, else to 5.
        if (!EndTransfer()) {
            break;
        }
    }
    // Every way out leaves the source in 5: pending transfers are reset.
    EndTransfers();
    if (!cancelRequested) {
        Answer(runJob.client, kStateAcquired);
    }
    if (completed && !cancelRequested) {
        CSettings* settings = GetSettings();
        if (settings != nullptr) {
            settings->scanMode = kScanModeTwain;
            settings->wiaScanner = u"";
        }
    }
    EndScanRun();
}

void CTwainManager::SaveImageToFile(HGLOBAL dib, const TW_IMAGEINFO& info, const ScanJob& runJob) {
    SYSTEMTIME now = {};
    GetSystemTime(&now);
    const std::u16string format = u"%s" + std::u16string(kPathSeparatorString) + u"%u%u%u.bmp";
    unsigned tick = GetTickCount();
    unsigned milliseconds = now.wMilliseconds;
    unsigned random = static_cast<unsigned>(rand());
    std::u16string file = fw::Format(format, scannedFolder.c_str(), tick, milliseconds, random);
    if (FAILED(SaveDibToBmp(dib, file))) {
        Answer(runJob.client, kStateFailed);
        return;
    }
    host->OnScanFinished(runJob, file, info.XResolution.Whole);
}

}  // namespace vexlo
