// The items of a virtual device. CreateDevice gives the root item, which
// carries the device's information properties and shows the device dialog;
// the dialog hands back image items, which carry the scan settings
// (resolution, format, medium, the feeder's document handling) and transfer
// pages into files.
#pragma once

#include <atomic>

#include "device_description.h"
#include "property_storage.h"
#include "wia.h"

namespace wia_service {

class VirtualItem final : public IWiaItem, public PropertyStorageBase, public IWiaDataTransfer {
public:
    enum class Kind { Root, Image };
    VirtualItem(const DeviceDescription& device, Kind kind);

    // IUnknown, for all three interfaces.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override;

    // IWiaItem
    HRESULT STDMETHODCALLTYPE GetItemType(LONG* pItemType) override;
    HRESULT STDMETHODCALLTYPE AnalyzeItem(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumChildItems(IEnumWiaItem**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeleteItem(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateChildItem(LONG, BSTR, BSTR, IWiaItem**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE EnumRegisterEventInfo(LONG, const GUID*,
                                                    IEnumWIA_DEV_CAPS**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindItemByName(LONG, BSTR, IWiaItem**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeviceDlg(HWND hwndParent, LONG lFlags, LONG lIntent,
                                        LONG* plItemCount, IWiaItem*** ppIWiaItem) override;
    HRESULT STDMETHODCALLTYPE DeviceCommand(LONG, const GUID*, IWiaItem**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetRootItem(IWiaItem**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumDeviceCapabilities(LONG, IEnumWIA_DEV_CAPS**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DumpItemData(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DumpDrvItemData(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DumpTreeItemData(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Diagnostic(ULONG, BYTE*) override { return E_NOTIMPL; }

    // IWiaDataTransfer
    HRESULT STDMETHODCALLTYPE idtGetData(LPSTGMEDIUM pMedium,
                                         IWiaDataCallback* pIWiaDataCallback) override;
    HRESULT STDMETHODCALLTYPE idtGetBandedData(PWIA_DATA_TRANSFER_INFO,
                                               IWiaDataCallback*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE idtQueryGetData(WIA_FORMAT_INFO* pfe) override;
    HRESULT STDMETHODCALLTYPE idtEnumWIA_FORMAT_INFO(IEnumWIA_FORMAT_INFO**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE idtGetExtendedTransferInfo(PWIA_EXTENDED_TRANSFER_INFO) override {
        return E_NOTIMPL;
    }

private:
    ~VirtualItem() override = default;
    HRESULT CheckWrite(const PropertyWrite& write) override;
    HRESULT Transfer(const std::u16string& path, IWiaDataCallback* callback);
    void UpdateFeederStatus();

    DeviceDescription device;
    Kind kind;
    int sheetsLeft = 0;  // in the feeder
    int pagesTransferred = 0;
    std::atomic<ULONG> references{1};
};

}  // namespace wia_service
