#include "host_frame.h"

namespace vexlo::test {

using browser::ie::HostBrowser;
using browser::ie::HostDocument;
using browser::ie::HostWindow;
using browser::ie::ScriptEngine;

namespace {

constexpr char16_t kUrl[] = u"http://example.test/";

}  // namespace

TestFrame::TestFrame(TestFrame* topFrame, const browser::ie::BrowserVariants& browserVariants)
    : top(topFrame != nullptr ? topFrame : this), variants(browserVariants) {
    browser.Attach(new HostBrowser(topFrame != nullptr ? topFrame->browser.p : nullptr, variants));
}

TestFrame::~TestFrame() {
    Unload();
}

void TestFrame::Unload() {
    browser::ie::EndDocument(*browser, window, document, engine, kUrl);
}

void TestFrame::Load(bool withDocument) {
    Unload();
    if (withDocument) {
        window.Attach(new HostWindow);
        document.Attach(new HostDocument(kUrl, window.p, !variants.documentWithoutWindow));
        engine = std::make_unique<ScriptEngine>(control, "http://example.test/");
        window->Attach(engine.get(), document.p);
    }
    browser->Show(document.p, window.p, kUrl);
}

void TestFrame::FireNavigateComplete(IDispatch* frame) {
    top->browser->FireFrameEvent(DISPID_NAVIGATECOMPLETE2,
                                 frame != nullptr ? frame : static_cast<IWebBrowser2*>(browser.p),
                                 kUrl);
}

void TestFrame::Navigate(bool withDocument) {
    Load(withDocument);
    FireNavigateComplete();
}

fw::CComPtr<IDispatch> WindowObject(IDispatch* window, const char16_t* name) {
    fw::CComPtr<IDispatch> object;
    if (window == nullptr) {
        return object;
    }
    DISPID id = DISPID_UNKNOWN;
    // A BSTR: the host's window reads the names as BSTRs.
    fw::CComBSTR wanted(name);
    LPOLESTR names[] = {wanted};
    if (FAILED(window->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) {
        return object;
    }
    VARIANT value;
    ::VariantInit(&value);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    if (SUCCEEDED(window->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                                 &value, nullptr, nullptr)) &&
        value.vt == VT_DISPATCH) {
        object = value.pdispVal;
    }
    ::VariantClear(&value);
    return object;
}

LONG ScriptNumber(ScriptEngine* engine, const char16_t* name) {
    VARIANT value;
    ::VariantInit(&value);
    LONG number = -1;
    if (engine != nullptr && SUCCEEDED(engine->GetGlobal(name, &value)) && value.vt == VT_I4) {
        number = value.lVal;
    }
    ::VariantClear(&value);
    return number;
}

}  // namespace vexlo::test
