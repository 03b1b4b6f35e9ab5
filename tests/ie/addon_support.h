// The add-on loaded as Internet Explorer loads it: registered from its own
// library (in the test's private registry), the browser helper object made
// through COM and sited on the browser host's browser, and page objects reached through
// the window property and called through IDispatch, as a page script calls.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/com_ptr.h"
#include "host_frame.h"
#include "page_doubles.h"

namespace vexlo::test {

// A VARIANT argument that frees what it holds.
struct Arg {
    Arg(LONG value);                  // VT_I4
    Arg(double value);                // VT_R8
    Arg(const char16_t* text);        // VT_BSTR
    Arg(const std::u16string& text);  // VT_BSTR
    Arg(IDispatch* object);           // VT_DISPATCH (null: a null object)
    Arg(const Arg& other);
    ~Arg();
    Arg& operator=(const Arg&) = delete;
    VARIANT value;
};

// The add-on's exports.
struct AddOnExports {
    HRESULT(WINAPI* canUnloadNow)() = nullptr;
    HRESULT(WINAPI* getClassObject)(REFCLSID, REFIID, LPVOID*) = nullptr;
    HRESULT(WINAPI* registerServer)() = nullptr;
    HRESULT(WINAPI* unregisterServer)() = nullptr;
    HRESULT(WINAPI* install)(BOOL, LPCWSTR) = nullptr;
};

class AddOnTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The browser helper object, sited on the top-level browser.
    void StartBrowserHelper(const browser::ie::BrowserVariants& variants = {});
    // The page object in a window, or null.
    static fw::CComPtr<IDispatch> PageObject(browser::ie::HostWindow* window);
    // The page object of the top-level browser's current page.
    fw::CComPtr<IDispatch> Page();
    // A call of a page object's method or property, by name, as script calls;
    // a method's failure comes back as its HRESULT.
    static HRESULT Call(IDispatch* object, const char16_t* name, const std::vector<Arg>& args,
                        VARIANT* result = nullptr, WORD flags = DISPATCH_METHOD);
    fw::CComPtr<FakePageFunction> NewFunction();

    HMODULE module = nullptr;
    AddOnExports exports;
    std::unique_ptr<TestFrame> browser;
    fw::CComPtr<IObjectWithSite> helper;
    std::vector<fw::CComPtr<FakePageFunction>> functions;
};

// The message-only windows of this process: the page objects' channels.
int ChannelWindows();

// The path of the add-on's library.
std::u16string AddOnPath();

}  // namespace vexlo::test
