#include "agent/scanning/wia_data_callback.h"

namespace vexlo {

HRESULT CWiaDataCallback::QueryInterface(REFIID riid, void** ppvObject) {
    if (ppvObject == nullptr) {
        return E_INVALIDARG;
    }
    if (riid == IID_IUnknown || riid == IID_IWiaDataCallback) {
        *ppvObject = static_cast<IWiaDataCallback*>(this);
        AddRef();
        return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
}

ULONG CWiaDataCallback::AddRef() {
    return ++references;
}

ULONG CWiaDataCallback::Release() {
    ULONG left = --references;
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT CWiaDataCallback::BandedDataCallback(LONG, LONG, LONG, LONG, LONG, LONG, LONG, BYTE*) {
    return S_OK;
}

}  // namespace vexlo
