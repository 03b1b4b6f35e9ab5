// The agent's TWAIN application: it loads the data source manager
// "TWAIN_32.DLL" when a request needs it, lets the user choose the source in
// the manager's own dialog, scans with the default source through the
// source's own dialog, takes each image by native transfer and writes it as
// a .bmp file into the Scanned folder. All of it runs on the GUI thread: the
// IScanner calls store the request and post a message to the manager's own
// window, and the source's events reach it through the agent window's
// message filter (ProcessEvent).
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "agent/base/host.h"
#include "agent/base/messages.h"
#include "agent/base/scan_job.h"
#include "agent/scanning/scanner.h"
#include "framework/message_loop.h"
#include "framework/window_impl.h"
#include "twain.h"

namespace vexlo {

class CTwainManager final : public IScanner,
                            public fw::CWindowImpl<CTwainManager, fw::CWindow, fw::CNullTraits>,
                            public fw::CMessageFilter {
public:
    DECLARE_WND_CLASS(u"VexloTwainManagerClass")

    // The window is made at once (owned by the host's window); the data
    // source manager is loaded on the first request. dsmLibrary names the
    // library to load.
    CTwainManager(IHost* host, const std::u16string& scannedFolder,
                  const char* dsmLibrary = "TWAIN_32.DLL");
    ~CTwainManager() override;

    BEGIN_MSG_MAP(CTwainManager)
    MESSAGE_HANDLER(WM_CREATE, OnCreate)
    MESSAGE_HANDLER(WM_VEXLO_INTER_DESKTOP_MESSAGE, OnInterDesktopMessage)
    END_MSG_MAP()

    // IScanner
    HRESULT StartScan(ScanJob job) override;
    HRESULT SelectScanner(HWND client) override;
    int GetState() override;
    void StopScan(int jobId) override;
    int GetJobId() override;
    std::u16string GetSelectedScanner() override;

    // Not registered with a loop: the agent window's filter calls ProcessEvent.
    BOOL PreTranslateMessage(MSG* pMsg) override;
    // Hands an open source every message of the GUI thread; FALSE always.
    BOOL ProcessEvent(MSG* pMsg);

    TW_UINT16 CallDsm(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 dg, TW_UINT16 dat,
                      TW_UINT16 msg, TW_MEMREF data);
    HRESULT LoadDsm();
    // Closes an open source and unloads the manager: the first step of
    // every scan and every selection. A source that refuses to close keeps
    // the manager loaded (it is not forgotten).
    void Reset();
    void OnScan();
    void OnSelectScanner();
    void TransferImages();

private:
    LRESULT OnCreate(UINT, WPARAM, LPARAM, BOOL&) { return 0; }
    LRESULT OnInterDesktopMessage(UINT, WPARAM wParam, LPARAM, BOOL&);

    // The pointer by which the agent knows this scanner: its calls that may
    // run a modal loop are counted under it.
    const void* Self() const { return static_cast<const IScanner*>(this); }
    // Posts again what was asked while a call of this manager was on the
    // stack, once none is.
    void RepostDeferred();
    void UpdateState();

    void FillAppIdentity();
    void MakeTopmost();
    void UnloadDsm();
    TW_UINT16 SetOneValue(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 item);
    void ChooseAndSetResolution();
    void SetTransferCount();
    bool DisableSource();
    bool CloseSource();
    // 7 to 6 when transfers are pending, else to 5 (MSG_ENDXFER); false
    // when the source refused it.
    bool EndTransfer();
    // Walks the open source back in TWAIN's order: 7 to 6 (MSG_ENDXFER), 6 to
    // 5 (MSG_RESET). The source's state after it.
    int EndTransfers();
    // The same, then 5 to 4 (MSG_DISABLEDS) and 4 to 3 (MSG_CLOSEDS); false
    // when the source refused a step and is still open.
    bool CloseOpenSource();
    // A refused step of the walk, with the source's condition code.
    void LogRefused(const char16_t* step);
    void HandleSourceEvent(MSG* pMsg);
    // The scan's run is over (or never got going): not busy any more.
    void EndScanRun();
    void SaveImageToFile(HGLOBAL dib, const TW_IMAGEINFO& info, const ScanJob& runJob);
    std::u16string SourceName(const TW_IDENTITY& identity) const;
    void Answer(HWND client, int state);

    IHost* host;
    HMODULE dsmModule = nullptr;
    DSMENTRYPROC dsmEntry = nullptr;
    bool cancelRequested = false;
    TW_IDENTITY appIdentity = {};
    TW_IDENTITY sourceIdentity = {};
    bool dsmOpen = false;
    bool sourceOpen = false;
    bool sourceChosen = false;
    bool uiEnabled = false;
    // The open source's TWAIN state (4 open, 5 enabled, 6 transfers ready,
    // 7 transferring) as this manager drove it; 3 with none open.
    int sourceState = 3;
    // Busy (GetState) from StartScan until the scan's run ends, during
    // every transfer run and during a selection. Read by the scan worker too.
    std::atomic<int32_t> state{kScannerIdle};
    bool scanPending = false;  // StartScan stored a job that OnScan has not taken yet
    bool scanActive = false;   // from OnScan until its first transfer run ends
    bool transferring = false;
    bool selecting = false;
    // Scan and select messages that arrived while a call of this manager
    // (a source's or the manager's modal loop) was on the stack.
    bool deferredScan = false;
    bool deferredSelect = false;
    TW_UINT16 lastReturnCode = TWRC_SUCCESS;
    TW_STATUS lastStatus = {};
    std::u16string scannedFolder;
    ScanJob job;                    // the job of the current or last run
    ScanJob pendingJob;             // stored by StartScan, taken by OnScan
    std::atomic<int32_t> jobId{0};  // the latest job's id, for the scan worker
    HWND selectClient = nullptr;
    std::string dsmLibrary;
};

}  // namespace vexlo
