// Registration of a module's own type library (its resource), per machine or
// per user.
#pragma once

#include <windows.h>

#include "framework/com_ptr.h"

namespace fw {

inline HRESULT LoadModuleTypeLib(HMODULE module, ITypeLib** library) {
    OLECHAR path[MAX_PATH];
    DWORD length = ::GetModuleFileNameW(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return TYPE_E_CANTLOADLIBRARY;
    }
    return ::LoadTypeLibEx(path, REGKIND_NONE, library);
}

inline HRESULT RegisterModuleTypeLib(HMODULE module, bool perUser) {
    CComPtr<ITypeLib> library;
    HRESULT hr = LoadModuleTypeLib(module, &library);
    if (FAILED(hr)) {
        return hr;
    }
    OLECHAR path[MAX_PATH];
    ::GetModuleFileNameW(module, path, MAX_PATH);
    return perUser ? ::RegisterTypeLibForUser(library, path, nullptr)
                   : ::RegisterTypeLib(library, path, nullptr);
}

inline HRESULT UnRegisterModuleTypeLib(HMODULE module, bool perUser) {
    CComPtr<ITypeLib> library;
    HRESULT hr = LoadModuleTypeLib(module, &library);
    if (FAILED(hr)) {
        return hr;
    }
    TLIBATTR* attr = nullptr;
    hr = library->GetLibAttr(&attr);
    if (FAILED(hr)) {
        return hr;
    }
    TLIBATTR copy = *attr;
    library->ReleaseTLibAttr(attr);
    return perUser ? ::UnRegisterTypeLibForUser(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum,
                                                copy.lcid, copy.syskind)
                   : ::UnRegisterTypeLib(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid,
                                         copy.syskind);
}

}  // namespace fw
