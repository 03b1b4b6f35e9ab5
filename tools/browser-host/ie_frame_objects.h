// The browser's object model of one frame in the host's Internet Explorer
// mode, as an add-on sees it: the browser (IWebBrowser2, its
// DWebBrowserEvents2 connection point and its services), the document
// (IHTMLDocument2) and the window (IHTMLWindow2 with IDispatchEx, whose
// expando properties are the globals of the document's script engine).
//
// The frame owns its browser, document and window; the document and the
// window point at each other without references, and the frame cuts those
// links when the document ends. Every call comes on the page thread.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "framework/com_ptr.h"

namespace browser::ie {

class ScriptEngine;
class HostDocument;

// Variants of the browser that an add-on's branches need.
struct BrowserVariants {
    // The site refuses QueryService(SID_SWebBrowserApp).
    bool siteWithoutService = false;
    // Documents answer no parent window; the window is then only a service
    // of the browser (IID_IHTMLWindow2).
    bool documentWithoutWindow = false;
};

// COM objects of the object model alive in the process, for tests.
long LiveFrameObjects();
namespace detail {
long& FrameObjectCount();
}

// What the browser's objects share: a reference count that frees the object
// with its last reference, the live count, and an IDispatch that answers no
// names (the window answers its own).
template <class... Interfaces>
class HostObject : public Interfaces... {
public:
    HostObject(const HostObject&) = delete;
    HostObject& operator=(const HostObject&) = delete;

    ULONG STDMETHODCALLTYPE AddRef() override { return ++count; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --count;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* infoCount) override {
        if (infoCount == nullptr) {
            return E_INVALIDARG;
        }
        *infoCount = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info != nullptr) {
            *info = nullptr;
        }
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT nameCount, LCID,
                                            DISPID* ids) override {
        for (UINT i = 0; ids != nullptr && i < nameCount; ++i) {
            ids[i] = DISPID_UNKNOWN;
        }
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }

protected:
    HostObject() { ++detail::FrameObjectCount(); }
    virtual ~HostObject() { --detail::FrameObjectCount(); }

private:
    ULONG count = 1;
};

class HostWindow final : public HostObject<IHTMLWindow2, IDispatchEx> {
public:
    HostWindow() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argError) override;
    HRESULT STDMETHODCALLTYPE get_document(IHTMLDocument2** document) override;
    HRESULT STDMETHODCALLTYPE GetDispID(BSTR name, DWORD flags, DISPID* id) override;
    HRESULT STDMETHODCALLTYPE InvokeEx(DISPID id, LCID lcid, WORD flags, DISPPARAMS* params,
                                       VARIANT* result, EXCEPINFO* exception,
                                       IServiceProvider* caller) override;
    HRESULT STDMETHODCALLTYPE DeleteMemberByName(BSTR name, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE DeleteMemberByDispID(DISPID id) override;
    HRESULT STDMETHODCALLTYPE GetMemberProperties(DISPID id, DWORD fetch,
                                                  DWORD* properties) override;
    HRESULT STDMETHODCALLTYPE GetMemberName(DISPID id, BSTR* name) override;
    HRESULT STDMETHODCALLTYPE GetNextDispID(DWORD flags, DISPID id, DISPID* next) override;
    HRESULT STDMETHODCALLTYPE GetNameSpaceParent(IUnknown** parent) override;

    // The document's engine and the document, while the document lives.
    void Attach(ScriptEngine* engine, HostDocument* document);
    // The first step of a document's end: the expandos that the window's
    // IDispatchEx made are deleted from the engine (their values released),
    // and the window forgets its engine and document.
    void DropExpandos();
    void Detach();
    // Names given DISPIDs through GetDispID, in order.
    std::vector<std::u16string> Expandos() const;

private:
    // A name's DISPID (made when fdexNameEnsure asks, or when the engine has
    // the global), else DISP_E_UNKNOWNNAME.
    HRESULT FindDispID(const std::u16string& name, DWORD flags, DISPID* id);
    HRESULT Put(const std::u16string& name, WORD flags, DISPPARAMS* params);
    const std::u16string* NameOf(DISPID id) const;

    ScriptEngine* engine = nullptr;
    HostDocument* document = nullptr;
    // DISPIDs handed out, by name; an id stays with its name.
    std::map<std::u16string, DISPID> ids;
    std::vector<std::u16string> names;  // DISPID = kFirstId + index
};

class HostDocument final : public HostObject<IHTMLDocument2> {
public:
    HostDocument(std::u16string url, HostWindow* window, bool answersParentWindow);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    HRESULT STDMETHODCALLTYPE get_parentWindow(IHTMLWindow2** window) override;
    HRESULT STDMETHODCALLTYPE get_URL(BSTR* url) override;

    // The document has ended: it answers no window any more.
    void Detach() { window = nullptr; }

private:
    std::u16string url;
    HostWindow* window;
    bool answersParentWindow;
};

class HostBrowser final
    : public HostObject<IWebBrowser2, IConnectionPointContainer, IServiceProvider> {
public:
    // topLevel: the browser of the top-level frame, null for that one.
    HostBrowser(HostBrowser* topLevel, const BrowserVariants& variants);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    HRESULT STDMETHODCALLTYPE get_Document(IDispatch** document) override;
    HRESULT STDMETHODCALLTYPE get_LocationURL(BSTR* url) override;
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;
    HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID riid, void** object) override;

    // The frame's current document and window (either may be null), and
    // the URL the frame shows.
    void Show(HostDocument* document, HostWindow* window, const std::u16string& url);

    // Fires an event to the sinks connected when the fire starts; a sink
    // unadvised or freed meanwhile is still safe to call. args in
    // DISPPARAMS order (last argument first).
    void Fire(DISPID event, std::vector<VARIANT> args = {});
    // NavigateComplete2 (or DocumentComplete) of a frame, fired on the
    // top-level browser: rgvarg[1] the frame, rgvarg[0] the URL as
    // VT_BYREF | VT_VARIANT.
    void FireFrameEvent(DISPID event, IDispatch* frame, const std::u16string& url);
    // Sinks connected now.
    size_t Sinks() const;

private:
    ~HostBrowser() override;

    HostBrowser* top;  // not owned; null for the top-level browser
    BrowserVariants variants;
    IConnectionPoint* events = nullptr;  // part of this object
    fw::CComPtr<HostDocument> document;
    fw::CComPtr<HostWindow> window;
    std::u16string url;
};

}  // namespace browser::ie
