// COM basics: initialisation, class objects, task memory and GUID strings.
#include <cstdlib>
#include <map>
#include <mutex>

#include "internal/inproc_server.h"
#include "internal/system_classes.h"
#include "w32/com.h"
#include "w32/crt.h"

namespace {

thread_local int initCount = 0;

struct Registration {
    CLSID clsid;
    IUnknown* object;
    DWORD context;
};

struct Provider {
    DWORD context;
    W32_CLASS_PROVIDER provider;
};

struct GuidLess {
    bool operator()(const GUID& a, const GUID& b) const { return memcmp(&a, &b, sizeof(GUID)) < 0; }
};

struct ClassTable {
    std::mutex lock;
    std::map<DWORD, Registration> registered;
    std::map<CLSID, Provider, GuidLess> providers;
    DWORD nextCookie = 1;
};

ClassTable& Classes() {
    static ClassTable* table = new ClassTable;
    return *table;
}

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

bool ParseHex(const char16_t* text, int digits, unsigned long long& value) {
    value = 0;
    for (int i = 0; i < digits; ++i) {
        int v = HexValue(text[i]);
        if (v < 0) {
            return false;
        }
        value = (value << 4) | static_cast<unsigned>(v);
    }
    return true;
}

}  // namespace

W32API HRESULT WINAPI CoInitializeEx(LPVOID, DWORD) {
    return initCount++ == 0 ? S_OK : S_FALSE;
}

W32API HRESULT WINAPI CoInitialize(LPVOID reserved) {
    return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

W32API void WINAPI CoUninitialize(void) {
    if (initCount > 0) {
        --initCount;
    }
}

W32API HRESULT WINAPI CoRegisterClassObject(REFCLSID rclsid, LPUNKNOWN pUnk, DWORD dwClsContext,
                                            DWORD, LPDWORD lpdwRegister) {
    if (pUnk == nullptr || lpdwRegister == nullptr) {
        return E_INVALIDARG;
    }
    ClassTable& table = Classes();
    std::lock_guard<std::mutex> guard(table.lock);
    pUnk->AddRef();
    DWORD cookie = table.nextCookie++;
    table.registered[cookie] = Registration{rclsid, pUnk, dwClsContext};
    *lpdwRegister = cookie;
    return S_OK;
}

W32API HRESULT WINAPI CoRevokeClassObject(DWORD dwRegister) {
    IUnknown* object = nullptr;
    {
        ClassTable& table = Classes();
        std::lock_guard<std::mutex> guard(table.lock);
        auto it = table.registered.find(dwRegister);
        if (it == table.registered.end()) {
            return E_INVALIDARG;
        }
        object = it->second.object;
        table.registered.erase(it);
    }
    object->Release();
    return S_OK;
}

W32API HRESULT WINAPI W32RegisterClassProvider(REFCLSID rclsid, DWORD dwClsContext,
                                               W32_CLASS_PROVIDER provider) {
    if (provider == nullptr) {
        return E_INVALIDARG;
    }
    ClassTable& table = Classes();
    std::lock_guard<std::mutex> guard(table.lock);
    table.providers[rclsid] = Provider{dwClsContext, provider};
    return S_OK;
}

W32API void WINAPI W32RevokeClassProvider(REFCLSID rclsid) {
    ClassTable& table = Classes();
    std::lock_guard<std::mutex> guard(table.lock);
    table.providers.erase(rclsid);
}

W32API HRESULT WINAPI CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID, REFIID riid,
                                       LPVOID* ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (initCount == 0) {
        return CO_E_NOTINITIALIZED;
    }
    IUnknown* object = nullptr;
    W32_CLASS_PROVIDER provider = nullptr;
    {
        ClassTable& table = Classes();
        std::lock_guard<std::mutex> guard(table.lock);
        for (auto& [cookie, registration] : table.registered) {
            if (registration.clsid == rclsid && (registration.context & dwClsContext) != 0) {
                object = registration.object;
                object->AddRef();
                break;
            }
        }
        if (object == nullptr) {
            auto it = table.providers.find(rclsid);
            if (it != table.providers.end() && (it->second.context & dwClsContext) != 0) {
                provider = it->second.provider;
            }
        }
    }
    if (object != nullptr) {
        HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    }
    if (provider != nullptr) {
        return provider(rclsid, riid, ppv);
    }
    HRESULT hr = w32::com::SystemClassObject(rclsid, dwClsContext, riid, ppv);
    if (hr != REGDB_E_CLASSNOTREG) {
        return hr;
    }
    // Last, a server registered in the registry.
    return w32::com::InprocServerClassObject(rclsid, dwClsContext, riid, ppv);
}

W32API HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                       REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (initCount == 0) {
        return CO_E_NOTINITIALIZED;
    }
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory,
                                  reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) {
        return hr;
    }
    hr = factory->CreateInstance(pUnkOuter, riid, ppv);
    factory->Release();
    return hr;
}

W32API LPVOID WINAPI CoTaskMemAlloc(SIZE_T cb) {
    return malloc(cb ? cb : 1);
}

W32API LPVOID WINAPI CoTaskMemRealloc(LPVOID pv, SIZE_T cb) {
    return realloc(pv, cb ? cb : 1);
}

W32API void WINAPI CoTaskMemFree(LPVOID pv) {
    free(pv);
}

W32API int WINAPI StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
    if (lpsz == nullptr || cchMax < 39) {
        return 0;
    }
    int length = swprintf_s(
        lpsz, static_cast<size_t>(cchMax), u"{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
        rguid.Data1, rguid.Data2, rguid.Data3, rguid.Data4[0], rguid.Data4[1], rguid.Data4[2],
        rguid.Data4[3], rguid.Data4[4], rguid.Data4[5], rguid.Data4[6], rguid.Data4[7]);
    return length < 0 ? 0 : length + 1;
}

W32API HRESULT WINAPI IIDFromString(LPCOLESTR lpsz, LPGUID lpiid) {
    if (lpsz == nullptr || lpiid == nullptr || wcslen(lpsz) != 38 || lpsz[0] != u'{' ||
        lpsz[9] != u'-' || lpsz[14] != u'-' || lpsz[19] != u'-' || lpsz[24] != u'-' ||
        lpsz[37] != u'}') {
        return CO_E_CLASSSTRING;
    }
    unsigned long long value = 0;
    GUID guid = {};
    if (!ParseHex(lpsz + 1, 8, value))
        return CO_E_CLASSSTRING;
    guid.Data1 = static_cast<DWORD>(value);
    if (!ParseHex(lpsz + 10, 4, value))
        return CO_E_CLASSSTRING;
    guid.Data2 = static_cast<WORD>(value);
    if (!ParseHex(lpsz + 15, 4, value))
        return CO_E_CLASSSTRING;
    guid.Data3 = static_cast<WORD>(value);
    const int offsets[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!ParseHex(lpsz + offsets[i], 2, value))
            return CO_E_CLASSSTRING;
        guid.Data4[i] = static_cast<BYTE>(value);
    }
    *lpiid = guid;
    return S_OK;
}

W32API HRESULT WINAPI CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
    return IIDFromString(lpsz, pclsid);
}

W32API HRESULT WINAPI StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz) {
    if (lplpsz == nullptr) {
        return E_INVALIDARG;
    }
    *lplpsz = static_cast<LPOLESTR>(CoTaskMemAlloc(39 * sizeof(OLECHAR)));
    if (*lplpsz == nullptr) {
        return E_OUTOFMEMORY;
    }
    StringFromGUID2(rclsid, *lplpsz, 39);
    return S_OK;
}
