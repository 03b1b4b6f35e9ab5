// The agent's WIA 1.0 scanner: it keeps the map of the WIA scanners present,
// chooses the device (the remembered one, else the first by id), lets the
// user set up the scan in the device's own dialog, sets the resolution for
// grey documents, transfers each page into a .bmp file in the Scanned
// folder and hands it to the agent. The IScanner calls store their argument
// and post a message to the scanner's own hidden window; the scan run and
// the selection run on the GUI thread when that message arrives.
#pragma once

#include <windows.h>

#include <atomic>
#include <map>
#include <string>

#include "agent/base/host.h"
#include "agent/base/messages.h"
#include "agent/base/scan_job.h"
#include "agent/scanning/scanner.h"
#include "agent/scanning/wia_select_dialog.h"
#include "framework/com_ptr.h"
#include "framework/window_impl.h"
#include "wia.h"

namespace vexlo {

using CWiaScannerTraits = fw::CWinTraits<WS_OVERLAPPEDWINDOW, 0>;

class CVexloWiaScanner final
    : public IScanner,
      public fw::CWindowImpl<CVexloWiaScanner, fw::CWindow, CWiaScannerTraits> {
public:
    DECLARE_WND_CLASS(u"VexloWiaScannerClass")

    // Makes the own window and the device manager (once: when that fails,
    // every scan answers -9 until the agent restarts).
    CVexloWiaScanner(IHost* host, const std::u16string& scannedFolder);
    ~CVexloWiaScanner() override;

    BEGIN_MSG_MAP(CVexloWiaScanner)
    MESSAGE_HANDLER(WM_VEXLO_INTER_WIA_MESSAGE, OnInterWiaMessage)
    END_MSG_MAP()

    // IScanner
    HRESULT StartScan(ScanJob job) override;
    HRESULT SelectScanner(HWND client) override;
    int GetState() override;
    void StopScan(int jobId) override;
    int GetJobId() override;
    std::u16string GetSelectedScanner() override;

    void OnScan();
    void OnSelectScanner();
    HRESULT RefreshDevices();
    void SetResolution(IWiaItem* item);
    int ReadResolution(IWiaItem* item);
    std::u16string FormatScanInfo(int dpi, const std::u16string& name);
    // Pages of item, the one the device dialog handed back; root is the
    // device's root item, which holds the document handling properties.
    HRESULT TransferImages(IWiaItem* item, IWiaItem* root, ScanJob scanJob);
    // Reads the feeder's selection and status from the root item's storage.
    bool HasMorePages(IWiaPropertyStorage* rootStorage);
    void ResetJob();

    const std::map<std::u16string, std::u16string>& Devices() const { return devices; }
    bool HasDeviceManager() const { return m_pWiaDevMgr != nullptr; }

private:
    LRESULT OnInterWiaMessage(UINT, WPARAM wParam, LPARAM, BOOL&);
    // The pointer by which the agent knows this scanner: its runs, which
    // run modal loops, are counted under it.
    const void* Self() const { return static_cast<const IScanner*>(this); }
    void UpdateState();
    // The run's transfer could not be set up: the job ends as a failed
    // transfer does (-5).
    HRESULT PreparationFailed(const ScanJob& scanJob, HRESULT hr);
    // Gives the id and the name (each null when absent) of a scanner device.
    HRESULT GetDeviceNameAndIdForScanner(IWiaPropertyStorage* storage, BSTR* id, BSTR* name);
    void RunScan();
    // The next page's file: "<folder>\<seconds>.bmp", or, when a page of the
    // same second still has that name, "<folder>\<seconds>_<n>.bmp".
    std::u16string NextPagePath() const;

    fw::CComPtr<IWiaDevMgr> m_pWiaDevMgr;
    IHost* host;
    std::u16string scannedFolder;
    std::map<std::u16string, std::u16string> devices;  // id to name, ordered by id
    // Busy (GetState) from StartScan until the run ends, and during a
    // selection. Read by the scan worker too.
    std::atomic<int32_t> state{kScannerIdle};
    bool scanPending = false;  // from StartScan until its run ends
    bool selecting = false;
    ScanJob job;
    std::atomic<int32_t> jobId{0};  // job.jobId, for the scan worker
    int stopJobId = 0;
    HWND selectClient = nullptr;
    CWiaSelectScannerDialog selectDialog;
    // A scan message that arrived while a run of this scanner was on the
    // stack (its dialogs and transfers dispatch messages): it runs once that
    // run has returned.
    bool deferredScan = false;
};

}  // namespace vexlo
