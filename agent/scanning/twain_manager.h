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
    // every scan and every selection.
    void Reset();
    void OnScan();
    void OnSelectScanner();
    void TransferImages();

private:
    LRESULT OnCreate(UINT, WPARAM, LPARAM, BOOL&) { return 0; }
    LRESULT OnInterDesktopMessage(UINT, WPARAM wParam, LPARAM, BOOL&);

    void FillAppIdentity();
    void MakeTopmost();
    void UnloadDsm();
    TW_UINT16 SetOneValue(TW_UINT16 cap, bool isSigned, TW_UINT16 value);
    void ChooseAndSetResolution();
    void SetTransferCount();
    bool DisableSource();
    bool CloseSource();
    void SaveImageToFile(HGLOBAL dib, const TW_IMAGEINFO& info);
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
    // Read by the scan worker too.
    std::atomic<int32_t> state{kScannerIdle};
    TW_UINT16 lastReturnCode = TWRC_SUCCESS;
    TW_STATUS lastStatus = {};
    std::u16string scannedFolder;
    ScanJob job;
    std::atomic<int32_t> jobId{0};  // job.jobId, for the scan worker
    HWND selectClient = nullptr;
    std::string dsmLibrary;
};

}  // namespace vexlo
