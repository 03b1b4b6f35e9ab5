// The module's entry: the class object of the WIA device manager, which the
// runtime's CoCreateInstance asks for as a local-server class.
#include "device_description.h"
#include "device_manager.h"

namespace wia_service {
namespace {

class ManagerFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // One object for the process's life: references are not counted.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        auto* manager = new DeviceManager;
        HRESULT hr = manager->QueryInterface(riid, ppv);
        manager->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

ManagerFactory theFactory;

}  // namespace
}  // namespace wia_service

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID rclsid,
                                                                            REFIID riid,
                                                                            LPVOID* ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    // A session can be described without the device manager at all.
    if (rclsid != CLSID_WiaDevMgr || wia_service::LoadSessionDescription().managerAbsent) {
        return REGDB_E_CLASSNOTREG;
    }
    return wia_service::theFactory.QueryInterface(riid, ppv);
}
