// The test COM server: one class, registered by its description, created
// through its class factory and called through IDispatch by name.
#include "test_server.h"

#include <string>

#include "framework/com_dll_module.h"
#include "framework/com_object.h"
#include "framework/dispatch_impl.h"

namespace {

constexpr UINT IDR_GREETER = 101;

const char kGreeterScript[] = R"(
HKCR
{
    Test.Greeter.1 = s 'Greeter class'
    {
        CLSID = s '{7B1C3D2E-4F50-4B6C-9D8E-0F1A2B3C4D03}'
    }
    Test.Greeter = s 'Greeter class'
    {
        CLSID = s '{7B1C3D2E-4F50-4B6C-9D8E-0F1A2B3C4D03}'
        CurVer = s 'Test.Greeter.1'
    }
    NoRemove CLSID
    {
        ForceRemove {7B1C3D2E-4F50-4B6C-9D8E-0F1A2B3C4D03} = s 'Greeter Class'
        {
            ProgID = s 'Test.Greeter.1'
            VersionIndependentProgID = s 'Test.Greeter'
            ForceRemove Programmable
            InprocServer32 = s '%MODULE%'
            {
                val ThreadingModel = s 'Apartment'
            }
            TypeLib = s '{7B1C3D2E-4F50-4B6C-9D8E-0F1A2B3C4D01}'
            val AppID = s '%APPID%'
        }
    }
}
)";
W32_RESOURCE(RT_REGISTRY_SCRIPT, IDR_GREETER, kGreeterScript, sizeof(kGreeterScript) - 1)

constexpr USHORT kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
const W32_PARAM_DATA kGreetParams[] = {{u"name", VT_BSTR, PARAMFLAG_FIN},
                                       {u"greeting", VT_BSTR | VT_BYREF, kRetval}};
const W32_PARAM_DATA kAddParams[] = {{u"a", VT_I4, PARAMFLAG_FIN},
                                     {u"b", VT_I4, PARAMFLAG_FIN},
                                     {u"sum", VT_I4 | VT_BYREF, kRetval}};
const W32_FUNC_DATA kGreeterFuncs[] = {
    {1, u"Greet", INVOKE_FUNC, kGreetParams, 2, W32_MEMBER(&IGreeter::Greet)},
    {2, u"Add", INVOKE_FUNC, kAddParams, 3, W32_MEMBER(&IGreeter::Add)},
};
const W32_IMPL_DATA kGreeterImpls[] = {{IID_IGreeter, IMPLTYPEFLAG_FDEFAULT}};
const W32_TYPE_DATA kTypes[] = {
    {TKIND_INTERFACE, IID_IGreeter, u"IGreeter", u"IGreeter Interface",
     TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION, kGreeterFuncs, 2, nullptr, 0},
    {TKIND_COCLASS, CLSID_Greeter, u"Greeter", u"Greeter Class", TYPEFLAG_FCANCREATE, nullptr, 0,
     kGreeterImpls, 1},
};
const W32_TYPELIB_DATA kLibrary = {W32_TYPELIB_MAGIC,
                                   W32_TYPELIB_FORMAT,
                                   LIBID_TestServerLib,
                                   u"TestServerLib",
                                   u"Test server",
                                   1,
                                   0,
                                   0,
                                   0,
                                   kTypes,
                                   2};
W32_TYPELIB_RESOURCE(kLibrary)

W32_STRING_TABLE({IDS_PROJNAME, u"Test.Server"})

class CTestServerModule : public fw::CAtlDllModuleT<CTestServerModule> {
public:
    // Every description of the module gets its application id.
    HRESULT AddCommonRGSReplacements(fw::CRegistrar& registrar) override {
        HRESULT hr = CAtlDllModuleT::AddCommonRGSReplacements(registrar);
        if (SUCCEEDED(hr)) {
            registrar.AddReplacement(u"APPID", kTestServerAppId);
        }
        return hr;
    }
} module;

class CGreeter : public fw::CComObjectRootEx<fw::CComSingleThreadModel>,
                 public fw::IDispatchImpl<IGreeter, &IID_IGreeter, &LIBID_TestServerLib> {
public:
    DECLARE_REGISTRY_RESOURCEID(IDR_GREETER)

    BEGIN_COM_MAP(CGreeter)
    COM_INTERFACE_ENTRY(IGreeter)
    COM_INTERFACE_ENTRY(IDispatch)
    END_COM_MAP()

    HRESULT STDMETHODCALLTYPE Greet(BSTR name, BSTR* greeting) override {
        if (greeting == nullptr) {
            return E_POINTER;
        }
        std::u16string text = u"Hello, " + std::u16string(name != nullptr ? name : u"");
        *greeting = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return *greeting != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE Add(LONG a, LONG b, LONG* sum) override {
        if (sum == nullptr) {
            return E_POINTER;
        }
        *sum = a + b;
        return S_OK;
    }
};

}  // namespace

OBJECT_ENTRY_AUTO(CLSID_Greeter, CGreeter)

STDAPI DllCanUnloadNow(void) {
    return module.DllCanUnloadNow();
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return module.DllGetClassObject(rclsid, riid, ppv);
}

// The class and the type library.
STDAPI DllRegisterServer(void) {
    return module.DllRegisterServer();
}

STDAPI DllUnregisterServer(void) {
    return module.DllUnregisterServer();
}

// "user" (in any case, the whole word) registers for the current user only.
STDAPI DllInstall(BOOL bInstall, LPCWSTR pszCmdLine) {
    if (pszCmdLine != nullptr && _wcsicmp(pszCmdLine, u"user") == 0) {
        fw::AtlSetPerUserRegistration(true);
    }
    if (!bInstall) {
        return DllUnregisterServer();
    }
    HRESULT hr = DllRegisterServer();
    if (FAILED(hr)) {
        DllUnregisterServer();
    }
    return hr;
}
