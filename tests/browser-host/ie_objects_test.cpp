// The IE mode's object model as an add-on sees it: the browser's services,
// the events' arguments and their firing, the window's expando puts, and a
// document's end in a browser's order.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "framework/com_ptr.h"
#include "ie_frame.h"
#include "ie_frame_objects.h"
#include "ie_script_engine.h"
#include "support/com_objects.h"
#include "support/com_unknown.h"
#include "support/temp_dir.h"

namespace browser::ie {
namespace {

using test_support::CountedDispatch;
using vexlo::test::TempDir;

// What the test objects below share: an IDispatch that answers no names.
class TestDispatch : public test_support::RefCounted<IDispatch> {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* infoCount) override {
        *infoCount = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
};

// A DWebBrowserEvents2 sink that hands every call to the test while its
// arguments are alive.
class Sink final : public TestDispatch {
public:
    std::function<void(DISPID, DISPPARAMS*)> onInvoke;
    bool* destroyed = nullptr;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (IsEqualIID(riid, DIID_DWebBrowserEvents2)) {
            return TestDispatch::QueryInterface(IID_IDispatch, object);
        }
        return TestDispatch::QueryInterface(riid, object);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                     EXCEPINFO*, UINT*) override {
        fw::CComPtr<IDispatch> alive(this);  // a sink may be let go inside its own call
        if (onInvoke) {
            onInvoke(id, params);
        }
        return S_OK;
    }

private:
    ~Sink() override {
        if (destroyed != nullptr) {
            *destroyed = true;
        }
    }
};

DWORD Advise(IUnknown* source, IUnknown* sink) {
    fw::CComPtr<IConnectionPointContainer> container;
    EXPECT_EQ(
        source->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container)),
        S_OK);
    fw::CComPtr<IConnectionPoint> point;
    EXPECT_EQ(container->FindConnectionPoint(DIID_DWebBrowserEvents2, &point), S_OK);
    DWORD cookie = 0;
    EXPECT_EQ(point->Advise(sink, &cookie), S_OK);
    return cookie;
}

void Unadvise(IUnknown* source, DWORD cookie) {
    fw::CComPtr<IConnectionPointContainer> container;
    source->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container));
    fw::CComPtr<IConnectionPoint> point;
    container->FindConnectionPoint(DIID_DWebBrowserEvents2, &point);
    EXPECT_EQ(point->Unadvise(cookie), S_OK);
}

TEST(IeBrowserObjects, ServicesDocumentAndEventPointAnswerAsTheBrowserDoes) {
    for (bool withoutService : {false, true}) {
        BrowserVariants variants;
        variants.siteWithoutService = withoutService;
        {
            fw::CComPtr<HostBrowser> top;
            top.Attach(new HostBrowser(nullptr, variants));
            fw::CComPtr<HostBrowser> frame;
            frame.Attach(new HostBrowser(top, variants));
            fw::CComPtr<HostWindow> window;
            window.Attach(new HostWindow);
            fw::CComPtr<HostDocument> document;
            document.Attach(new HostDocument(u"file:///page.html", window, true));

            fw::CComPtr<IServiceProvider> services;
            ASSERT_EQ(
                frame->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(&services)),
                S_OK);
            fw::CComPtr<IWebBrowser2> app;
            EXPECT_EQ(services->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2,
                                             reinterpret_cast<void**>(&app)),
                      withoutService ? E_NOINTERFACE : S_OK);
            EXPECT_EQ(app.p, withoutService ? nullptr : static_cast<IWebBrowser2*>(top.p));
            fw::CComPtr<IHTMLWindow2> serviceWindow;
            EXPECT_EQ(services->QueryService(IID_IHTMLWindow2, IID_IHTMLWindow2,
                                             reinterpret_cast<void**>(&serviceWindow)),
                      E_NOINTERFACE)
                << "no window before a document is shown";
            EXPECT_EQ(services->QueryService(IID_IHTMLWindow2, IID_IHTMLWindow2, nullptr),
                      E_POINTER);

            fw::CComPtr<IDispatch> shown;
            EXPECT_EQ(frame->get_Document(&shown), S_FALSE);
            EXPECT_EQ(shown.p, nullptr);
            frame->Show(document, window, u"file:///page.html");
            EXPECT_EQ(frame->get_Document(&shown), S_OK);
            EXPECT_EQ(shown.p, static_cast<IDispatch*>(document.p));
            EXPECT_EQ(services->QueryService(IID_IHTMLWindow2, IID_IHTMLWindow2,
                                             reinterpret_cast<void**>(&serviceWindow)),
                      S_OK);
            EXPECT_EQ(serviceWindow.p, static_cast<IHTMLWindow2*>(window.p));
            fw::CComPtr<IHTMLWindow2> parent;
            EXPECT_EQ(document->get_parentWindow(&parent), S_OK);
            EXPECT_EQ(parent.p, static_cast<IHTMLWindow2*>(window.p));

            fw::CComPtr<IConnectionPoint> point;
            EXPECT_EQ(frame->FindConnectionPoint(IID_IDispatch, &point), CONNECT_E_NOCONNECTION);
            EXPECT_EQ(frame->FindConnectionPoint(DIID_DWebBrowserEvents2, &point), S_OK);
            frame->Show(nullptr, nullptr, u"");
            document->Detach();
            window->Detach();
        }
        EXPECT_EQ(LiveFrameObjects(), 0) << "every reference was given back";
    }
}

TEST(IeBrowserObjects, FrameEventsCarryTheFrameAndTheUrlByReference) {
    {
        fw::CComPtr<HostBrowser> top;
        top.Attach(new HostBrowser(nullptr, {}));
        fw::CComPtr<HostBrowser> frame;
        frame.Attach(new HostBrowser(top, {}));
        struct Seen {
            DISPID id;
            UINT args;
            VARTYPE first;
            std::u16string text;
            IDispatch* frame;
        };
        std::vector<Seen> seen;
        fw::CComPtr<Sink> sink;
        sink.Attach(new Sink);
        sink->onInvoke = [&](DISPID id, DISPPARAMS* params) {
            Seen one{id, params->cArgs, VT_EMPTY, u"", nullptr};
            if (params->cArgs >= 1) {
                const VARIANT& first = params->rgvarg[0];
                one.first = first.vt;
                const VARIANT& text = first.vt == (VT_BYREF | VT_VARIANT) ? *first.pvarVal : first;
                if (text.vt == VT_BSTR) {
                    one.text.assign(text.bstrVal, ::SysStringLen(text.bstrVal));
                }
            }
            if (params->cArgs == 2 && params->rgvarg[1].vt == VT_DISPATCH) {
                one.frame = params->rgvarg[1].pdispVal;
            }
            seen.push_back(one);
        };
        DWORD cookie = Advise(static_cast<IWebBrowser2*>(top.p), sink);
        top->FireFrameEvent(DISPID_NAVIGATECOMPLETE2, static_cast<IWebBrowser2*>(frame.p),
                            u"file:///frame.html");
        top->Fire(DISPID_TITLECHANGE, {[] {
                      VARIANT title;
                      ::VariantInit(&title);
                      title.vt = VT_BSTR;
                      title.bstrVal = ::SysAllocString(u"Title");
                      return title;
                  }()});
        top->Fire(DISPID_DOWNLOADBEGIN);
        ASSERT_EQ(seen.size(), 3u);
        EXPECT_EQ(seen[0].id, DISPID_NAVIGATECOMPLETE2);
        EXPECT_EQ(seen[0].args, 2u);
        EXPECT_EQ(seen[0].first, VT_BYREF | VT_VARIANT);
        EXPECT_EQ(seen[0].text, u"file:///frame.html");
        EXPECT_EQ(seen[0].frame, static_cast<IDispatch*>(static_cast<IWebBrowser2*>(frame.p)));
        EXPECT_EQ(seen[1].id, DISPID_TITLECHANGE);
        EXPECT_EQ(seen[1].first, VT_BSTR);
        EXPECT_EQ(seen[1].text, u"Title");
        EXPECT_EQ(seen[2].args, 0u);
        Unadvise(static_cast<IWebBrowser2*>(top.p), cookie);
        EXPECT_EQ(top->Sinks(), 0u);
    }
    EXPECT_EQ(LiveFrameObjects(), 0);
}

TEST(IeBrowserObjects, ASinkUnadvisedOrFreedDuringTheFireIsSafe) {
    fw::CComPtr<HostBrowser> top;
    top.Attach(new HostBrowser(nullptr, {}));
    bool firstGone = false, secondGone = false;
    int calls = 0;
    Sink* first = new Sink;
    Sink* second = new Sink;
    first->destroyed = &firstGone;
    second->destroyed = &secondGone;
    DWORD firstCookie = Advise(static_cast<IWebBrowser2*>(top.p), first);
    DWORD secondCookie = Advise(static_cast<IWebBrowser2*>(top.p), second);
    // The test's own references go: the point holds each sink.
    first->Release();
    second->Release();
    first->onInvoke = [&](DISPID, DISPPARAMS*) {
        ++calls;
        Unadvise(static_cast<IWebBrowser2*>(top.p), firstCookie);
        Unadvise(static_cast<IWebBrowser2*>(top.p), secondCookie);
    };
    second->onInvoke = [&](DISPID, DISPPARAMS*) { ++calls; };
    top->Fire(DISPID_DOWNLOADCOMPLETE);
    EXPECT_EQ(calls, 2) << "the fire goes to the sinks connected when it started";
    EXPECT_TRUE(firstGone);
    EXPECT_TRUE(secondGone);
    top->Fire(DISPID_DOWNLOADCOMPLETE);
    EXPECT_EQ(calls, 2);
}

// --- The window and the document's end, with a real engine --------------------------------

class TestHost final : public FrameHost {
public:
    const BrowserVariants& Variants() const override { return variants; }
    void Log(const std::string& text) override { logs.push_back(text); }
    void Verbose(const std::string& text) override { logs.push_back(text); }
    void Finish(int code) override {
        finished = true;
        exitCode = code;
    }
    bool Finished() const override { return finished; }
    HWND HostWindow() const override { return nullptr; }
    void PostNavigation(uint32_t) override {}
    uint32_t NextSerial() override { return serial++; }
    int ChannelWindows() const override { return 0; }

    BrowserVariants variants;
    std::vector<std::string> logs;
    bool finished = false;
    int exitCode = -1;
    uint32_t serial = 1;
};

// Puts a value into a window as an add-on does; the HRESULT of the put.
HRESULT PutIntoWindow(IUnknown* window, const char16_t* name, VARIANT value, WORD flags,
                      bool namedArgument) {
    fw::CComPtr<IDispatchEx> expandos;
    if (FAILED(window->QueryInterface(IID_IDispatchEx, reinterpret_cast<void**>(&expandos)))) {
        return E_NOINTERFACE;
    }
    fw::CComBSTR bstr(name);
    DISPID id = 0;
    HRESULT hr = expandos->GetDispID(bstr.m_str, fdexNameEnsure, &id);
    if (FAILED(hr)) {
        return hr;
    }
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params = {&value, namedArgument ? &named : nullptr, 1, namedArgument ? 1u : 0u};
    return expandos->InvokeEx(id, LOCALE_USER_DEFAULT, flags, &params, nullptr, nullptr, nullptr);
}

// A page object that keeps the page function it is given, as the add-on's
// page object does through its channel: page -> object -> function -> page.
class Keeper final : public TestDispatch {
public:
    std::function<void(Keeper&)> onFinalRelease;
    fw::CComPtr<IDispatch> kept;

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID,
                                            DISPID* ids) override {
        ids[0] = std::u16string(names[0]) == u"keep" ? 1 : DISPID_UNKNOWN;
        return ids[0] == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT*, EXCEPINFO*, UINT*) override {
        if (id != 1 || (flags & DISPATCH_METHOD) == 0) {
            return DISP_E_MEMBERNOTFOUND;
        }
        if (params->cArgs != 1 || params->rgvarg[0].vt != VT_DISPATCH) {
            return DISP_E_TYPEMISMATCH;
        }
        kept = params->rgvarg[0].pdispVal;
        return S_OK;
    }

private:
    ~Keeper() override {
        if (onFinalRelease) {
            onFinalRelease(*this);
        }
    }
};

HRESULT CallFunction(IDispatch* function) {
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    VARIANT result;
    ::VariantInit(&result);
    HRESULT hr = function->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                  &none, &result, nullptr, nullptr);
    ::VariantClear(&result);
    return hr;
}

TEST(IeWindow, PutsStoreReferencesAsTheBrowserDoes) {
    TestHost host;
    {
        Frame frame(host, nullptr, 1);
        TempDir folder;
        std::filesystem::path page = folder.path() / "page.html";
        FILE* file = std::fopen(page.c_str(), "w");
        std::fputs("<script>var seen = 1;</script>", file);
        std::fclose(file);
        ASSERT_TRUE(frame.Load(page, true));
        IUnknown* window = static_cast<IHTMLWindow2*>(frame.Window());

        struct Case {
            const char16_t* name;
            WORD flags;
            bool named;
            HRESULT result;
            VARTYPE stored;
        };
        const Case cases[] = {
            // PUTREF among the flags stores the reference, named argument or not.
            {u"a", DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF, false, S_OK, VT_DISPATCH},
            {u"b", DISPATCH_PROPERTYPUTREF, true, S_OK, VT_DISPATCH},
            // A plain put of an object stores its value.
            {u"c", DISPATCH_PROPERTYPUT, true, S_OK, VT_I4},
        };
        for (const Case& test : cases) {
            CountedDispatch* object = new CountedDispatch;
            object->hasValue = true;
            object->value.vt = VT_I4;
            object->value.lVal = 7;
            VARIANT value;
            value.vt = VT_DISPATCH;
            value.pdispVal = object;
            EXPECT_EQ(PutIntoWindow(window, test.name, value, test.flags, test.named), test.result);
            VARIANT stored;
            ::VariantInit(&stored);
            EXPECT_EQ(frame.Engine()->GetGlobal(test.name, &stored), S_OK);
            EXPECT_EQ(stored.vt, test.stored);
            if (stored.vt == VT_DISPATCH) {
                EXPECT_EQ(stored.pdispVal, static_cast<IDispatch*>(object));
            }
            ::VariantClear(&stored);
            EXPECT_EQ(object->Count(), test.stored == VT_DISPATCH ? 2u : 1u) << "one held";
            object->Release();
        }
        // Refused puts.
        VARIANT number;
        number.vt = VT_I4;
        number.lVal = 1;
        fw::CComPtr<IDispatchEx> expandos;
        window->QueryInterface(IID_IDispatchEx, reinterpret_cast<void**>(&expandos));
        DISPID id = 0;
        fw::CComBSTR missing(u"missing");
        EXPECT_EQ(expandos->GetDispID(missing.m_str, 0, &id), DISP_E_UNKNOWNNAME);
        fw::CComBSTR seen(u"seen");
        EXPECT_EQ(expandos->GetDispID(seen.m_str, 0, &id), S_OK) << "a script's global";
        // IDispatch's names are plain strings, found in any letter case.
        char16_t plain[] = u"SEEN";
        LPOLESTR names[] = {plain};
        DISPID byName = 0;
        EXPECT_EQ(expandos->GetIDsOfNames(IID_NULL, names, 1, 0, &byName), S_OK);
        EXPECT_EQ(byName, id);
        DISPID wrongName = 5;
        DISPPARAMS wrong = {&number, &wrongName, 1, 1};
        EXPECT_EQ(
            expandos->InvokeEx(id, 0, DISPATCH_PROPERTYPUT, &wrong, nullptr, nullptr, nullptr),
            DISP_E_PARAMNOTFOUND);
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        EXPECT_EQ(expandos->InvokeEx(id, 0, DISPATCH_PROPERTYPUT, &none, nullptr, nullptr, nullptr),
                  DISP_E_BADPARAMCOUNT);
        EXPECT_EQ(
            expandos->InvokeEx(4242, 0, DISPATCH_PROPERTYGET, &none, nullptr, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
        frame.Unload();
    }
    EXPECT_EQ(LiveFrameObjects(), 0);
}

// NavigateComplete2 comes before the page's inline scripts; at the end the
// expandos go first, then what the scripts hold, while the engine still
// runs; the functions that COM still holds are inert afterwards.
TEST(IeWindow, ADocumentEndsInTheBrowsersOrderAndBreaksThePageCycle) {
    TestHost host;
    TempDir folder;
    std::filesystem::path page = folder.path() / "page.html";
    FILE* file = std::fopen(page.c_str(), "w");
    std::fputs(
        "<script>var got = typeof keeper; var held = keeper;"
        "keeper.keep(function () { return 42; }); print(got);</script>",
        file);
    std::fclose(file);

    std::vector<std::string> order;
    fw::CComPtr<IDispatch> function;
    HRESULT callAtRelease = E_FAIL;
    {
        Frame frame(host, nullptr, 1);
        Keeper* keeper = new Keeper;
        keeper->onFinalRelease = [&](Keeper& self) {
            order.push_back("keeper released");
            order.push_back(frame.Window()->Expandos().empty() ? "no expandos" : "expandos");
            callAtRelease = CallFunction(self.kept);
        };
        Sink* sink = new Sink;
        sink->onInvoke = [&](DISPID id, DISPPARAMS* params) {
            if (id != DISPID_NAVIGATECOMPLETE2) {
                return;
            }
            order.push_back("navigate complete");
            fw::CComPtr<IWebBrowser2> browser;
            params->rgvarg[1].pdispVal->QueryInterface(IID_IWebBrowser2,
                                                       reinterpret_cast<void**>(&browser));
            fw::CComPtr<IDispatch> document;
            browser->get_Document(&document);
            fw::CComPtr<IHTMLDocument2> html;
            document->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&html));
            fw::CComPtr<IHTMLWindow2> window;
            html->get_parentWindow(&window);
            VARIANT value;
            value.vt = VT_DISPATCH;
            value.pdispVal = keeper;
            EXPECT_EQ(PutIntoWindow(window, u"keeper", value,
                                    DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF, false),
                      S_OK);
        };
        DWORD cookie = Advise(static_cast<IWebBrowser2*>(frame.Browser()), sink);
        sink->Release();
        ASSERT_TRUE(frame.Load(page, true));
        keeper->Release();  // the window and the page's script hold it now
        ASSERT_TRUE(keeper->kept);
        function = keeper->kept;
        EXPECT_EQ(CallFunction(function), S_OK);
        frame.Unload();
        order.push_back("unloaded");
        Unadvise(static_cast<IWebBrowser2*>(frame.Browser()), cookie);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"navigate complete", "keeper released",
                                               "no expandos", "unloaded"}));
    EXPECT_EQ(callAtRelease, S_OK) << "the engine still ran when the keeper went";
    EXPECT_EQ(CallFunction(function), E_UNEXPECTED) << "the function is inert";
    function.Release();
    EXPECT_EQ(LiveFrameObjects(), 0);
    EXPECT_FALSE(host.finished);
}

}  // namespace
}  // namespace browser::ie
