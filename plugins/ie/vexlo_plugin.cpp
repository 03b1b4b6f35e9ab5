#include "plugins/ie/vexlo_plugin.h"

#include "plugins/ie/vexlo_disp.h"

namespace vexlo {

namespace {

// The frame of an event argument: an object, or a reference to one.
IDispatch* FrameOf(const VARIANT& argument) {
    if (argument.vt == VT_DISPATCH) {
        return argument.pdispVal;
    }
    if (argument.vt == (VT_DISPATCH | VT_BYREF) && argument.ppdispVal != nullptr) {
        return *argument.ppdispVal;
    }
    return nullptr;
}

}  // namespace

void CVexloPlugin::StopListening() {
    if (m_spUnkSite && browserEvents.IsAdvised()) {
        browserEvents.DispEventUnadvise(m_spUnkSite);
    }
}

HRESULT CVexloPlugin::SetSite(IUnknown* pUnkSite) {
    StopListening();
    if (pUnkSite == nullptr) {
        m_spUnkSite.Release();
        return S_OK;
    }
    // The top-level browser, when the site offers it; else the site itself.
    fw::CComPtr<IWebBrowser2> topLevel;
    fw::CComPtr<IServiceProvider> provider;
    if (SUCCEEDED(
            pUnkSite->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(&provider))) &&
        provider) {
        provider->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2,
                               reinterpret_cast<void**>(&topLevel));
    }
    if (topLevel) {
        m_spUnkSite = topLevel;
    } else {
        m_spUnkSite = pUnkSite;
    }
    if (m_spUnkSite) {
        browserEvents.DispEventAdvise(m_spUnkSite);
    }
    return S_OK;
}

void CVexloPlugin::FinalRelease() {
    StopListening();
    m_spUnkSite.Release();
}

void CVexloPlugin::OnNavigateComplete2(DISPPARAMS* params) {
    if (params == nullptr || params->cArgs < 2 || params->rgvarg == nullptr) {
        return;
    }
    IDispatch* frame = FrameOf(params->rgvarg[params->cArgs - 1]);
    if (frame == nullptr) {
        return;
    }
    fw::CComPtr<IWebBrowser2> frameBrowser;
    if (FAILED(frame->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&frameBrowser))) ||
        !frameBrowser) {
        return;
    }
    fw::CComPtr<IDispatch> document;
    if (FAILED(frameBrowser->get_Document(&document)) || !document) {
        return;
    }
    fw::CComObject<CVexloDisp>* page = nullptr;
    if (FAILED(fw::CComObject<CVexloDisp>::CreateInstance(&page))) {
        return;
    }
    fw::CComPtr<IVexloDisp> holder(page);
    fw::CComPtr<IDispatch> dispatch;
    if (SUCCEEDED(holder->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) {
        page->Initialize(frameBrowser);
    }
    SetObjectSite(dispatch, m_spUnkSite);
    // From here on the page's window holds the object.
}

HRESULT SetObjectSite(IUnknown* object, IUnknown* site) {
    if (object == nullptr) {
        return E_POINTER;
    }
    fw::CComPtr<IObjectWithSite> withSite;
    HRESULT hr = object->QueryInterface(IID_IObjectWithSite, reinterpret_cast<void**>(&withSite));
    if (FAILED(hr)) {
        return hr;
    }
    return withSite->SetSite(site);
}

}  // namespace vexlo
