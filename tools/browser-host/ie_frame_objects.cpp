#include "ie_frame_objects.h"

#include <windows.h>

#include <utility>

#include "ie_script_engine.h"

namespace browser::ie {

namespace {

// Window DISPIDs start here, away from the reserved ones.
constexpr DISPID kFirstId = 1000;

template <class Interface>
HRESULT Hand(Interface* object, void** out) {
    object->AddRef();
    *out = object;
    return S_OK;
}

// What a VT_BYREF | VT_VARIANT argument stands for.
const VARIANT& Deref(const VARIANT& value) {
    if (value.vt == (VT_BYREF | VT_VARIANT) && value.pvarVal != nullptr) {
        return *value.pvarVal;
    }
    return value;
}

bool SameName(const std::u16string& a, const std::u16string& b, bool anyCase) {
    if (!anyCase) {
        return a == b;
    }
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i] >= u'A' && a[i] <= u'Z' ? a[i] + 32 : a[i];
        char16_t y = b[i] >= u'A' && b[i] <= u'Z' ? b[i] + 32 : b[i];
        if (x != y) {
            return false;
        }
    }
    return true;
}

// The sinks connected to a point now, each with one reference.
std::vector<fw::CComPtr<IDispatch>> ConnectedSinks(IConnectionPoint* point) {
    std::vector<fw::CComPtr<IDispatch>> sinks;
    fw::CComPtr<IEnumConnections> connections;
    if (point == nullptr || FAILED(point->EnumConnections(&connections)) || !connections) {
        return sinks;
    }
    CONNECTDATA data;
    ULONG fetched = 0;
    while (connections->Next(1, &data, &fetched) == S_OK && fetched == 1) {
        fw::CComPtr<IDispatch> sink;
        if (data.pUnk != nullptr) {
            data.pUnk->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&sink));
            data.pUnk->Release();
        }
        if (sink) {
            sinks.push_back(std::move(sink));
        }
    }
    return sinks;
}

}  // namespace

long& detail::FrameObjectCount() {
    static long live = 0;
    return live;
}

long LiveFrameObjects() {
    return detail::FrameObjectCount();
}

// --- HostWindow -------------------------------------------------------------------

HRESULT HostWindow::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, IID_IHTMLWindow2)) {
        return Hand(static_cast<IHTMLWindow2*>(this), object);
    }
    if (IsEqualIID(riid, IID_IDispatchEx)) {
        return Hand(static_cast<IDispatchEx*>(this), object);
    }
    return E_NOINTERFACE;
}

HRESULT HostWindow::GetIDsOfNames(REFIID riid, LPOLESTR* nameList, UINT nameCount, LCID,
                                  DISPID* idList) {
    if (!IsEqualIID(riid, IID_NULL)) {
        return DISP_E_UNKNOWNINTERFACE;
    }
    if (nameList == nullptr || idList == nullptr || nameCount == 0) {
        return E_INVALIDARG;
    }
    // Script names are found in any letter case through IDispatch; the
    // window's members take no named arguments.
    // The names are plain strings, not BSTRs.
    if (nameList[0] == nullptr) {
        return E_INVALIDARG;
    }
    HRESULT hr = FindDispID(nameList[0], fdexNameCaseInsensitive, &idList[0]);
    for (UINT i = 1; i < nameCount; ++i) {
        idList[i] = DISPID_UNKNOWN;
        hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT HostWindow::Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                           VARIANT* result, EXCEPINFO* exception, UINT*) {
    if (!IsEqualIID(riid, IID_NULL)) {
        return DISP_E_UNKNOWNINTERFACE;
    }
    return InvokeEx(id, lcid, flags, params, result, exception, nullptr);
}

HRESULT HostWindow::get_document(IHTMLDocument2** result) {
    if (result == nullptr) {
        return E_POINTER;
    }
    *result = nullptr;
    if (document == nullptr) {
        return E_FAIL;
    }
    return Hand(static_cast<IHTMLDocument2*>(document), reinterpret_cast<void**>(result));
}

HRESULT HostWindow::GetDispID(BSTR name, DWORD flags, DISPID* id) {
    if (id == nullptr) {
        return E_POINTER;
    }
    *id = DISPID_UNKNOWN;
    if (name == nullptr) {
        return E_INVALIDARG;
    }
    return FindDispID(std::u16string(name, ::SysStringLen(name)), flags, id);
}

HRESULT HostWindow::FindDispID(const std::u16string& wanted, DWORD flags, DISPID* id) {
    bool anyCase = (flags & fdexNameCaseInsensitive) != 0;
    for (size_t i = 0; i < names.size(); ++i) {
        if (SameName(names[i], wanted, anyCase)) {
            *id = kFirstId + static_cast<DISPID>(i);
            return S_OK;
        }
    }
    if ((flags & fdexNameEnsure) == 0 && (engine == nullptr || !engine->HasGlobal(wanted))) {
        return DISP_E_UNKNOWNNAME;
    }
    names.push_back(wanted);
    *id = kFirstId + static_cast<DISPID>(names.size() - 1);
    return S_OK;
}

const std::u16string* HostWindow::NameOf(DISPID id) const {
    if (id < kFirstId || static_cast<size_t>(id - kFirstId) >= names.size()) {
        return nullptr;
    }
    return &names[static_cast<size_t>(id - kFirstId)];
}

// A put stores a reference when DISPATCH_PROPERTYPUTREF is among the flags,
// with or without the named argument DISPID_PROPERTYPUT; a plain put of an
// object stores the object's value.
HRESULT HostWindow::Put(const std::u16string& name, WORD flags, DISPPARAMS* params) {
    if (params->cArgs != 1 || params->rgvarg == nullptr) {
        return DISP_E_BADPARAMCOUNT;
    }
    if (params->cNamedArgs > 1 ||
        (params->cNamedArgs == 1 && (params->rgdispidNamedArgs == nullptr ||
                                     params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))) {
        return DISP_E_PARAMNOTFOUND;
    }
    const VARIANT& value = Deref(params->rgvarg[0]);
    bool object = value.vt == VT_DISPATCH || value.vt == VT_UNKNOWN;
    if (object && (flags & DISPATCH_PROPERTYPUTREF) == 0) {
        fw::CComPtr<IDispatch> source;
        if (value.punkVal == nullptr || FAILED(value.punkVal->QueryInterface(
                                            IID_IDispatch, reinterpret_cast<void**>(&source)))) {
            return DISP_E_TYPEMISMATCH;
        }
        VARIANT plain;
        ::VariantInit(&plain);
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        HRESULT hr = source->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT,
                                    DISPATCH_PROPERTYGET, &none, &plain, nullptr, nullptr);
        if (SUCCEEDED(hr)) {
            hr = engine->PutGlobal(name, plain);
        }
        ::VariantClear(&plain);
        return hr;
    }
    return engine->PutGlobal(name, value);
}

HRESULT HostWindow::InvokeEx(DISPID id, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                             EXCEPINFO*, IServiceProvider*) {
    if (params == nullptr) {
        return E_INVALIDARG;
    }
    const std::u16string* name = NameOf(id);
    if (name == nullptr) {
        return DISP_E_MEMBERNOTFOUND;
    }
    if (engine == nullptr) {
        return E_UNEXPECTED;  // the document has ended
    }
    if ((flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0) {
        return Put(*name, flags, params);
    }
    if ((flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) == 0) {
        return E_INVALIDARG;
    }
    VARIANT value;
    ::VariantInit(&value);
    HRESULT hr = engine->GetGlobal(*name, &value);
    if (FAILED(hr)) {
        return hr;
    }
    if ((flags & DISPATCH_PROPERTYGET) != 0 && params->cArgs == 0) {
        if (result != nullptr) {
            *result = value;
        } else {
            ::VariantClear(&value);
        }
        return S_OK;
    }
    // A method call: the global is a function, called with the arguments.
    if (value.vt != VT_DISPATCH || value.pdispVal == nullptr) {
        ::VariantClear(&value);
        return DISP_E_MEMBERNOTFOUND;
    }
    hr = value.pdispVal->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                params, result, nullptr, nullptr);
    ::VariantClear(&value);
    return hr;
}

HRESULT HostWindow::DeleteMemberByName(BSTR name, DWORD) {
    if (name == nullptr) {
        return E_INVALIDARG;
    }
    if (engine == nullptr) {
        return S_FALSE;
    }
    return engine->DeleteGlobal(std::u16string(name, ::SysStringLen(name)));
}

HRESULT HostWindow::DeleteMemberByDispID(DISPID id) {
    const std::u16string* name = NameOf(id);
    if (name == nullptr || engine == nullptr) {
        return S_FALSE;
    }
    return engine->DeleteGlobal(*name);
}

HRESULT HostWindow::GetMemberProperties(DISPID, DWORD, DWORD* properties) {
    if (properties != nullptr) {
        *properties = 0;
    }
    return E_NOTIMPL;
}

HRESULT HostWindow::GetMemberName(DISPID id, BSTR* name) {
    if (name == nullptr) {
        return E_POINTER;
    }
    *name = nullptr;
    const std::u16string* known = NameOf(id);
    if (known == nullptr) {
        return DISP_E_MEMBERNOTFOUND;
    }
    *name = ::SysAllocStringLen(known->data(), static_cast<UINT>(known->size()));
    return *name != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT HostWindow::GetNextDispID(DWORD, DISPID id, DISPID* next) {
    if (next == nullptr) {
        return E_POINTER;
    }
    DISPID candidate = id == DISPID_STARTENUM ? kFirstId : id + 1;
    if (candidate < kFirstId || NameOf(candidate) == nullptr) {
        *next = DISPID_UNKNOWN;
        return S_FALSE;
    }
    *next = candidate;
    return S_OK;
}

HRESULT HostWindow::GetNameSpaceParent(IUnknown** parent) {
    if (parent == nullptr) {
        return E_POINTER;
    }
    *parent = nullptr;
    return E_NOTIMPL;
}

void HostWindow::Attach(ScriptEngine* scriptEngine, HostDocument* hostDocument) {
    engine = scriptEngine;
    document = hostDocument;
}

void HostWindow::DropExpandos() {
    if (engine != nullptr) {
        // Deleting a value can release an object whose last release calls
        // back into this window: the names are taken first.
        std::vector<std::u16string> dropped = std::exchange(names, {});
        for (const std::u16string& name : dropped) {
            engine->DeleteGlobal(name);
        }
    }
    names.clear();
}

void HostWindow::Detach() {
    engine = nullptr;
    document = nullptr;
}

std::vector<std::u16string> HostWindow::Expandos() const {
    return names;
}

// --- HostDocument -----------------------------------------------------------------

HostDocument::HostDocument(std::u16string documentUrl, HostWindow* documentWindow,
                           bool answersWindow)
    : url(std::move(documentUrl)), window(documentWindow), answersParentWindow(answersWindow) {}

HRESULT HostDocument::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, IID_IHTMLDocument2)) {
        return Hand(static_cast<IHTMLDocument2*>(this), object);
    }
    return E_NOINTERFACE;
}

HRESULT HostDocument::get_parentWindow(IHTMLWindow2** result) {
    if (result == nullptr) {
        return E_POINTER;
    }
    *result = nullptr;
    if (window == nullptr || !answersParentWindow) {
        return E_FAIL;
    }
    return Hand(static_cast<IHTMLWindow2*>(window), reinterpret_cast<void**>(result));
}

HRESULT HostDocument::get_URL(BSTR* result) {
    if (result == nullptr) {
        return E_POINTER;
    }
    *result = ::SysAllocStringLen(url.data(), static_cast<UINT>(url.size()));
    return *result != nullptr ? S_OK : E_OUTOFMEMORY;
}

// --- HostBrowser ------------------------------------------------------------------

HostBrowser::HostBrowser(HostBrowser* topLevel, const BrowserVariants& browserVariants)
    : top(topLevel), variants(browserVariants) {
    ::W32CreateConnectionPoint(this, DIID_DWebBrowserEvents2, &events);
}

HostBrowser::~HostBrowser() {
    if (events != nullptr) {
        ::W32DestroyConnectionPoint(events);
    }
}

HRESULT HostBrowser::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, IID_IWebBrowser2) || IsEqualIID(riid, IID_IWebBrowserApp)) {
        return Hand(static_cast<IWebBrowser2*>(this), object);
    }
    if (IsEqualIID(riid, IID_IConnectionPointContainer)) {
        return Hand(static_cast<IConnectionPointContainer*>(this), object);
    }
    if (IsEqualIID(riid, IID_IServiceProvider)) {
        return Hand(static_cast<IServiceProvider*>(this), object);
    }
    return E_NOINTERFACE;
}

HRESULT HostBrowser::get_Document(IDispatch** result) {
    if (result == nullptr) {
        return E_POINTER;
    }
    *result = nullptr;
    if (!document) {
        return S_FALSE;
    }
    return Hand(static_cast<IDispatch*>(document.p), reinterpret_cast<void**>(result));
}

HRESULT HostBrowser::get_LocationURL(BSTR* result) {
    if (result == nullptr) {
        return E_POINTER;
    }
    *result = ::SysAllocStringLen(url.data(), static_cast<UINT>(url.size()));
    return *result != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT HostBrowser::EnumConnectionPoints(IEnumConnectionPoints** points) {
    if (points != nullptr) {
        *points = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT HostBrowser::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
    if (point == nullptr) {
        return E_POINTER;
    }
    *point = nullptr;
    if (events == nullptr || !IsEqualIID(riid, DIID_DWebBrowserEvents2)) {
        return CONNECT_E_NOCONNECTION;
    }
    return Hand(events, reinterpret_cast<void**>(point));
}

HRESULT HostBrowser::QueryService(REFGUID service, REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (IsEqualGUID(service, SID_SWebBrowserApp) && !variants.siteWithoutService) {
        HostBrowser* browser = top != nullptr ? top : this;
        return browser->QueryInterface(riid, object);
    }
    if (IsEqualGUID(service, IID_IHTMLWindow2) && window) {
        return window->QueryInterface(riid, object);
    }
    return E_NOINTERFACE;
}

void HostBrowser::Show(HostDocument* shownDocument, HostWindow* shownWindow,
                       const std::u16string& shownUrl) {
    // The old page's objects may be released last here: assign before.
    fw::CComPtr<HostDocument> oldDocument = std::move(document);
    fw::CComPtr<HostWindow> oldWindow = std::move(window);
    document = shownDocument;
    window = shownWindow;
    url = shownUrl;
}

void HostBrowser::Fire(DISPID event, std::vector<VARIANT> args) {
    for (auto& sink : ConnectedSinks(events)) {
        DISPPARAMS params = {args.empty() ? nullptr : args.data(), nullptr,
                             static_cast<UINT>(args.size()), 0};
        sink->Invoke(event, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                     nullptr, nullptr);
    }
    for (VARIANT& arg : args) {
        ::VariantClear(&arg);
    }
}

void HostBrowser::FireFrameEvent(DISPID event, IDispatch* frame, const std::u16string& frameUrl) {
    for (auto& sink : ConnectedSinks(events)) {
        // A fresh URL for each sink: a sink may change what it is given.
        VARIANT url;
        ::VariantInit(&url);
        url.vt = VT_BSTR;
        url.bstrVal = ::SysAllocStringLen(frameUrl.data(), static_cast<UINT>(frameUrl.size()));
        VARIANT args[2];
        ::VariantInit(&args[0]);
        args[0].vt = VT_BYREF | VT_VARIANT;
        args[0].pvarVal = &url;
        ::VariantInit(&args[1]);
        args[1].vt = VT_DISPATCH;
        args[1].pdispVal = frame;
        DISPPARAMS params = {args, nullptr, 2, 0};
        sink->Invoke(event, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                     nullptr, nullptr);
        ::VariantClear(&url);
    }
}

size_t HostBrowser::Sinks() const {
    return ConnectedSinks(events).size();
}

}  // namespace browser::ie
