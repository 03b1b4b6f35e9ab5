// BSTR, VARIANT, PROPVARIANT and storage media.
#include <cstdlib>
#include <cstring>

#include "w32/com.h"
#include "w32/file.h"
#include "w32/kernel.h"

namespace {

// A BSTR points just after its 4-byte length prefix (the length in bytes).
DWORD* Prefix(BSTR text) {
    return reinterpret_cast<DWORD*>(reinterpret_cast<char*>(text) - 4);
}

BSTR Allocate(UINT length) {
    size_t bytes = 4 + static_cast<size_t>(length) * sizeof(OLECHAR) + sizeof(OLECHAR);
    char* block = static_cast<char*>(malloc(bytes));
    if (block == nullptr) {
        return nullptr;
    }
    *reinterpret_cast<DWORD*>(block) = length * sizeof(OLECHAR);
    BSTR text = reinterpret_cast<BSTR>(block + 4);
    text[length] = 0;
    return text;
}

size_t Length(const OLECHAR* text) {
    size_t length = 0;
    while (text[length] != 0) {
        ++length;
    }
    return length;
}

}  // namespace

W32API BSTR WINAPI SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
    BSTR text = Allocate(ui);
    if (text != nullptr && ui > 0) {
        if (strIn != nullptr) {
            memcpy(text, strIn, ui * sizeof(OLECHAR));
        } else {
            memset(text, 0, ui * sizeof(OLECHAR));
        }
    }
    return text;
}

W32API BSTR WINAPI SysAllocString(const OLECHAR* psz) {
    if (psz == nullptr) {
        return nullptr;
    }
    return SysAllocStringLen(psz, static_cast<UINT>(Length(psz)));
}

W32API void WINAPI SysFreeString(BSTR bstrString) {
    if (bstrString != nullptr) {
        free(Prefix(bstrString));
    }
}

W32API INT WINAPI SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len) {
    if (pbstr == nullptr) {
        return FALSE;
    }
    BSTR replacement = SysAllocStringLen(psz, len);
    if (replacement == nullptr) {
        return FALSE;
    }
    SysFreeString(*pbstr);
    *pbstr = replacement;
    return TRUE;
}

W32API INT WINAPI SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
    return SysReAllocStringLen(pbstr, psz, psz != nullptr ? static_cast<UINT>(Length(psz)) : 0);
}

W32API UINT WINAPI SysStringLen(BSTR pbstr) {
    return pbstr == nullptr ? 0 : *Prefix(pbstr) / sizeof(OLECHAR);
}

W32API UINT WINAPI SysStringByteLen(BSTR bstr) {
    return bstr == nullptr ? 0 : *Prefix(bstr);
}

W32API void WINAPI VariantInit(VARIANTARG* pvarg) {
    if (pvarg != nullptr) {
        memset(pvarg, 0, sizeof(*pvarg));
        pvarg->vt = VT_EMPTY;
    }
}

W32API HRESULT WINAPI VariantClear(VARIANTARG* pvarg) {
    if (pvarg == nullptr) {
        return E_INVALIDARG;
    }
    if ((pvarg->vt & VT_BYREF) == 0) {
        switch (pvarg->vt) {
            case VT_BSTR:
                SysFreeString(pvarg->bstrVal);
                break;
            case VT_UNKNOWN:
            case VT_DISPATCH:
                if (pvarg->punkVal != nullptr) {
                    pvarg->punkVal->Release();
                }
                break;
            default:
                break;
        }
    }
    VariantInit(pvarg);
    return S_OK;
}

W32API HRESULT WINAPI VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
    if (pvargDest == nullptr || pvargSrc == nullptr) {
        return E_INVALIDARG;
    }
    if (pvargDest == pvargSrc) {
        return S_OK;
    }
    VARIANT copy = *pvargSrc;
    if ((copy.vt & VT_BYREF) == 0) {
        if (copy.vt == VT_BSTR && copy.bstrVal != nullptr) {
            copy.bstrVal = SysAllocStringLen(pvargSrc->bstrVal, SysStringLen(pvargSrc->bstrVal));
            if (copy.bstrVal == nullptr) {
                return E_OUTOFMEMORY;
            }
        } else if ((copy.vt == VT_UNKNOWN || copy.vt == VT_DISPATCH) && copy.punkVal != nullptr) {
            copy.punkVal->AddRef();
        }
    }
    VariantClear(pvargDest);
    *pvargDest = copy;
    return S_OK;
}

W32API HRESULT WINAPI PropVariantClear(PROPVARIANT* pvar) {
    if (pvar == nullptr) {
        return S_OK;
    }
    switch (pvar->vt) {
        case VT_BSTR:
            SysFreeString(pvar->bstrVal);
            break;
        case VT_LPSTR:
            CoTaskMemFree(pvar->pszVal);
            break;
        case VT_LPWSTR:
            CoTaskMemFree(pvar->pwszVal);
            break;
        case VT_CLSID:
            CoTaskMemFree(pvar->puuid);
            break;
        case VT_UNKNOWN:
        case VT_DISPATCH:
            if (pvar->punkVal != nullptr) {
                pvar->punkVal->Release();
            }
            break;
        default:
            break;
    }
    memset(pvar, 0, sizeof(*pvar));
    return S_OK;
}

W32API void WINAPI ReleaseStgMedium(LPSTGMEDIUM pmedium) {
    if (pmedium == nullptr) {
        return;
    }
    if (pmedium->pUnkForRelease != nullptr) {
        pmedium->pUnkForRelease->Release();
    } else {
        switch (pmedium->tymed) {
            case TYMED_FILE:
                if (pmedium->lpszFileName != nullptr) {
                    DeleteFileW(pmedium->lpszFileName);
                    CoTaskMemFree(pmedium->lpszFileName);
                }
                break;
            case TYMED_HGLOBAL:
                GlobalFree(pmedium->hGlobal);
                break;
            case TYMED_ISTREAM:
                if (pmedium->pstm != nullptr) {
                    pmedium->pstm->Release();
                }
                break;
            default:
                break;
        }
    }
    memset(pmedium, 0, sizeof(*pmedium));
}
