#include "agent/scanning/wia_scanner.h"

#include <ctime>
#include <vector>

#include "agent/base/settings.h"
#include "agent/scanning/wia_data_callback.h"
#include "framework/modal_loop.h"
#include "framework/raii.h"
#include "framework/text.h"
#include "protocol/records.h"

namespace vexlo {
namespace {

// The resolutions tried for a grey document, in this order.
constexpr LONG kResolutions[] = {200, 250, 300, 400, 500, 600, 150};
constexpr int kDefaultDpi = 200;

PROPSPEC PropertyById(PROPID id) {
    PROPSPEC spec = {};
    spec.ulKind = PRSPEC_PROPID;
    spec.propid = id;
    return spec;
}

// A VT_I4 property's value; 0 for any other type.
LONG NumberOf(const PROPVARIANT& value) {
    return value.vt == VT_I4 ? value.lVal : 0;
}

bool FileExists(const std::u16string& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

CVexloWiaScanner::CVexloWiaScanner(IHost* hostInterface, const std::u16string& folder)
    : host(hostInterface), scannedFolder(folder) {
    Create(nullptr, fw::CWindow::rcDefault, nullptr, 0, 0);
    SetWindowPos(HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);  // never shown
    HRESULT hr = CoCreateInstance(CLSID_WiaDevMgr, nullptr, CLSCTX_LOCAL_SERVER, IID_IWiaDevMgr,
                                  reinterpret_cast<void**>(&m_pWiaDevMgr));
    if (FAILED(hr)) {
        host->Log(kLogTrace, u"CreateWiaDeviceManager has failed with code 0x%08X",
                  static_cast<unsigned>(hr));
        m_pWiaDevMgr.Release();
    }
    RefreshDevices();
}

CVexloWiaScanner::~CVexloWiaScanner() {
    if (m_hWnd != nullptr && ::IsWindow(m_hWnd)) {
        DestroyWindow();
    }
}

// IScanner

HRESULT CVexloWiaScanner::StartScan(ScanJob scanJob) {
    // Busy from here until the run ends: a second request is the caller's
    // to answer (-3), never a replacement of this one.
    if (state == kScannerBusy) {
        return E_FAIL;
    }
    job = std::move(scanJob);
    jobId = job.jobId;
    scanPending = true;
    UpdateState();
    PostMessage(WM_VEXLO_INTER_WIA_MESSAGE, kScannerMessageScan, 0);
    return S_OK;
}

HRESULT CVexloWiaScanner::SelectScanner(HWND client) {
    selectClient = client;
    PostMessage(WM_VEXLO_INTER_WIA_MESSAGE, kScannerMessageSelect, 0);
    return S_OK;
}

int CVexloWiaScanner::GetState() {
    return state;
}

void CVexloWiaScanner::UpdateState() {
    state = scanPending || selecting ? kScannerBusy : kScannerIdle;
}

void CVexloWiaScanner::StopScan(int id) {
    stopJobId = id;
}

int CVexloWiaScanner::GetJobId() {
    return jobId;
}

std::u16string CVexloWiaScanner::GetSelectedScanner() {
    return GetSettings()->wiaScannerName;
}

LRESULT CVexloWiaScanner::OnInterWiaMessage(UINT, WPARAM wParam, LPARAM, BOOL&) {
    if (wParam != kScannerMessageScan && wParam != kScannerMessageSelect) {
        return 0;
    }
    // Dispatched by the modal loop of one of this scanner's own runs (its
    // device dialog, a transfer, the selection dialog), neither may end the
    // other's job: a scan waits until that run has returned; a selection is
    // refused, as one is while the selection dialog is open.
    if (fw::ModalLoopsOnStack(Self()) != 0) {
        if (wParam == kScannerMessageScan) {
            deferredScan = true;
        }
        return 0;
    }
    {
        fw::CModalLoopScope run(Self());
        if (wParam == kScannerMessageScan) {
            OnScan();
        } else {
            OnSelectScanner();
        }
    }
    if (deferredScan && m_hWnd != nullptr && ::IsWindow(m_hWnd)) {
        PostMessage(WM_VEXLO_INTER_WIA_MESSAGE, kScannerMessageScan, 0);
    }
    deferredScan = false;
    return 0;
}

// Devices.

HRESULT CVexloWiaScanner::RefreshDevices() {
    if (!m_pWiaDevMgr) {
        return E_INVALIDARG;
    }
    devices.clear();
    fw::CComPtr<IEnumWIA_DEV_INFO> enumerator;
    HRESULT hr = m_pWiaDevMgr->EnumDeviceInfo(WIA_DEVINFO_ENUM_LOCAL, &enumerator);
    host->Log(kLogTrace, u"EnumDeviceInfo  hr = 0x%08X", static_cast<unsigned>(hr));
    if (FAILED(hr)) {
        return hr;
    }
    if (hr == S_FALSE || !enumerator) {
        return S_OK;
    }
    for (;;) {
        fw::CComPtr<IWiaPropertyStorage> storage;
        hr = enumerator->Next(1, &storage, nullptr);
        host->Log(kLogTrace, u"pWiaEnumDevInfo->Next  hr = 0x%08X", static_cast<unsigned>(hr));
        if (hr != S_OK) {
            return hr == S_FALSE ? S_OK : hr;
        }
        fw::CComBSTR id;
        fw::CComBSTR name;
        HRESULT read = GetDeviceNameAndIdForScanner(storage, &id, &name);
        if (SUCCEEDED(read)) {
            host->Log(kLogTrace, u"GetDeviceNameAndIdForScanner hr = 0x%08X",
                      static_cast<unsigned>(read));
            devices[id.ToString()] = name.ToString();
            host->Log(kLogTrace, u"Add scanner name = %s id = %s", name.ToString().c_str(),
                      id.ToString().c_str());
        }
    }
}

HRESULT CVexloWiaScanner::GetDeviceNameAndIdForScanner(IWiaPropertyStorage* storage, BSTR* id,
                                                       BSTR* name) {
    if (storage == nullptr) {
        return E_INVALIDARG;
    }
    const PROPSPEC specs[3] = {PropertyById(WIA_DIP_DEV_ID), PropertyById(WIA_DIP_DEV_NAME),
                               PropertyById(WIA_DIP_DEV_TYPE)};
    fw::unique_prop_variants<3> read;
    HRESULT hr = storage->ReadMultiple(3, specs, read.values);
    host->Log(kLogTrace, u"pWiaPropertyStorage->ReadMultiple hr = 0x%08X",
              static_cast<unsigned>(hr));
    if (FAILED(hr)) {
        return hr;
    }
    const PROPVARIANT& devId = read.values[0];
    const PROPVARIANT& devName = read.values[1];
    const PROPVARIANT& devType = read.values[2];
    int stiType = GET_STIDEVICE_TYPE(devType.lVal);
    if (stiType == StiDeviceTypeScanner) {
        if (devId.vt == VT_BSTR) {
            *id = SysAllocStringLen(devId.bstrVal, SysStringLen(devId.bstrVal));
        }
        if (devName.vt == VT_BSTR) {
            *name = SysAllocStringLen(devName.bstrVal, SysStringLen(devName.bstrVal));
        }
        return hr;
    }
    host->Log(kLogTrace, u"var type is %i", static_cast<int>(devType.vt));
    if (devName.vt == VT_BSTR) {
        std::u16string skipped(devName.bstrVal != nullptr ? devName.bstrVal : u"",
                               SysStringLen(devName.bstrVal));
        host->Log(kLogTrace, u"Skip device with name %s type %i", skipped.c_str(), stiType);
    } else {
        host->Log(kLogTrace, u"Skip device with type %i", stiType);
    }
    return E_FAIL;
}

// Scanning.

void CVexloWiaScanner::OnScan() {
    if (!scanPending) {
        return;  // no job stored for this message
    }
    RunScan();
    // Every way out of the run, its early failures included, ends the busy state.
    scanPending = false;
    UpdateState();
}

void CVexloWiaScanner::RunScan() {
    if (!m_pWiaDevMgr) {
        host->OnScanError(job, kStateInterfaceFailed);
        return;
    }
    RefreshDevices();
    CSettings* settings = GetSettings();
    std::u16string id = settings->wiaScanner.value_or(u"");
    if (id.empty()) {
        if (devices.empty()) {
            host->OnScanError(job, kStateNoScanner);
            return;
        }
        id = devices.begin()->first;
    } else if (devices.find(id) == devices.end()) {
        host->OnScanError(job, kStateDeviceNotConnected);
        return;
    }

    fw::CComPtr<IWiaItem> root;
    fw::CComBSTR deviceId(id);
    HRESULT hr = m_pWiaDevMgr->CreateDevice(deviceId, &root);
    if (FAILED(hr) || !root) {
        host->OnScanError(job, kStateInterfaceFailed);
        return;
    }

    LONG count = 0;
    IWiaItem** chosen = nullptr;
    hr = root->DeviceDlg(m_hWnd, WIA_DEVICE_DIALOG_USE_COMMON_UI, WIA_INTENT_NONE, &count, &chosen);
    // Only the first item is scanned; the others and the array are freed.
    fw::CComPtr<IWiaItem> item;
    if (chosen != nullptr) {
        for (LONG i = 0; i < count; ++i) {
            if (i == 0) {
                item.Attach(chosen[i]);
            } else if (chosen[i] != nullptr) {
                chosen[i]->Release();
            }
        }
        CoTaskMemFree(chosen);
    }
    if (FAILED(hr) || count == 0 || !item) {
        host->OnScanError(job, kStateDialogCancelled);
        ResetJob();
        return;
    }

    auto known = devices.find(id);
    std::u16string name = known != devices.end() ? known->second : std::u16string();
    // Copies: a stop or a select handled during the run must not change them.
    const ScanJob scanJob = job;
    if (scanJob.scanType == kScanTypeGrey) {
        SetResolution(item);
    }
    host->SendStateToClient(scanJob.client, kStateImageInfo, 2,
                            FormatScanInfo(ReadResolution(item), name).c_str());
    hr = TransferImages(item, root, scanJob);
    if (SUCCEEDED(hr)) {
        host->SendStateToClient(scanJob.client, kStateAcquired, 0, nullptr);
        settings = GetSettings();
        settings->scanMode = kScanModeWia;
        settings->wiaScanner = id;
        settings->wiaScannerName = name;
    }
    ResetJob();
}

void CVexloWiaScanner::SetResolution(IWiaItem* item) {
    fw::CComPtr<IWiaPropertyStorage> storage;
    if (item == nullptr ||
        FAILED(item->QueryInterface(IID_IWiaPropertyStorage, reinterpret_cast<void**>(&storage)))) {
        return;
    }
    const PROPSPEC specs[2] = {PropertyById(WIA_IPS_XRES), PropertyById(WIA_IPS_YRES)};
    for (LONG dpi : kResolutions) {
        PROPVARIANT values[2] = {};
        values[0].vt = VT_I4;
        values[0].lVal = dpi;
        values[1].vt = VT_I4;
        values[1].lVal = dpi;
        if (storage->WriteMultiple(2, specs, values, WIA_IPA_FIRST) != E_INVALIDARG) {
            return;  // taken, or refused for another reason: no further value
        }
    }
}

int CVexloWiaScanner::ReadResolution(IWiaItem* item) {
    fw::CComPtr<IWiaPropertyStorage> storage;
    if (item == nullptr ||
        FAILED(item->QueryInterface(IID_IWiaPropertyStorage, reinterpret_cast<void**>(&storage)))) {
        return kDefaultDpi;
    }
    const PROPSPEC spec = PropertyById(WIA_IPS_XRES);
    fw::unique_prop_variants<1> read;
    if (FAILED(storage->ReadMultiple(1, &spec, read.values)) || read.values[0].vt != VT_I4 ||
        read.values[0].lVal == 0) {
        return kDefaultDpi;
    }
    return read.values[0].lVal;
}

std::u16string CVexloWiaScanner::FormatScanInfo(int dpi, const std::u16string& name) {
    return fw::Format(u"{ \"dpi\":\"%i\", \"mode\": \"%i\", \"cs\": \"%i\", \"name\": \"%s\"}", dpi,
                      2, 1, name.c_str());
}

std::u16string CVexloWiaScanner::NextPagePath() const {
    const unsigned seconds = static_cast<unsigned>(static_cast<uint64_t>(std::time(nullptr)));
    const std::u16string separator = kPathSeparatorString;
    std::u16string path = fw::Format(u"%s" + separator + u"%u.bmp", scannedFolder.c_str(), seconds);
    for (unsigned n = 2; FileExists(path); ++n) {
        path = fw::Format(u"%s" + separator + u"%u_%u.bmp", scannedFolder.c_str(), seconds, n);
    }
    return path;
}

HRESULT CVexloWiaScanner::PreparationFailed(const ScanJob& scanJob, HRESULT hr) {
    host->OnScanError(scanJob, kStateFailed);
    return hr;
}

HRESULT CVexloWiaScanner::TransferImages(IWiaItem* item, IWiaItem* root, ScanJob scanJob) {
    if (item == nullptr) {
        return PreparationFailed(scanJob, E_INVALIDARG);
    }
    fw::CComPtr<IWiaPropertyStorage> storage;
    HRESULT hr = item->QueryInterface(IID_IWiaPropertyStorage, reinterpret_cast<void**>(&storage));
    if (FAILED(hr)) {
        return PreparationFailed(scanJob, hr);
    }
    // WIA 1.0 keeps the document handling properties on the root item only.
    fw::CComPtr<IWiaPropertyStorage> rootStorage;
    if (root != nullptr) {
        root->QueryInterface(IID_IWiaPropertyStorage, reinterpret_cast<void**>(&rootStorage));
    }
    GUID format = WiaImgFmt_BMP;
    const PROPSPEC specs[2] = {PropertyById(WIA_IPA_FORMAT), PropertyById(WIA_IPA_TYMED)};
    PROPVARIANT values[2] = {};
    values[0].vt = VT_CLSID;
    values[0].puuid = &format;
    values[1].vt = VT_I4;
    values[1].lVal = TYMED_FILE;
    hr = storage->WriteMultiple(2, specs, values, WIA_IPA_FIRST);
    if (FAILED(hr)) {
        return PreparationFailed(scanJob, hr);
    }
    fw::CComPtr<IWiaDataTransfer> transfer;
    hr = item->QueryInterface(IID_IWiaDataTransfer, reinterpret_cast<void**>(&transfer));
    if (FAILED(hr) || !transfer) {
        return PreparationFailed(scanJob, FAILED(hr) ? hr : E_NOINTERFACE);
    }
    fw::CComPtr<CWiaDataCallback> made;
    made.Attach(new CWiaDataCallback);
    fw::CComPtr<IWiaDataCallback> callback;
    hr = made->QueryInterface(IID_IWiaDataCallback, reinterpret_cast<void**>(&callback));
    if (FAILED(hr)) {
        return PreparationFailed(scanJob, hr);
    }

    for (;;) {
        const std::u16string path = NextPagePath();
        // The medium names the file; the name is the scanner's to free.
        fw::CComBSTR target(path);
        STGMEDIUM medium = {};
        medium.tymed = TYMED_FILE;
        medium.lpszFileName = target;
        medium.pUnkForRelease = nullptr;
        hr = transfer->idtGetData(&medium, callback);
        medium.lpszFileName = nullptr;
        ReleaseStgMedium(&medium);
        if (hr != S_OK) {
            host->OnScanError(scanJob, kStateFailed);
            return hr;
        }
        if (scanJob.jobId == stopJobId) {
            return E_ABORT;  // the page stays in the Scanned folder, not handed on
        }
        host->OnScanFinished(scanJob, path, ReadResolution(item));
        if (!HasMorePages(rootStorage)) {
            return S_OK;
        }
    }
}

bool CVexloWiaScanner::HasMorePages(IWiaPropertyStorage* rootStorage) {
    if (rootStorage == nullptr) {
        return false;
    }
    IWiaPropertyStorage* storage = rootStorage;
    const PROPSPEC specs[2] = {PropertyById(WIA_DPS_DOCUMENT_HANDLING_SELECT),
                               PropertyById(WIA_DPS_DOCUMENT_HANDLING_STATUS)};
    fw::unique_prop_variants<2> read;
    if (FAILED(storage->ReadMultiple(2, specs, read.values))) {
        return false;
    }
    return (NumberOf(read.values[0]) & FEEDER) != 0 && (NumberOf(read.values[1]) & FEED_READY) != 0;
}

void CVexloWiaScanner::ResetJob() {
    job = ScanJob();
    jobId = 0;
    stopJobId = 0;
}

// Selection.

void CVexloWiaScanner::OnSelectScanner() {
    if (selectDialog.IsOpen()) {
        return;
    }
    if (!m_pWiaDevMgr) {
        host->Log(kLogTrace, u"m_pWiaDevMgr is null... Don't open select wia dialog");
        return;
    }
    RefreshDevices();
    selecting = true;
    UpdateState();
    host->Log(kLogTrace, u"Coun wia scanners is %i", static_cast<int>(devices.size()));
    CSettings* settings = GetSettings();
    selectDialog.SetDevices(devices, settings->wiaScanner.value_or(u""));
    INT_PTR result = selectDialog.Run(m_hWnd);
    std::u16string name = selectDialog.GetSelectedName();
    if (result == IDOK && !name.empty()) {
        settings = GetSettings();
        settings->wiaScannerName = name;
        host->SendStateToClient(selectClient, kReplySelectedScanner, 0, name.c_str());
        settings->wiaScanner = selectDialog.GetSelectedId();
    }
    // A scan job stored meanwhile is not this selection's to clear.
    selecting = false;
    UpdateState();
}

}  // namespace vexlo
