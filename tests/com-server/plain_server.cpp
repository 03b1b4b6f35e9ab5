// A plain in-process server: one class, a lock count, its registration
// written with the registry calls, and a string table.
#include "plain_server.h"

#include <atomic>
#include <string>

namespace {

std::atomic<LONG> locks{0};

class Thing final : public IPlainThing {
public:
    Thing() { ++locks; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IPlainThing) {
            *ppv = static_cast<IPlainThing*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = --refs;
        if (left == 0) {
            delete this;
        }
        return static_cast<ULONG>(left);
    }
    int STDMETHODCALLTYPE Twice(int value) override { return 2 * value; }

private:
    ~Thing() { --locks; }
    std::atomic<LONG> refs{0};
};

class Factory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // A static object: its count does not matter.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        Thing* thing = new Thing;
        thing->AddRef();
        HRESULT hr = thing->QueryInterface(riid, ppv);
        thing->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        lock ? ++locks : --locks;
        return S_OK;
    }
} factory;

void Anchor() {}

std::u16string ClassKey() {
    OLECHAR guid[39];
    StringFromGUID2(CLSID_PlainServer, guid, 39);
    return u"CLSID\\" + std::u16string(guid);
}

}  // namespace

W32_STRING_TABLE({kPlainNameId, u"Plain.Server"}, {kPlainOtherId, u"Другая строка"})

STDAPI DllCanUnloadNow(void) {
    return locks == 0 ? S_OK : S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    return rclsid == CLSID_PlainServer ? factory.QueryInterface(riid, ppv)
                                       : CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllRegisterServer(void) {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&Anchor),
                       &self);
    OLECHAR path[MAX_PATH];
    DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    HKEY key = nullptr;
    LONG status = RegCreateKeyExW(HKEY_CLASSES_ROOT, (ClassKey() + u"\\InprocServer32").c_str(), 0,
                                  nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                                (length + 1) * sizeof(OLECHAR));
        RegCloseKey(key);
    }
    return HRESULT_FROM_WIN32(static_cast<unsigned long>(status));
}

STDAPI DllUnregisterServer(void) {
    LONG status = RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKey().c_str());
    return status == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(status);
}
