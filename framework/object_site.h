// The small interfaces that scriptable objects and browser add-ons answer:
// IObjectWithSite (the site kept), IObjectSafety (the options supported and
// enabled per object) and ISupportErrorInfo (one interface with rich errors).
#pragma once

#include <windows.h>

#include "framework/com_ptr.h"

namespace fw {

template <class T>
class IObjectWithSiteImpl : public IObjectWithSite {
public:
    // Keeps the site (or drops it for null); a class that does more on a new
    // site overrides this and calls it.
    HRESULT STDMETHODCALLTYPE SetSite(IUnknown* pUnkSite) override {
        m_spUnkSite = pUnkSite;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSite(REFIID riid, void** ppvSite) override {
        if (ppvSite == nullptr) {
            return E_POINTER;
        }
        *ppvSite = nullptr;
        if (!m_spUnkSite) {
            return E_FAIL;
        }
        return m_spUnkSite->QueryInterface(riid, ppvSite);
    }

protected:
    ~IObjectWithSiteImpl() = default;

    CComPtr<IUnknown> m_spUnkSite;
};

// Safety options for the interfaces the object answers: the supported ones
// are fixed, the enabled ones are set within them.
template <class T, DWORD dwSupportedSafety>
class IObjectSafetyImpl : public IObjectSafety {
public:
    HRESULT STDMETHODCALLTYPE GetInterfaceSafetyOptions(REFIID riid, DWORD* pdwSupportedOptions,
                                                        DWORD* pdwEnabledOptions) override {
        if (pdwSupportedOptions == nullptr || pdwEnabledOptions == nullptr) {
            return E_POINTER;
        }
        *pdwSupportedOptions = 0;
        *pdwEnabledOptions = 0;
        if (!Answers(riid)) {
            return E_NOINTERFACE;
        }
        *pdwSupportedOptions = dwSupportedSafety;
        *pdwEnabledOptions = m_dwCurrentSafety;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetInterfaceSafetyOptions(REFIID riid, DWORD dwOptionSetMask,
                                                        DWORD dwEnabledOptions) override {
        if (!Answers(riid)) {
            return E_NOINTERFACE;
        }
        if ((dwOptionSetMask & ~dwSupportedSafety) != 0) {
            return E_FAIL;
        }
        m_dwCurrentSafety =
            (m_dwCurrentSafety & ~dwOptionSetMask) | (dwEnabledOptions & dwOptionSetMask);
        return S_OK;
    }

protected:
    ~IObjectSafetyImpl() = default;

    DWORD m_dwCurrentSafety = 0;

private:
    bool Answers(REFIID riid) {
        IUnknown* answered = nullptr;
        if (FAILED(static_cast<T*>(this)->_InternalQueryInterface(
                riid, reinterpret_cast<void**>(&answered)))) {
            return false;
        }
        answered->Release();
        return true;
    }
};

// S_OK for the one interface whose errors are described, S_FALSE otherwise.
template <const IID* piid>
class ISupportErrorInfoImpl : public ISupportErrorInfo {
public:
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
        return riid == *piid ? S_OK : S_FALSE;
    }

protected:
    ~ISupportErrorInfoImpl() = default;
};

}  // namespace fw
