// The dispatch test server: one class on the framework's object root and
// IDispatchImpl, a module whose lock count answers DllCanUnloadNow, and a
// registration that writes the class and registers the type library.
#include "dispatch_server.h"

#include <string>

#include "framework/com_module_base.h"
#include "framework/com_object.h"
#include "framework/dispatch_impl.h"
#include "framework/module.h"
#include "framework/typelib_registration.h"
#include "support/com_unknown.h"

namespace {

fw::CAtlModule module;

const W32_PARAM_DATA kNameParams[] = {
    {u"name", VT_BSTR | VT_BYREF, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
const W32_PARAM_DATA kTwiceParams[] = {
    {u"value", VT_I4, PARAMFLAG_FIN},
    {u"result", VT_VARIANT | VT_BYREF, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
const W32_FUNC_DATA kThingFuncs[] = {
    {0, u"name", INVOKE_PROPERTYGET, kNameParams, 1, W32_MEMBER(&IDispatchThing::get_name)},
    {1, u"twice", INVOKE_FUNC, kTwiceParams, 2, W32_MEMBER(&IDispatchThing::twice)},
};
const W32_IMPL_DATA kServerImpls[] = {{IID_IDispatchThing, IMPLTYPEFLAG_FDEFAULT}};
const W32_TYPE_DATA kTypes[] = {
    {TKIND_INTERFACE, IID_IDispatchThing, u"IDispatchThing", u"IDispatchThing Interface",
     TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION, kThingFuncs, 2, nullptr, 0},
    {TKIND_COCLASS, CLSID_DispatchServer, u"DispatchServer", u"DispatchServer Class",
     TYPEFLAG_FCANCREATE, nullptr, 0, kServerImpls, 1},
};
const W32_TYPELIB_DATA kLibrary = {W32_TYPELIB_MAGIC,
                                   W32_TYPELIB_FORMAT,
                                   LIBID_DispatchServerLib,
                                   u"DispatchServerLib",
                                   u"DispatchServer 1.0 Type Library",
                                   1,
                                   0,
                                   0,
                                   0,
                                   kTypes,
                                   2};

class CDispatchThing
    : public fw::CComObjectRoot,
      public fw::IDispatchImpl<IDispatchThing, &IID_IDispatchThing, &LIBID_DispatchServerLib> {
public:
    BEGIN_COM_MAP(CDispatchThing)
    COM_INTERFACE_ENTRY(IDispatchThing)
    COM_INTERFACE_ENTRY(IDispatch)
    END_COM_MAP()

    HRESULT STDMETHODCALLTYPE get_name(BSTR* name) override {
        *name = SysAllocString(u"Dispatch.Server");
        return *name != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE twice(LONG value, VARIANT* result) override {
        VariantClear(result);
        result->vt = VT_I4;
        result->lVal = 2 * value;
        return S_OK;
    }
};

// A static object: it holds no lock on the module, only LockServer does.
class Factory final : public test_support::ClassObject {
public:
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        lock ? module.Lock() : module.Unlock();
        return S_OK;
    }

protected:
    HRESULT Create(REFIID riid, void** ppv) override {
        fw::CComObject<CDispatchThing>* thing = nullptr;
        HRESULT hr = fw::CComObject<CDispatchThing>::CreateInstance(&thing);
        if (FAILED(hr)) {
            return hr;
        }
        thing->AddRef();
        hr = thing->QueryInterface(riid, ppv);
        thing->Release();
        return hr;
    }
} factory;

std::u16string ClassKey() {
    OLECHAR guid[39];
    StringFromGUID2(CLSID_DispatchServer, guid, 39);
    return u"CLSID\\" + std::u16string(guid);
}

LONG SetText(const std::u16string& keyName, const std::u16string& text) {
    HKEY key = nullptr;
    LONG status = RegCreateKeyExW(HKEY_CLASSES_ROOT, keyName.c_str(), 0, nullptr, 0, KEY_WRITE,
                                  nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        status =
            RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>((text.size() + 1) * sizeof(OLECHAR)));
        RegCloseKey(key);
    }
    return status;
}

}  // namespace

W32_TYPELIB_RESOURCE(kLibrary)

STDAPI DllCanUnloadNow(void) {
    return module.GetLockCount() == 0 ? S_OK : S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    return rclsid == CLSID_DispatchServer ? factory.QueryInterface(riid, ppv)
                                          : CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllRegisterServer(void) {
    OLECHAR path[MAX_PATH];
    DWORD length = GetModuleFileNameW(fw::ThisModule(), path, MAX_PATH);
    OLECHAR libId[39];
    StringFromGUID2(LIBID_DispatchServerLib, libId, 39);
    LONG status = SetText(ClassKey() + u"\\InprocServer32", std::u16string(path, length));
    if (status == ERROR_SUCCESS) {
        status = SetText(ClassKey() + u"\\TypeLib", libId);
    }
    if (status != ERROR_SUCCESS) {
        return HRESULT_FROM_WIN32(static_cast<unsigned long>(status));
    }
    return fw::RegisterModuleTypeLib(fw::ThisModule(), false);
}

STDAPI DllUnregisterServer(void) {
    LONG status = RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKey().c_str());
    HRESULT hr = fw::UnRegisterModuleTypeLib(fw::ThisModule(), false);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        return HRESULT_FROM_WIN32(static_cast<unsigned long>(status));
    }
    return hr == TYPE_E_REGISTRYACCESS ? S_OK : hr;  // a library not registered is fine
}
