// The items of a virtual device. CreateDevice gives the root item, which
// carries the device's information properties and, for a feeder, the
// document handling selection and status (WIA 1.0 keeps them there and
// nowhere else), and shows the device dialog; the dialog hands back image
// items, which carry the scan settings (resolution, format, medium) and
// transfer pages into files, taking the feeder's sheets.
#pragma once

#include <atomic>
#include <memory>

#include "device_description.h"
#include "property_storage.h"
#include "wia.h"

namespace wia_service {

class VirtualItem final : public IWiaItem, public PropertyStorageBase, public IWiaDataTransfer {
public:
    enum class Kind { Root, Image };
    // The feeder of one device, shared by its root and image items.
    struct Feeder {
        LONG select = FEEDER;
        int sheetsLeft = 0;
    };
    // A root item makes its device's feeder; image items get their root's.
    VirtualItem(const DeviceDescription& device, Kind kind,
                std::shared_ptr<Feeder> feeder = nullptr);

    // IUnknown, for all three interfaces.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override;

    // The root's document handling properties follow the feeder.
    HRESULT STDMETHODCALLTYPE ReadMultiple(ULONG cpspec, const PROPSPEC rgpspec[],
                                           PROPVARIANT rgpropvar[]) override;
    HRESULT STDMETHODCALLTYPE WriteMultiple(ULONG cpspec, const PROPSPEC rgpspec[],
                                            const PROPVARIANT rgpropvar[],
                                            PROPID propidNameFirst) override;

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
    void ShowFeeder();
    bool FeedsFromFeeder() const;

    DeviceDescription device;
    Kind kind;
    std::shared_ptr<Feeder> feeder;  // null for a device without one
    int pagesTransferred = 0;
    std::atomic<ULONG> references{1};
};

}  // namespace wia_service
