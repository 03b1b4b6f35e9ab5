// The WIA device manager of the stand-in: it enumerates the connected
// virtual devices of the session and creates their root items. Each call
// reads the session's description afresh, so a device can be plugged in or
// out between calls.
#pragma once

#include <vector>

#include "internal/com_object.h"
#include "wia.h"

namespace wia_service {

class DeviceManager final : public w32::com::RefCounted<IWiaDevMgr> {
public:
    HRESULT STDMETHODCALLTYPE EnumDeviceInfo(LONG lFlag, IEnumWIA_DEV_INFO** ppIEnum) override;
    HRESULT STDMETHODCALLTYPE CreateDevice(BSTR bstrDeviceID, IWiaItem** ppWiaItemRoot) override;
    HRESULT STDMETHODCALLTYPE SelectDeviceDlg(HWND, LONG, LONG, BSTR*, IWiaItem**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SelectDeviceDlgID(HWND, LONG, LONG, BSTR*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetImageDlg(HWND, LONG, LONG, LONG, IWiaItem*, BSTR, GUID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RegisterEventCallbackProgram(LONG, BSTR, const GUID*, BSTR, BSTR,
                                                           BSTR, BSTR) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RegisterEventCallbackInterface(LONG, BSTR, const GUID*,
                                                             IWiaEventCallback*,
                                                             IUnknown**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE RegisterEventCallbackCLSID(LONG, BSTR, const GUID*, const GUID*, BSTR,
                                                         BSTR, BSTR) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE AddDeviceDlg(HWND, LONG) override { return E_NOTIMPL; }

private:
    ~DeviceManager() override = default;
};

// The devices' information storages, handed out one by one.
class DeviceEnumerator final : public w32::com::RefCounted<IEnumWIA_DEV_INFO> {
public:
    // Takes over one reference of each storage.
    explicit DeviceEnumerator(std::vector<IWiaPropertyStorage*> devices);

    HRESULT STDMETHODCALLTYPE Next(ULONG celt, IWiaPropertyStorage** rgelt,
                                   ULONG* pceltFetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumWIA_DEV_INFO**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCount(ULONG* celt) override;

private:
    ~DeviceEnumerator() override;
    std::vector<IWiaPropertyStorage*> devices;
    size_t next = 0;
};

}  // namespace wia_service
