// IDispatch of a dual interface through its type description: the library is
// loaded from the registry and, when it is not registered, from the module's
// own resource, so an object works before registration too.
#pragma once

#include <windows.h>

#include <mutex>

#include "framework/com_ptr.h"
#include "framework/module.h"

namespace fw {

// The type description of interface iid in library libid, major.minor.
inline HRESULT LoadTypeInfo(REFGUID libid, WORD major, WORD minor, REFIID iid, ITypeInfo** info) {
    *info = nullptr;
    CComPtr<ITypeLib> library;
    HRESULT hr = ::LoadRegTypeLib(libid, major, minor, LOCALE_USER_DEFAULT, &library);
    if (FAILED(hr)) {
        OLECHAR path[MAX_PATH];
        DWORD length = ::GetModuleFileNameW(ThisModule(), path, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) {
            return TYPE_E_CANTLOADLIBRARY;
        }
        hr = ::LoadTypeLibEx(path, REGKIND_NONE, &library);
        if (FAILED(hr)) {
            return hr;
        }
    }
    return library->GetTypeInfoOfGuid(iid, info);
}

template <class T, const IID* piid, const GUID* plibid, WORD wMajor = 1, WORD wMinor = 0>
class IDispatchImpl : public T {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
        if (pctinfo == nullptr) {
            return E_POINTER;
        }
        *pctinfo = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) override {
        if (ppTInfo == nullptr) {
            return E_POINTER;
        }
        *ppTInfo = nullptr;
        if (iTInfo != 0) {
            return DISP_E_BADINDEX;
        }
        ITypeInfo* info = nullptr;
        HRESULT hr = TypeInfo(&info);
        if (SUCCEEDED(hr)) {
            info->AddRef();
            *ppTInfo = info;
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                                            DISPID* rgDispId) override {
        if (riid != IID_NULL) {
            return DISP_E_UNKNOWNINTERFACE;
        }
        ITypeInfo* info = nullptr;
        HRESULT hr = TypeInfo(&info);
        return FAILED(hr) ? hr : info->GetIDsOfNames(rgszNames, cNames, rgDispId);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                     EXCEPINFO* pExcepInfo, UINT* puArgErr) override {
        if (riid != IID_NULL) {
            return DISP_E_UNKNOWNINTERFACE;
        }
        ITypeInfo* info = nullptr;
        HRESULT hr = TypeInfo(&info);
        if (FAILED(hr)) {
            return hr;
        }
        return info->Invoke(static_cast<T*>(this), dispIdMember, wFlags, pDispParams, pVarResult,
                            pExcepInfo, puArgErr);
    }

protected:
    ~IDispatchImpl() = default;

private:
    // The description, loaded once per object and kept while it lives.
    HRESULT TypeInfo(ITypeInfo** info) {
        std::lock_guard<std::mutex> guard(typeInfoLock);
        if (!typeInfo) {
            HRESULT hr = LoadTypeInfo(*plibid, wMajor, wMinor, *piid, &typeInfo);
            if (FAILED(hr)) {
                return hr;
            }
        }
        *info = typeInfo;
        return S_OK;
    }

    std::mutex typeInfoLock;
    CComPtr<ITypeInfo> typeInfo;
};

}  // namespace fw
