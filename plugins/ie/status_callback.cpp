#include "plugins/ie/status_callback.h"

#include "framework/com_ptr.h"

namespace vexlo {

void CVexloStatusCallback::SetStatus(int32_t newState, int32_t newInfo, const char16_t* text) {
    state = newState;
    info = newInfo;
    description = text != nullptr ? std::u16string(text) : std::u16string();
}

HRESULT CVexloStatusCallback::get_state(VARIANT* pvarResult) {
    if (pvarResult == nullptr) {
        return E_POINTER;
    }
    ::VariantClear(pvarResult);
    pvarResult->vt = VT_I4;
    pvarResult->lVal = state;
    return S_OK;
}

HRESULT CVexloStatusCallback::get_info(VARIANT* pvarResult) {
    if (pvarResult == nullptr) {
        return E_POINTER;
    }
    ::VariantClear(pvarResult);
    pvarResult->vt = VT_I4;
    pvarResult->lVal = info;
    return S_OK;
}

HRESULT CVexloStatusCallback::get_description(VARIANT* pvarResult) {
    if (pvarResult == nullptr) {
        return E_POINTER;
    }
    BSTR text = ::SysAllocStringLen(description.data(), static_cast<UINT>(description.size()));
    if (text == nullptr) {
        return E_OUTOFMEMORY;
    }
    ::VariantClear(pvarResult);
    pvarResult->vt = VT_BSTR;
    pvarResult->bstrVal = text;
    return S_OK;
}

HRESULT CreateStatusObject(int32_t state, int32_t info, const char16_t* text, IDispatch** object) {
    *object = nullptr;
    fw::CComObject<CVexloStatusCallback>* status = nullptr;
    HRESULT hr = fw::CComObject<CVexloStatusCallback>::CreateInstance(&status);
    if (FAILED(hr)) {
        return hr;
    }
    fw::CComPtr<IVexloStatusCallback> holder(status);
    status->SetStatus(state, info, text);
    return holder->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(object));
}

}  // namespace vexlo
