// The page object's life: made for one document, put into its window, kept
// there again on the browser's events, and gone with the page.
#include "plugins/ie/vexlo_disp.h"

namespace vexlo {

void CVexloDisp::Initialize(IWebBrowser2* frame) {
    if (browser != frame) {
        browser = frame;
    }
    // The channel exists before the page can reach the object.
    if (!processMessage) {
        processMessage = CProcessMessage::Open();
    }
    fw::CComPtr<IUnknown> current = CurrentDocument();
    document = static_cast<IUnknown*>(current);
    ExposeToPage();
    if (browser && !browserEvents.IsAdvised()) {
        browserEvents.DispEventAdvise(browser);
    }
}

void CVexloDisp::FinalRelease() {
    if (browser && browserEvents.IsAdvised()) {
        browserEvents.DispEventUnadvise(browser);
    }
    // Inside one of the channel's own ticks the channel goes once the tick
    // is over; its window and callbacks go now.
    processMessage.reset();
}

fw::CComPtr<IUnknown> CVexloDisp::CurrentDocument() const {
    fw::CComPtr<IUnknown> identity;
    if (!browser) {
        return identity;
    }
    fw::CComPtr<IDispatch> current;
    if (SUCCEEDED(browser->get_Document(&current)) && current) {
        current->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
    }
    return identity;
}

void CVexloDisp::ExposeToPage() {
    if (!browser || !document) {
        return;
    }
    // After a navigation the browser holds another page, perhaps of another
    // site: the object belongs to its own page only.
    fw::CComPtr<IUnknown> current = CurrentDocument();
    if (static_cast<IUnknown*>(current) != static_cast<IUnknown*>(document)) {
        return;
    }
    fw::CComPtr<IHTMLWindow2> window;
    fw::CComPtr<IHTMLDocument2> page;
    if (SUCCEEDED(current->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&page))) &&
        page) {
        page->get_parentWindow(&window);
    }
    if (!window) {
        fw::CComPtr<IServiceProvider> provider;
        if (SUCCEEDED(browser->QueryInterface(IID_IServiceProvider,
                                              reinterpret_cast<void**>(&provider))) &&
            provider) {
            provider->QueryService(IID_IHTMLWindow2, IID_IHTMLWindow2,
                                   reinterpret_cast<void**>(&window));
        }
    }
    if (!window) {
        return;  // the next event tries again
    }
    VARIANT value;
    ::VariantInit(&value);
    value.vt = VT_DISPATCH;
    value.pdispVal = static_cast<IVexloDisp*>(this);
    value.pdispVal->AddRef();
    fw::CComBSTR name(kWindowPropertyName);
    PutWindowProperty(window, name, &value);
    ::VariantClear(&value);
}

HRESULT PutWindowProperty(IDispatch* window, BSTR name, VARIANT* value) {
    if (window == nullptr) {
        return E_INVALIDARG;
    }
    fw::CComPtr<IDispatchEx> expando;
    HRESULT hr = window->QueryInterface(IID_IDispatchEx, reinterpret_cast<void**>(&expando));
    if (FAILED(hr)) {
        return hr;
    }
    DISPID id = DISPID_UNKNOWN;
    hr = expando->GetDispID(name, fdexNameEnsure, &id);
    if (FAILED(hr)) {
        return hr;
    }
    DISPPARAMS params = {value, nullptr, 1, 0};
    return expando->InvokeEx(id, LOCALE_USER_DEFAULT,
                             DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF, &params, nullptr,
                             nullptr, nullptr);
}

HRESULT CVexloDisp::QueryService(REFGUID guidService, REFIID riid, void** ppvObject) {
    if (ppvObject == nullptr) {
        return E_POINTER;
    }
    *ppvObject = nullptr;
    fw::CComPtr<IServiceProvider> provider;
    if (!m_spUnkSite ||
        FAILED(m_spUnkSite->QueryInterface(IID_IServiceProvider,
                                           reinterpret_cast<void**>(&provider))) ||
        !provider) {
        return E_NOINTERFACE;
    }
    return provider->QueryService(guidService, riid, ppvObject);
}

}  // namespace vexlo
