// The browser helper object on a fake browser: a page object for each frame
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

class BrowserHelperTest : public AddOnTest {
protected:
    FakeAgent agent;
};

TEST_F(BrowserHelperTest, APageWithTwoFramesGetsThreePageObjectsEachWithItsChannel) {
    ASSERT_NO_FATAL_FAILURE(StartBrowserHelper());
    int channels = ChannelWindows();
    browser->Navigate();
    fw::CComPtr<FakeBrowser> frames[2];
    for (auto& frame : frames) {
        frame.Attach(new FakeBrowser(browser));
        frame->Navigate();
    }
    EXPECT_EQ(ChannelWindows(), channels + 3);
    fw::CComPtr<IDispatch> top = Page();
    fw::CComPtr<IDispatch> first = PageObject(frames[0]->document->window);
    fw::CComPtr<IDispatch> second = PageObject(frames[1]->document->window);
    ASSERT_TRUE(top && first && second);
    EXPECT_NE(static_cast<IDispatch*>(top), static_cast<IDispatch*>(first));
    EXPECT_NE(static_cast<IDispatch*>(first), static_cast<IDispatch*>(second));
    // Each page object follows its own frame's events.
    EXPECT_EQ(frames[0]->Sinks(), 1);
    EXPECT_EQ(frames[1]->Sinks(), 1);
    EXPECT_EQ(browser->Sinks(), 2) << "the helper's and the top page object's";

    top.Release();
    first.Release();
    second.Release();
    for (auto& frame : frames) {
        frame->Load(false);
        EXPECT_EQ(frame->Sinks(), 0) << "the object left the frame's events as it went";
    }
    EXPECT_EQ(ChannelWindows(), channels + 1);
}

TEST_F(BrowserHelperTest, ANavigationReleasesTheOldPageObjectAndItsChannel) {
    ASSERT_NO_FATAL_FAILURE(StartBrowserHelper());
    int channels = ChannelWindows();
    browser->Navigate();
    EXPECT_EQ(ChannelWindows(), channels + 1);
    fw::CComPtr<FakeWindow> oldWindow = browser->document->window;
    browser->Navigate();
    EXPECT_EQ(ChannelWindows(), channels + 1) << "the old page's channel went with it";
    EXPECT_FALSE(PageObject(oldWindow));
    EXPECT_TRUE(Page());
    EXPECT_EQ(browser->Sinks(), 2);
}

TEST_F(BrowserHelperTest, ANavigationWithoutADocumentMakesNoPageObject) {
    ASSERT_NO_FATAL_FAILURE(StartBrowserHelper());
    int channels = ChannelWindows();
    browser->Navigate(false);
    EXPECT_EQ(ChannelWindows(), channels);
    EXPECT_EQ(browser->Sinks(), 1);
}

TEST_F(BrowserHelperTest, APageObjectIsPutAgainOnlyIntoTheDocumentItWasMadeFor) {
    ASSERT_NO_FATAL_FAILURE(StartBrowserHelper());
    browser->Navigate();
    fw::CComPtr<FakeWindow> window = browser->document->window;
    fw::CComPtr<IDispatch> object = PageObject(window);
    ASSERT_TRUE(object);
    int puts = window->Puts(u"_vexlo_bho");
    for (DISPID event : {DISPID_COMMANDSTATECHANGE, DISPID_STATUSTEXTCHANGE, DISPID_TITLECHANGE,
                         DISPID_DOWNLOADBEGIN, DISPID_DOWNLOADCOMPLETE}) {
        browser->Fire(event);
    }
    EXPECT_EQ(window->Puts(u"_vexlo_bho"), puts + 5);
    EXPECT_FALSE(window->putNamedArgument.back()) << "one positional argument, no named one";

    // The page keeps its object while the browser loads another document
    // (another site, say): its events must not put the old object there.
    browser->Load();
    FakeWindow* next = browser->document->window;
    browser->Fire(DISPID_DOWNLOADBEGIN);
    browser->Fire(DISPID_TITLECHANGE);
    EXPECT_EQ(next->Puts(u"_vexlo_bho"), 0);
    EXPECT_FALSE(PageObject(next));
}

TEST_F(BrowserHelperTest, TheWindowIsFoundThroughTheBrowsersServiceWhenTheDocumentHasNone) {
    ASSERT_NO_FATAL_FAILURE(StartBrowserHelper());
    browser->Load();
    browser->document->window.Release();
    browser->serviceWindow.Attach(new FakeWindow);
    browser->FireNavigateComplete(static_cast<IWebBrowser2*>(browser));
    EXPECT_TRUE(PageObject(browser->serviceWindow));
    browser->serviceWindow->Clear();
}

TEST_F(BrowserHelperTest, ThePageObjectHasItsChannelBeforeThePageCanReachIt) {
    ASSERT_NO_FATAL_FAILURE(StartBrowserHelper());
    browser->Load();
    // At the first put, the page's script calls the object at once.
    bool called = false;
    HRESULT atPut = E_FAIL;
    FakeWindow* window = browser->document->window;
    window->onPut = [&](IDispatch* object) {
        if (!called) {
            called = true;
            atPut = Call(object, u"setScanMode", {1});
        }
    };
    browser->FireNavigateComplete(static_cast<IWebBrowser2*>(browser));
    EXPECT_TRUE(called);
    EXPECT_EQ(atPut, S_OK);
    EXPECT_EQ(agent.Requests().size(), 1u);
    window->onPut = nullptr;
}

TEST_F(BrowserHelperTest, SetSiteTwiceMovesTheHelperAndNullEndsTheListening) {
    ASSERT_NO_FATAL_FAILURE(StartBrowserHelper());
    EXPECT_EQ(browser->Sinks(), 1);
    fw::CComPtr<FakeBrowser> second;
    second.Attach(new FakeBrowser);
    ASSERT_EQ(helper->SetSite(static_cast<IWebBrowser2*>(second)), S_OK);
    EXPECT_EQ(browser->Sinks(), 0);
    EXPECT_EQ(second->Sinks(), 1);

    fw::CComPtr<IWebBrowser2> site;
    EXPECT_EQ(helper->GetSite(IID_IWebBrowser2, reinterpret_cast<void**>(&site)), S_OK);
    EXPECT_EQ(static_cast<IWebBrowser2*>(site), static_cast<IWebBrowser2*>(second));
    site.Release();

    ASSERT_EQ(helper->SetSite(nullptr), S_OK);
    EXPECT_EQ(second->Sinks(), 0);
    int channels = ChannelWindows();
    second->Navigate();
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
