// The module's entry: the class object of the WIA device manager, which the
// runtime's CoCreateInstance asks for as a local-server class.
#include "device_description.h"
#include "device_manager.h"
#include "internal/com_object.h"

namespace wia_service {
namespace {

// One object for the process's life.
class ManagerFactory final : public w32::com::ClassObject {
protected:
    HRESULT Create(REFIID riid, void** ppv) override {
        auto* manager = new DeviceManager;
        HRESULT hr = manager->QueryInterface(riid, ppv);
        manager->Release();
        return hr;
    }
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
