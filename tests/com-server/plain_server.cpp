// A plain in-process server: one class, a lock count, its registration
// written with the registry calls, and a string table.
#include "plain_server.h"

#include <atomic>
#include <string>

#include "support/com_unknown.h"

namespace {

std::atomic<LONG> locks{0};

class Thing final : public test_support::RefCounted<IPlainThing> {
public:
    Thing() { ++locks; }
    int STDMETHODCALLTYPE Twice(int value) override { return 2 * value; }

private:
    ~Thing() override { --locks; }
};

// A static object: it holds no lock on the module, only LockServer does.
class Factory final : public test_support::ClassObject {
public:
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        lock ? ++locks : --locks;
        return S_OK;
    }

protected:
    HRESULT Create(REFIID riid, void** ppv) override {
        Thing* thing = new Thing;
        HRESULT hr = thing->QueryInterface(riid, ppv);
        thing->Release();
        return hr;
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
