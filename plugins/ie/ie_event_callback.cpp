#include "plugins/ie/ie_event_callback.h"

#include "framework/com_ptr.h"
#include "plugins/ie/status_callback.h"

namespace vexlo {

namespace {

fw::CComPtr<IGlobalInterfaceTable> OpenTable() {
    fw::CComPtr<IGlobalInterfaceTable> table;
    ::CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_ALL,
                       IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&table));
    return table;
}

}  // namespace

CIeEventCallback::~CIeEventCallback() {
    RevokeCallback(cookie);
}

void CIeEventCallback::RevokeCallback(DWORD cookie) {
    if (cookie == 0) {
        return;
    }
    if (fw::CComPtr<IGlobalInterfaceTable> table = OpenTable()) {
        table->RevokeInterfaceFromGlobal(cookie);
    }
}

DWORD CIeEventCallback::RegisterCallback(IGlobalInterfaceTable* table, const VARIANT* function) {
    if (table == nullptr) {
        return 0;
    }
    VARIANT empty;
    ::VariantInit(&empty);
    VARIANT object;
    ::VariantInit(&object);
    DWORD cookie = 0;
    if (SUCCEEDED(::VariantChangeType(&object, function != nullptr ? function : &empty, 0,
                                      VT_DISPATCH)) &&
        object.pdispVal != nullptr) {
        // A failed registration leaves the cookie 0: no call is made through it.
        if (FAILED(table->RegisterInterfaceInGlobal(object.pdispVal, IID_IDispatch, &cookie))) {
            cookie = 0;
        }
    }
    ::VariantClear(&object);
    return cookie;
}

HRESULT CIeEventCallback::InvokePageFunction(DWORD cookie, const VARIANT& argument) {
    fw::CComPtr<IGlobalInterfaceTable> table = OpenTable();
    if (!table) {
        return E_FAIL;
    }
    fw::CComPtr<IDispatch> function;
    HRESULT hr =
        table->GetInterfaceFromGlobal(cookie, IID_IDispatch, reinterpret_cast<void**>(&function));
    if (FAILED(hr) || !function) {
        return FAILED(hr) ? hr : E_FAIL;
    }
    VARIANT copy;
    ::VariantInit(&copy);
    hr = ::VariantCopy(&copy, &argument);
    if (FAILED(hr)) {
        return hr;
    }
    DISPPARAMS params = {&copy, nullptr, 1, 0};
    hr = function->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                          nullptr, nullptr, nullptr);
    ::VariantClear(&copy);
    return hr;
}

void CIeEventCallback::OnState(int32_t state, int32_t info, const char16_t* text) {
    // The page function may start a new scan or drop the page object: from
    // the call on only locals are touched.
    const DWORD functionCookie = cookie;
    if (functionCookie == 0) {
        return;
    }
    fw::CComPtr<IDispatch> status;
    if (FAILED(CreateStatusObject(state, info, text, &status)) || !status) {
        return;  // nothing to hand to the page
    }
    VARIANT argument;
    ::VariantInit(&argument);
    argument.vt = VT_DISPATCH;
    argument.pdispVal = status;
    InvokePageFunction(functionCookie, argument);
}

void CIeEventCallback::OnText(const char16_t* text) {
    const DWORD functionCookie = cookie;
    if (functionCookie == 0) {
        return;
    }
    VARIANT argument;
    ::VariantInit(&argument);
    argument.vt = VT_BSTR;
    argument.bstrVal = ::SysAllocString(text != nullptr ? text : u"");
    if (argument.bstrVal == nullptr) {
        return;
    }
    InvokePageFunction(functionCookie, argument);
    ::VariantClear(&argument);
}

}  // namespace vexlo
