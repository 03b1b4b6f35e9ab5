// The page object: what page scripts reach as window._vexlo_bho. One per
// frame's document, made by the browser helper object; it owns its agent
// channel and follows its browser's events to put itself into the page again.
#pragma once

#include <windows.h>

#include "framework/com_object.h"
#include "framework/com_ptr.h"
#include "framework/dispatch_impl.h"
#include "framework/event_sink.h"
#include "framework/object_site.h"
#include "plugins/channel/process_message.h"
#include "plugins/ie/vexlo_interfaces.h"

namespace vexlo {

// The name of the window property that holds the page object.
inline constexpr const char16_t* kWindowPropertyName = u"_vexlo_bho";

class CVexloDisp : public fw::CComObjectRootEx<fw::CComSingleThreadModel>,
                   public fw::IDispatchImpl<IVexloDisp, &IID_IVexloDisp, &LIBID_VexloIePluginLib,
                                            kTypeLibMajor, kTypeLibMinor>,
                   public fw::ISupportErrorInfoImpl<&IID_IVexloDisp>,
                   public IServiceProvider,
                   public fw::IObjectWithSiteImpl<CVexloDisp> {
public:
    BEGIN_COM_MAP(CVexloDisp)
    COM_INTERFACE_ENTRY(IVexloDisp)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY(ISupportErrorInfo)
    COM_INTERFACE_ENTRY(IServiceProvider)
    COM_INTERFACE_ENTRY(IObjectWithSite)
    END_COM_MAP()

    // Every handler only puts the object into the page again.
    BEGIN_SINK_MAP(CVexloDisp)
    SINK_ENTRY_EX(1, DIID_DWebBrowserEvents2, DISPID_COMMANDSTATECHANGE, OnCommandStateChange)
    SINK_ENTRY_EX(1, DIID_DWebBrowserEvents2, DISPID_STATUSTEXTCHANGE, OnStatusTextChange)
    SINK_ENTRY_EX(1, DIID_DWebBrowserEvents2, DISPID_TITLECHANGE, OnStatusTextChange)
    SINK_ENTRY_EX(1, DIID_DWebBrowserEvents2, DISPID_DOWNLOADBEGIN, OnDownloadBegin)
    SINK_ENTRY_EX(1, DIID_DWebBrowserEvents2, DISPID_DOWNLOADCOMPLETE, OnDownloadBegin)
    END_SINK_MAP()

    // Keeps the frame's browser and the document it holds now, creates the
    // channel, puts the object into that document's window and follows the
    // browser's events. Called once, right after creation.
    void Initialize(IWebBrowser2* frame);
    // Leaves the browser's events and closes the channel.
    void FinalRelease();

    // Puts the object into the window of the browser's current document,
    // only while that is still the document it was made for.
    void ExposeToPage();

    // IVexloDisp: the page API (vexlo_disp_api.cpp).
    HRESULT STDMETHODCALLTYPE get_version(BSTR* pbstrVersion) override;
    HRESULT STDMETHODCALLTYPE doScan(BSTR pbstrApiKey, LONG nMessageId, LONG nType,
                                     VARIANT* pStatusCallback, VARIANT* varJobId) override;
    HRESULT STDMETHODCALLTYPE selectScanner(LONG nInterface, VARIANT* pVarStatusCallback) override;
    HRESULT STDMETHODCALLTYPE doPrint(BSTR pbstrApiKey, BSTR pbstrPrintCommand,
                                      VARIANT* pStatusCallback) override;
    HRESULT STDMETHODCALLTYPE setScanMode(LONG nScanMode) override;
    HRESULT STDMETHODCALLTYPE stopScan(LONG nJobId) override;
    HRESULT STDMETHODCALLTYPE loadDesktop(VARIANT* nJobId) override;
    HRESULT STDMETHODCALLTYPE getScanMode(VARIANT* nScanMode) override;
    HRESULT STDMETHODCALLTYPE getSelectedScanner(LONG nScanMode, VARIANT* strScanner) override;

    // IServiceProvider: every request goes on to the site's provider.
    HRESULT STDMETHODCALLTYPE QueryService(REFGUID guidService, REFIID riid,
                                           void** ppvObject) override;

    // The page function registered in the Global Interface Table; 0 when
    // the table or an object is missing.
    static DWORD RegisterCallback(VARIANT* function);

private:
    void OnCommandStateChange(DISPPARAMS*) { ExposeToPage(); }
    void OnStatusTextChange(DISPPARAMS*) { ExposeToPage(); }
    void OnDownloadBegin(DISPPARAMS*) { ExposeToPage(); }

    // The identity of the browser's current document, or null.
    fw::CComPtr<IUnknown> CurrentDocument() const;

    fw::CComPtr<IWebBrowser2> browser;
    fw::CComPtr<IUnknown> document;  // the one the object was made for
    ChannelPtr processMessage;
    fw::CDispEventSink<1, CVexloDisp, &DIID_DWebBrowserEvents2> browserEvents{this};
};

// Puts value into a window's property name through IDispatchEx, creating it
// when missing: one positional argument, no named one.
HRESULT PutWindowProperty(IDispatch* window, BSTR name, VARIANT* value);

}  // namespace vexlo
