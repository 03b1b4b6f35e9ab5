#include "addon_support.h"

#include <unistd.h>

#include <filesystem>

#include "framework/text.h"
#include "support/temp_dir.h"
#include "plugins/ie/vexlo_ids.h"

namespace vexlo::test {

Arg::Arg(LONG number) {
    ::VariantInit(&value);
    value.vt = VT_I4;
    value.lVal = number;
}
Arg::Arg(double number) {
    ::VariantInit(&value);
    value.vt = VT_R8;
    value.dblVal = number;
}
Arg::Arg(const char16_t* text) {
    ::VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = ::SysAllocString(text);
}
Arg::Arg(const std::u16string& text) {
    ::VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}
Arg::Arg(IDispatch* object) {
    ::VariantInit(&value);
    value.vt = VT_DISPATCH;
    value.pdispVal = object;
    if (object != nullptr) {
        object->AddRef();
    }
}
Arg::Arg(const Arg& other) {
    ::VariantInit(&value);
    ::VariantCopy(&value, &other.value);
}
Arg::~Arg() {
    ::VariantClear(&value);
}

std::u16string AddOnPath() {
    // A copy in a folder of its own: the add-on starts the agent from its
    // own folder first, and only the tests that mean to start one may.
    static TempDir folder;
    static const std::u16string path = [] {
        std::filesystem::path copy = folder.path() / "ie_agent_vexlo.so";
        std::filesystem::copy_file(VEXLO_IE_MODULE, copy,
                                   std::filesystem::copy_options::overwrite_existing);
        return fw::ToWide(CP_UTF8, copy.string());
    }();
    return path;
}

int ChannelWindows() {
    int count = 0;
    HWND window = nullptr;
    while ((window = ::FindWindowExW(HWND_MESSAGE, window, nullptr, nullptr)) != nullptr) {
        DWORD process = 0;
        ::GetWindowThreadProcessId(window, &process);
        if (process == static_cast<DWORD>(getpid())) {
            ++count;
        }
    }
    return count;
}

void AddOnTest::SetUp() {
    ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
    module = ::LoadLibraryW(AddOnPath().c_str());
    ASSERT_NE(module, nullptr);
    exports.canUnloadNow = reinterpret_cast<decltype(exports.canUnloadNow)>(
        ::GetProcAddress(module, "DllCanUnloadNow"));
    exports.getClassObject = reinterpret_cast<decltype(exports.getClassObject)>(
        ::GetProcAddress(module, "DllGetClassObject"));
    exports.registerServer = reinterpret_cast<decltype(exports.registerServer)>(
        ::GetProcAddress(module, "DllRegisterServer"));
    exports.unregisterServer = reinterpret_cast<decltype(exports.unregisterServer)>(
        ::GetProcAddress(module, "DllUnregisterServer"));
    exports.install =
        reinterpret_cast<decltype(exports.install)>(::GetProcAddress(module, "DllInstall"));
    ASSERT_NE(exports.canUnloadNow, nullptr);
    ASSERT_NE(exports.getClassObject, nullptr);
    ASSERT_NE(exports.registerServer, nullptr);
    ASSERT_NE(exports.unregisterServer, nullptr);
    ASSERT_NE(exports.install, nullptr);
}

void AddOnTest::TearDown() {
    if (helper) {
        helper->SetSite(nullptr);
        helper.Release();
    }
    if (browser) {
        EXPECT_TRUE(browser->ScriptFailures().empty()) << browser->ScriptFailures().front();
    }
    browser.reset();  // the page goes, and its object with it
    functions.clear();
    EXPECT_EQ(browser::ie::LiveFrameObjects(), 0) << "the browser's objects all went";
    if (module != nullptr) {
        ::FreeLibrary(module);
    }
    ::CoFreeUnusedLibraries();
    ::CoUninitialize();
}

void AddOnTest::StartBrowserHelper(const browser::ie::BrowserVariants& variants) {
    ASSERT_EQ(exports.registerServer(), S_OK);
    browser = std::make_unique<TestFrame>(nullptr, variants);
    ASSERT_EQ(::CoCreateInstance(CLSID_VexloPlugin, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_IObjectWithSite, reinterpret_cast<void**>(&helper)),
              S_OK);
    ASSERT_EQ(helper->SetSite(browser->Browser()), S_OK);
}

fw::CComPtr<IDispatch> AddOnTest::PageObject(browser::ie::HostWindow* window) {
    return WindowObject(static_cast<IHTMLWindow2*>(window), u"_vexlo_bho");
}

fw::CComPtr<IDispatch> AddOnTest::Page() {
    return browser ? PageObject(browser->Window()) : fw::CComPtr<IDispatch>();
}

HRESULT AddOnTest::Call(IDispatch* object, const char16_t* name, const std::vector<Arg>& args,
                        VARIANT* result, WORD flags) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
        return hr;
    }
    // Arguments go in reverse order, as script engines pass them.
    std::vector<VARIANT> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it) {
        reversed.push_back(it->value);
    }
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr,
                         static_cast<UINT>(reversed.size()), 0};
    VARIANT ignored;
    ::VariantInit(&ignored);
    EXCEPINFO exception = {};
    hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                        result != nullptr ? result : &ignored, &exception, nullptr);
    ::VariantClear(&ignored);
    ::SysFreeString(exception.bstrSource);
    ::SysFreeString(exception.bstrDescription);
    ::SysFreeString(exception.bstrHelpFile);
    // A failing method reaches script as an exception carrying its HRESULT.
    return hr == DISP_E_EXCEPTION ? exception.scode : hr;
}

fw::CComPtr<FakePageFunction> AddOnTest::NewFunction() {
    fw::CComPtr<FakePageFunction> function;
    function.Attach(new FakePageFunction);
    functions.push_back(function);
    return function;
}

}  // namespace vexlo::test
