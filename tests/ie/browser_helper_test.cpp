// The browser helper object on the browser host's browser: a page object for each frame
// that completes a navigation with a document, the old page's object gone
// with its page, the browser's events followed and left, and the object put
// again only into the document it was made for.
#include <windows.h>

#include <gtest/gtest.h>

#include "../channel/channel_support.h"
#include "../channel/fake_agent.h"
#include "addon_support.h"

namespace vexlo::test {
namespace {

// A page script that sees each put of the page object's property, as a
// setter on the window; with callAtPut, the first put calls the object.
constexpr char kWatchPuts[] = R"(
var puts = 0, stored, callAtPut = false, called = 0, atPut = 1;
Object.defineProperty(window, '_vexlo_bho', {
    configurable: true,
    get: function () { return stored; },
    set: function (object) {
        ++puts;
        stored = object;
        if (callAtPut && !called) {
            called = 1;
            try { object.setScanMode(1); atPut = 0; } catch (e) { atPut = e.number; }
        }
    }
});
)";

class BrowserHelperTest : public AddOnTest {
protected:
    // The current page of a frame watches its puts.
    static void WatchPuts(TestFrame& frame, bool callAtPut = false) {
        ASSERT_TRUE(frame.Engine()->Run(kWatchPuts, "watch.js"));
        if (callAtPut) {
            ASSERT_TRUE(frame.Engine()->Run("callAtPut = true;", "watch.js"));
        }
    }
    static LONG Puts(TestFrame& frame) { return ScriptNumber(frame.Engine(), u"puts"); }

    FakeAgent agent;
};

TEST_F(BrowserHelperTest, APageWithTwoFramesGetsThreePageObjectsEachWithItsChannel) {
    ASSERT_NO_FATAL_FAILURE(StartBrowserHelper());
    int channels = ChannelWindows();
    browser->Navigate();
    std::unique_ptr<TestFrame> frames[2];
    for (auto& frame : frames) {
        frame = std::make_unique<TestFrame>(browser.get());
        frame->Navigate();
    }
    EXPECT_EQ(ChannelWindows(), channels + 3);
    fw::CComPtr<IDispatch> top = Page();
    fw::CComPtr<IDispatch> first = PageObject(frames[0]->Window());
    fw::CComPtr<IDispatch> second = PageObject(frames[1]->Window());
    ASSERT_TRUE(top && first && second);
    EXPECT_NE(static_cast<IDispatch*>(top), static_cast<IDispatch*>(first));
    EXPECT_NE(static_cast<IDispatch*>(first), static_cast<IDispatch*>(second));
    // Each page object follows its own frame's events.
    EXPECT_EQ(frames[0]->Sinks(), 1u);
    EXPECT_EQ(frames[1]->Sinks(), 1u);
    EXPECT_EQ(browser->Sinks(), 2u) << "the helper's and the top page object's";

    top.Release();
    first.Release();
    second.Release();
    for (auto& frame : frames) {
        frame->Load(false);
        EXPECT_EQ(frame->Sinks(), 0u) << "the object left the frame's events as it went";
    }
    EXPECT_EQ(ChannelWindows(), channels + 1);
}

TEST_F(BrowserHelperTest, ANavigationReleasesTheOldPageObjectAndItsChannel) {
    ASSERT_NO_FATAL_FAILURE(StartBrowserHelper());
    int channels = ChannelWindows();
    browser->Navigate();
    EXPECT_EQ(ChannelWindows(), channels + 1);
    fw::CComPtr<browser::ie::HostWindow> oldWindow(browser->Window());
    browser->Navigate();
    EXPECT_EQ(ChannelWindows(), channels + 1) << "the old page's channel went with it";
    EXPECT_FALSE(PageObject(oldWindow));
    EXPECT_TRUE(Page());
    EXPECT_EQ(browser->Sinks(), 2u);
}

TEST_F(BrowserHelperTest, ANavigationWithoutADocumentMakesNoPageObject) {
    ASSERT_NO_FATAL_FAILURE(StartBrowserHelper());
    int channels = ChannelWindows();
    browser->Navigate(false);
    EXPECT_EQ(ChannelWindows(), channels);
    EXPECT_EQ(browser->Sinks(), 1u);
}

TEST_F(BrowserHelperTest, APageObjectIsPutAgainOnlyIntoTheDocumentItWasMadeFor) {
    ASSERT_NO_FATAL_FAILURE(StartBrowserHelper());
    browser->Load();
    ASSERT_NO_FATAL_FAILURE(WatchPuts(*browser));
    browser->FireNavigateComplete();
    fw::CComPtr<IDispatch> object = Page();
    ASSERT_TRUE(object);
    EXPECT_EQ(Puts(*browser), 1);
    for (DISPID event : {DISPID_COMMANDSTATECHANGE, DISPID_STATUSTEXTCHANGE, DISPID_TITLECHANGE,
                         DISPID_DOWNLOADBEGIN, DISPID_DOWNLOADCOMPLETE}) {
        browser->Fire(event);
    }
    EXPECT_EQ(Puts(*browser), 1 + 5);

    // The page keeps its object while the browser loads another document
    // (another site, say): its events must not put the old object there.
    browser->Load();
    ASSERT_NO_FATAL_FAILURE(WatchPuts(*browser));
    browser->Fire(DISPID_DOWNLOADBEGIN);
    browser->Fire(DISPID_TITLECHANGE);
    EXPECT_EQ(Puts(*browser), 0);
    EXPECT_FALSE(Page());
}

// How the put is shaped, seen by a window that records it.
TEST_F(BrowserHelperTest, ThePageObjectIsPutWithOnePositionalArgumentAndNoNamedOne) {
    ASSERT_NO_FATAL_FAILURE(StartBrowserHelper());
    fw::CComPtr<RecordingFrame> frame;
    frame.Attach(new RecordingFrame);
    browser->FireNavigateComplete(static_cast<IWebBrowser2*>(frame));
    RecordingWindow* window = frame->document->window;
    EXPECT_EQ(window->name, u"_vexlo_bho");
    ASSERT_EQ(window->putNamedArgument.size(), 1u);
    EXPECT_FALSE(window->putNamedArgument.back()) << "one positional argument, no named one";
    frame->End();
}

TEST_F(BrowserHelperTest, TheWindowIsFoundThroughTheBrowsersServiceWhenTheDocumentHasNone) {
    browser::ie::BrowserVariants variants;
    variants.documentWithoutWindow = true;
    ASSERT_NO_FATAL_FAILURE(StartBrowserHelper(variants));
    browser->Navigate();
    fw::CComPtr<IHTMLWindow2> parent;
    fw::CComPtr<IDispatch> document;
    ASSERT_EQ(browser->Browser()->get_Document(&document), S_OK);
    fw::CComPtr<IHTMLDocument2> page;
    ASSERT_EQ(document->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&page)), S_OK);
    EXPECT_NE(page->get_parentWindow(&parent), S_OK) << "the document answers no window";
    EXPECT_TRUE(Page());
}

TEST_F(BrowserHelperTest, ThePageObjectHasItsChannelBeforeThePageCanReachIt) {
    ASSERT_NO_FATAL_FAILURE(StartBrowserHelper());
    browser->Load();
    // At the first put, the page's script calls the object at once.
    ASSERT_NO_FATAL_FAILURE(WatchPuts(*browser, true));
    browser->FireNavigateComplete();
    EXPECT_EQ(ScriptNumber(browser->Engine(), u"called"), 1);
    EXPECT_EQ(ScriptNumber(browser->Engine(), u"atPut"), 0) << "setScanMode succeeded";
    EXPECT_EQ(agent.Requests().size(), 1u);
}

TEST_F(BrowserHelperTest, SetSiteTwiceMovesTheHelperAndNullEndsTheListening) {
    ASSERT_NO_FATAL_FAILURE(StartBrowserHelper());
    EXPECT_EQ(browser->Sinks(), 1u);
    TestFrame second;
    ASSERT_EQ(helper->SetSite(second.Browser()), S_OK);
    EXPECT_EQ(browser->Sinks(), 0u);
    EXPECT_EQ(second.Sinks(), 1u);

    fw::CComPtr<IWebBrowser2> site;
    EXPECT_EQ(helper->GetSite(IID_IWebBrowser2, reinterpret_cast<void**>(&site)), S_OK);
    EXPECT_EQ(static_cast<IWebBrowser2*>(site), second.Browser());
    site.Release();

    ASSERT_EQ(helper->SetSite(nullptr), S_OK);
    EXPECT_EQ(second.Sinks(), 0u);
    int channels = ChannelWindows();
    second.Navigate();
    EXPECT_EQ(ChannelWindows(), channels) << "no event reaches the helper any more";
    EXPECT_EQ(helper->GetSite(IID_IWebBrowser2, reinterpret_cast<void**>(&site)), E_FAIL);
    EXPECT_EQ(helper->GetSite(IID_IWebBrowser2, nullptr), E_POINTER);
}

TEST_F(BrowserHelperTest, TheHelperIsSafeForUntrustedCallersAndData) {
    ASSERT_NO_FATAL_FAILURE(StartBrowserHelper());
    fw::CComPtr<IObjectSafety> safety;
    ASSERT_EQ(helper->QueryInterface(IID_IObjectSafety, reinterpret_cast<void**>(&safety)), S_OK);
    DWORD supported = 0;
    DWORD enabled = 0;
    ASSERT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
    EXPECT_EQ(supported, static_cast<DWORD>(INTERFACESAFE_FOR_UNTRUSTED_CALLER |
                                            INTERFACESAFE_FOR_UNTRUSTED_DATA));
}

}  // namespace
}  // namespace vexlo::test
