#include "page_doubles.h"

namespace vexlo::test {

namespace {

constexpr char16_t kUrl[] = u"http://example.test/";

}  // namespace

// --- FakePageFunction ---------------------------------------------------------------

HRESULT FakePageFunction::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*,
                                 EXCEPINFO*, UINT*) {
    if (id != DISPID_VALUE || (flags & DISPATCH_METHOD) == 0 || params == nullptr) {
        return DISP_E_MEMBERNOTFOUND;
    }
    PageCall call;
    call.argCount = params->cArgs;
    if (params->cArgs >= 1) {
        const VARIANT& argument = params->rgvarg[params->cArgs - 1];
        if (argument.vt == VT_DISPATCH && argument.pdispVal != nullptr) {
            call.gotObject = true;
            VARIANT value;
            ::VariantInit(&value);
            if (SUCCEEDED(ReadProperty(argument.pdispVal, u"state", &value))) {
                call.state = value.lVal;
            }
            ::VariantClear(&value);
            if (SUCCEEDED(ReadProperty(argument.pdispVal, u"info", &value))) {
                call.info = value.lVal;
            }
            ::VariantClear(&value);
            if (SUCCEEDED(ReadProperty(argument.pdispVal, u"description", &value)) &&
                value.vt == VT_BSTR) {
                call.text = fw::CComBSTR(value.bstrVal).ToString();
            }
            ::VariantClear(&value);
            if (keep) {
                kept.emplace_back(argument.pdispVal);
            }
        } else if (argument.vt == VT_BSTR) {
            call.text = std::u16string(argument.bstrVal != nullptr ? argument.bstrVal : u"",
                                       ::SysStringLen(argument.bstrVal));
        }
    }
    calls.push_back(call);
    if (action) {
        // The action may drop this function: it runs last.
        auto run = action;
        run();
    }
    return S_OK;
}

HRESULT ReadProperty(IDispatch* object, const char16_t* name, VARIANT* value) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
        return hr;
    }
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, value,
                          nullptr, nullptr);
}

// --- The recording frame ------------------------------------------------------------

HRESULT RecordingWindow::QueryInterface(REFIID riid, void** object) {
    if (object != nullptr && IsEqualIID(riid, IID_IHTMLWindow2)) {
        *object = static_cast<IHTMLWindow2*>(this);
        AddRef();
        return S_OK;
    }
    return NamelessObject::QueryInterface(riid, object);
}

HRESULT RecordingWindow::get_document(IHTMLDocument2** document) {
    *document = nullptr;
    return E_NOTIMPL;
}

HRESULT RecordingWindow::GetDispID(BSTR bstrName, DWORD flags, DISPID* id) {
    std::u16string wanted(bstrName != nullptr ? bstrName : u"", ::SysStringLen(bstrName));
    if ((flags & fdexNameEnsure) == 0 && wanted != name) {
        *id = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    name = wanted;  // one property is all a test needs
    *id = 1;
    return S_OK;
}

HRESULT RecordingWindow::InvokeEx(DISPID id, LCID, WORD flags, DISPPARAMS* params, VARIANT*,
                                  EXCEPINFO*, IServiceProvider*) {
    if (id != 1 || (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) == 0) {
        return DISP_E_MEMBERNOTFOUND;
    }
    if (params == nullptr || params->cArgs != 1) {
        return DISP_E_BADPARAMCOUNT;
    }
    bool named = params->cNamedArgs == 1 && params->rgdispidNamedArgs != nullptr &&
                 params->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
    if (params->cNamedArgs != 0 && !named) {
        return DISP_E_NONAMEDARGS;
    }
    putNamedArgument.push_back(named);
    VARIANT old = value;
    ::VariantInit(&value);
    HRESULT hr = ::VariantCopy(&value, &params->rgvarg[0]);
    ::VariantClear(&old);
    return hr;
}

void RecordingWindow::Clear() {
    VARIANT old = value;
    ::VariantInit(&value);
    ::VariantClear(&old);
}

HRESULT RecordingDocument::get_parentWindow(IHTMLWindow2** result) {
    *result = window;
    (*result)->AddRef();
    return S_OK;
}

HRESULT RecordingDocument::get_URL(BSTR* url) {
    *url = ::SysAllocString(kUrl);
    return S_OK;
}

RecordingFrame::RecordingFrame() {
    fw::CComPtr<RecordingWindow> window;
    window.Attach(new RecordingWindow);
    document.Attach(new RecordingDocument(window));
}

HRESULT RecordingFrame::get_Document(IDispatch** result) {
    *result = nullptr;
    if (!document) {
        return S_FALSE;
    }
    *result = static_cast<IHTMLDocument2*>(document);
    (*result)->AddRef();
    return S_OK;
}

void RecordingFrame::End() {
    if (document) {
        document->window->Clear();
        document.Release();
    }
}

HRESULT RecordingFrame::get_LocationURL(BSTR* url) {
    *url = ::SysAllocString(kUrl);
    return S_OK;
}

}  // namespace vexlo::test
