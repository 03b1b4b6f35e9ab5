// The browser helper object: Internet Explorer makes one for each browser
// window and hands it its site. On every completed navigation of a frame
// that has a document it makes a page object for that frame.
#pragma once

#include <windows.h>

#include "framework/com_dll_module.h"
#include "framework/com_object.h"
#include "framework/com_ptr.h"
#include "framework/dispatch_impl.h"
#include "framework/event_sink.h"
#include "framework/object_site.h"
#include "plugins/ie/registry_scripts.h"
#include "plugins/ie/vexlo_interfaces.h"

namespace vexlo {

inline constexpr DWORD kHelperSafety =
    INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;

class CVexloPlugin
    : public fw::CComObjectRootEx<fw::CComSingleThreadModel>,
      public fw::IObjectWithSiteImpl<CVexloPlugin>,
      public fw::IDispatchImpl<IVexloPlugin, &IID_IVexloPlugin, &LIBID_VexloIePluginLib,
                               kTypeLibMajor, kTypeLibMinor>,
      public fw::IObjectSafetyImpl<CVexloPlugin, kHelperSafety> {
public:
    DECLARE_REGISTRY_RESOURCEID(kVexloPluginScriptId)

    BEGIN_COM_MAP(CVexloPlugin)
    COM_INTERFACE_ENTRY(IVexloPlugin)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY(IObjectWithSite)
    COM_INTERFACE_ENTRY(IObjectSafety)
    END_COM_MAP()

    BEGIN_SINK_MAP(CVexloPlugin)
    SINK_ENTRY_EX(0, DIID_DWebBrowserEvents2, DISPID_NAVIGATECOMPLETE2, OnNavigateComplete2)
    END_SINK_MAP()

    // Keeps the top-level browser (or the site itself) and follows its
    // events; null ends the listening. S_OK in every case.
    HRESULT STDMETHODCALLTYPE SetSite(IUnknown* pUnkSite) override;
    void FinalRelease();

private:
    // NavigateComplete2(frame, URL): arguments in reverse order.
    void OnNavigateComplete2(DISPPARAMS* params);
    void StopListening();

    fw::CDispEventSink<0, CVexloPlugin, &DIID_DWebBrowserEvents2> browserEvents{this};
};

// Gives an object its site through IObjectWithSite.
HRESULT SetObjectSite(IUnknown* object, IUnknown* site);

}  // namespace vexlo
