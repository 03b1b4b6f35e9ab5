#include "virtual_item.h"

#include <memory>

#include "bmp_page.h"
#include "device_dialog.h"

namespace wia_service {
namespace {

constexpr LONG kTymedCallback = 128;

// A device works while the application waits in a transfer: what was sent
// or posted to the thread meanwhile is handled before the transfer returns.
void HandlePendingMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));  // for the application's own loop
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace

VirtualItem::VirtualItem(const DeviceDescription& description, Kind itemKind,
                         std::shared_ptr<Feeder> deviceFeeder)
    : device(description), kind(itemKind), feeder(std::move(deviceFeeder)) {
    if (kind == Kind::Root) {
        Set(WIA_DIP_DEV_ID, device.id);
        if (device.name) {
            Set(WIA_DIP_DEV_NAME, *device.name);
        }
        Set(WIA_DIP_DEV_TYPE, MAKE_STIDEVICE_TYPE(device.stiType, 0));
        if (device.feeder) {
            feeder = std::make_shared<Feeder>();
            feeder->sheetsLeft = device.pages;
            ShowFeeder();
        }
        return;
    }
    if (device.resolution) {
        Set(WIA_IPS_XRES, *device.resolution);
        Set(WIA_IPS_YRES, *device.resolution);
    }
    Set(WIA_IPA_FORMAT, WiaImgFmt_BMP);
    Set(WIA_IPA_TYMED, kTymedCallback);
}

void VirtualItem::ShowFeeder() {
    if (kind != Kind::Root || !feeder) {
        return;
    }
    Set(WIA_DPS_DOCUMENT_HANDLING_SELECT, feeder->select);
    Set(WIA_DPS_DOCUMENT_HANDLING_STATUS,
        static_cast<LONG>(feeder->sheetsLeft > 0 ? FEED_READY : 0));
}

bool VirtualItem::FeedsFromFeeder() const {
    return feeder && (feeder->select & FEEDER) != 0;
}

HRESULT VirtualItem::ReadMultiple(ULONG cpspec, const PROPSPEC rgpspec[], PROPVARIANT rgpropvar[]) {
    ShowFeeder();  // the image items' transfers take sheets meanwhile
    return PropertyStorageBase::ReadMultiple(cpspec, rgpspec, rgpropvar);
}

HRESULT VirtualItem::WriteMultiple(ULONG cpspec, const PROPSPEC rgpspec[],
                                   const PROPVARIANT rgpropvar[], PROPID propidNameFirst) {
    HRESULT hr = PropertyStorageBase::WriteMultiple(cpspec, rgpspec, rgpropvar, propidNameFirst);
    if (SUCCEEDED(hr) && kind == Kind::Root && feeder) {
        feeder->select = GetNumber(WIA_DPS_DOCUMENT_HANDLING_SELECT).value_or(feeder->select);
    }
    return hr;
}

HRESULT VirtualItem::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IWiaItem) {
        *ppv = static_cast<IWiaItem*>(this);
    } else if (riid == IID_IWiaPropertyStorage) {
        *ppv = static_cast<IWiaPropertyStorage*>(this);
    } else if (riid == IID_IWiaDataTransfer && kind == Kind::Image && !device.failDataTransfer) {
        *ppv = static_cast<IWiaDataTransfer*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG VirtualItem::Release() {
    ULONG left = --references;
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT VirtualItem::GetItemType(LONG* pItemType) {
    if (pItemType == nullptr) {
        return E_INVALIDARG;
    }
    *pItemType = kind == Kind::Root ? WiaItemTypeRoot | WiaItemTypeDevice
                                    : WiaItemTypeImage | WiaItemTypeFile | WiaItemTypeTransfer;
    return S_OK;
}

HRESULT VirtualItem::DeviceDlg(HWND hwndParent, LONG, LONG, LONG* plItemCount,
                               IWiaItem*** ppIWiaItem) {
    if (plItemCount == nullptr || ppIWiaItem == nullptr) {
        return E_INVALIDARG;
    }
    *plItemCount = 0;
    *ppIWiaItem = nullptr;
    if (kind != Kind::Root) {
        return E_INVALIDARG;
    }
    if (device.failDialog) {
        return WIA_ERROR_GENERAL_ERROR;
    }
    if (!RunDeviceDialog(hwndParent, device.name.value_or(device.id))) {
        return S_FALSE;  // closed without scanning
    }
    if (feeder) {
        feeder->sheetsLeft = device.pages;  // the user loads the feeder for each dialog
    }
    if (device.dialogItems <= 0) {
        return S_OK;
    }
    auto** items = static_cast<IWiaItem**>(
        CoTaskMemAlloc(sizeof(IWiaItem*) * static_cast<size_t>(device.dialogItems)));
    if (items == nullptr) {
        return E_OUTOFMEMORY;
    }
    for (int i = 0; i < device.dialogItems; ++i) {
        items[i] = new VirtualItem(device, Kind::Image, feeder);
    }
    *plItemCount = device.dialogItems;
    *ppIWiaItem = items;
    return S_OK;
}

HRESULT VirtualItem::CheckWrite(const PropertyWrite& write) {
    if (kind == Kind::Root) {
        // The device's information is read-only; a feeder's selection is
        // the one property an application sets here.
        for (const auto& [id, value] : write) {
            const LONG* number = value.Number();
            if (id != WIA_DPS_DOCUMENT_HANDLING_SELECT || !feeder) {
                return E_ACCESSDENIED;
            }
            if (number == nullptr || (*number != FEEDER && *number != FLATBED)) {
                return E_INVALIDARG;
            }
        }
        return S_OK;
    }
    for (const auto& [id, value] : write) {
        const LONG* number = value.Number();
        switch (id) {
            case WIA_IPS_XRES:
            case WIA_IPS_YRES:
                if (!device.resolution || number == nullptr || *number <= 0) {
                    return E_INVALIDARG;
                }
                if (device.refused.count(*number) != 0) {
                    return device.refuseWith;
                }
                break;
            case WIA_IPA_FORMAT:
                if (device.failFormat || value.Guid() == nullptr ||
                    *value.Guid() != WiaImgFmt_BMP) {
                    return E_INVALIDARG;  // the virtual devices make bitmaps only
                }
                break;
            case WIA_IPA_TYMED:
                if (device.failMedium || number == nullptr ||
                    (*number != TYMED_FILE && *number != kTymedCallback)) {
                    return E_INVALIDARG;
                }
                break;
            case WIA_DPS_DOCUMENT_HANDLING_SELECT:
            case WIA_DPS_DOCUMENT_HANDLING_STATUS:
                return E_INVALIDARG;  // WIA 1.0: the root item's, not an image item's
            default:
                break;
        }
    }
    return S_OK;
}

HRESULT VirtualItem::idtQueryGetData(WIA_FORMAT_INFO* pfe) {
    if (pfe == nullptr) {
        return E_INVALIDARG;
    }
    return pfe->guidFormatID == WiaImgFmt_BMP && pfe->lTymed == TYMED_FILE ? S_OK : E_INVALIDARG;
}

HRESULT VirtualItem::idtGetData(LPSTGMEDIUM pMedium, IWiaDataCallback* pIWiaDataCallback) {
    if (pMedium == nullptr || pMedium->tymed != TYMED_FILE || pMedium->lpszFileName == nullptr ||
        pMedium->lpszFileName[0] == 0) {
        return E_INVALIDARG;
    }
    if (GetNumber(WIA_IPA_TYMED).value_or(0) != TYMED_FILE) {
        return E_INVALIDARG;  // the item was not set up for a file
    }
    const bool fromFeeder = FeedsFromFeeder();
    if (fromFeeder && feeder->sheetsLeft <= 0) {
        return WIA_ERROR_PAPER_EMPTY;
    }
    HandlePendingMessages();
    int pageNumber = pagesTransferred + 1;
    if (device.failTransfer && pageNumber == device.failPage) {
        ++pagesTransferred;
        if (fromFeeder) {
            --feeder->sheetsLeft;
        }
        return device.transferResult;
    }
    HRESULT hr = Transfer(pMedium->lpszFileName, pIWiaDataCallback);
    if (hr == S_OK) {
        ++pagesTransferred;
        if (fromFeeder) {
            --feeder->sheetsLeft;
        }
    }
    return hr;
}

HRESULT VirtualItem::Transfer(const std::u16string& path, IWiaDataCallback* callback) {
    auto tell = [callback](LONG message, LONG status, LONG percent) {
        return callback != nullptr
                   ? callback->BandedDataCallback(message, status, percent, 0, 0, 0, 0, nullptr)
                   : S_OK;
    };
    HRESULT hr = tell(IT_MSG_STATUS, IT_STATUS_TRANSFER_FROM_DEVICE, 0);
    if (hr != S_OK) {
        return FAILED(hr) ? hr : S_FALSE;  // the application cancelled
    }
    int dpi = static_cast<int>(GetNumber(WIA_IPS_XRES).value_or(100));
    hr = WriteBmpPage(path, device.Page(pagesTransferred), dpi, pagesTransferred);
    if (FAILED(hr)) {
        return hr;
    }
    hr = tell(IT_MSG_STATUS, IT_STATUS_TRANSFER_TO_CLIENT, 100);
    if (hr == S_OK) {
        hr = tell(IT_MSG_TERMINATION, 0, 100);
    }
    if (hr != S_OK) {
        DeleteFileW(path.c_str());
        return FAILED(hr) ? hr : S_FALSE;
    }
    return S_OK;
}

}  // namespace wia_service
