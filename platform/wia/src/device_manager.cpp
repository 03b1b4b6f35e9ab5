#include "device_manager.h"

#include <algorithm>

#include "device_description.h"
#include "property_storage.h"
#include "virtual_item.h"

namespace wia_service {

HRESULT DeviceManager::EnumDeviceInfo(LONG, IEnumWIA_DEV_INFO** ppIEnum) {
    if (ppIEnum == nullptr) {
        return E_INVALIDARG;
    }
    std::vector<IWiaPropertyStorage*> storages;
    for (const DeviceDescription& device : LoadSessionDescription().devices) {
        if (device.unplugged) {
            continue;
        }
        auto* info = new DeviceInfoStorage;
        info->Set(WIA_DIP_DEV_ID, device.id);
        if (device.name) {
            info->Set(WIA_DIP_DEV_NAME, *device.name);
        }
        info->Set(WIA_DIP_DEV_TYPE, MAKE_STIDEVICE_TYPE(device.stiType, 0));
        storages.push_back(info);
    }
    *ppIEnum = new DeviceEnumerator(std::move(storages));
    return S_OK;
}

HRESULT DeviceManager::CreateDevice(BSTR bstrDeviceID, IWiaItem** ppWiaItemRoot) {
    if (ppWiaItemRoot == nullptr) {
        return E_INVALIDARG;
    }
    *ppWiaItemRoot = nullptr;
    if (bstrDeviceID == nullptr) {
        return E_INVALIDARG;
    }
    SessionDescription session = LoadSessionDescription();
    const DeviceDescription* device =
        session.Find(std::u16string(bstrDeviceID, SysStringLen(bstrDeviceID)));
    if (device == nullptr || device->unplugged) {
        return WIA_S_NO_DEVICE_AVAILABLE;
    }
    if (device->failCreateDevice) {
        return WIA_ERROR_OFFLINE;
    }
    *ppWiaItemRoot = new VirtualItem(*device, VirtualItem::Kind::Root);
    return S_OK;
}

DeviceEnumerator::DeviceEnumerator(std::vector<IWiaPropertyStorage*> list)
    : devices(std::move(list)) {}

DeviceEnumerator::~DeviceEnumerator() {
    for (IWiaPropertyStorage* device : devices) {
        device->Release();
    }
}

HRESULT DeviceEnumerator::Next(ULONG celt, IWiaPropertyStorage** rgelt, ULONG* pceltFetched) {
    if (rgelt == nullptr || (pceltFetched == nullptr && celt != 1)) {
        return E_INVALIDARG;
    }
    ULONG fetched = 0;
    while (fetched < celt && next < devices.size()) {
        rgelt[fetched] = devices[next++];
        rgelt[fetched]->AddRef();
        ++fetched;
    }
    for (ULONG i = fetched; i < celt; ++i) {
        rgelt[i] = nullptr;
    }
    if (pceltFetched != nullptr) {
        *pceltFetched = fetched;
    }
    return fetched == celt ? S_OK : S_FALSE;
}

HRESULT DeviceEnumerator::Skip(ULONG celt) {
    size_t left = devices.size() - next;
    next += std::min<size_t>(left, celt);
    return celt <= left ? S_OK : S_FALSE;
}

HRESULT DeviceEnumerator::Reset() {
    next = 0;
    return S_OK;
}

HRESULT DeviceEnumerator::GetCount(ULONG* celt) {
    if (celt == nullptr) {
        return E_INVALIDARG;
    }
    *celt = static_cast<ULONG>(devices.size());
    return S_OK;
}

}  // namespace wia_service
