#include "fake_browser.h"

#include <atomic>

namespace vexlo::test {

namespace {

std::atomic<int> liveFakes{0};

template <class T>
HRESULT Hand(T* object, void** out) {
    object->AddRef();
    *out = object;
    return S_OK;
}

bool SameText(const std::u16string& a, const std::u16string& b) {
    return a == b;
}

}  // namespace

int LiveFakes() {
    return liveFakes.load();
}

template <class... Interfaces>
FakeObject<Interfaces...>::FakeObject() {
    ++liveFakes;
}

template <class... Interfaces>
FakeObject<Interfaces...>::~FakeObject() {
    --liveFakes;
}

template class FakeObject<IHTMLWindow2, IDispatchEx>;
template class FakeObject<IHTMLDocument2>;
template class FakeObject<IWebBrowser2, IConnectionPointContainer, IServiceProvider>;
template class FakeObject<IDispatch>;

// --- FakeWindow ---------------------------------------------------------------------

HRESULT FakeWindow::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, IID_IDispatchEx)) {
        return Hand(static_cast<IDispatchEx*>(this), object);
    }
    if (IsEqualIID(riid, IID_IHTMLWindow2)) {
        return Hand(static_cast<IHTMLWindow2*>(this), object);
    }
    return E_NOINTERFACE;
}

HRESULT FakeWindow::GetTypeInfoCount(UINT* count) {
    *count = 0;
    return S_OK;
}
HRESULT FakeWindow::GetTypeInfo(UINT, LCID, ITypeInfo**) {
    return E_NOTIMPL;
}

HRESULT FakeWindow::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (count != 1) {
        return DISP_E_UNKNOWNNAME;
    }
    fw::CComBSTR name(names[0]);
    return GetDispID(name, 0, ids);
}

HRESULT FakeWindow::Invoke(DISPID id, REFIID, LCID lcid, WORD flags, DISPPARAMS* params,
                           VARIANT* result, EXCEPINFO* exception, UINT*) {
    return InvokeEx(id, lcid, flags, params, result, exception, nullptr);
}

HRESULT FakeWindow::get_document(IHTMLDocument2** document) {
    *document = nullptr;
    return E_NOTIMPL;
}

FakeWindow::Slot* FakeWindow::Find(const std::u16string& name) {
    for (auto& slot : slots) {
        if (SameText(slot->name, name)) {
            return slot.get();
        }
    }
    return nullptr;
}

const FakeWindow::Slot* FakeWindow::Find(const std::u16string& name) const {
    for (const auto& slot : slots) {
        if (SameText(slot->name, name)) {
            return slot.get();
        }
    }
    return nullptr;
}

HRESULT FakeWindow::GetDispID(BSTR bstrName, DWORD flags, DISPID* id) {
    std::u16string name(bstrName != nullptr ? bstrName : u"", ::SysStringLen(bstrName));
    Slot* slot = Find(name);
    if (slot == nullptr || !slot->present) {
        if ((flags & fdexNameEnsure) == 0) {
            *id = DISPID_UNKNOWN;
            return DISP_E_UNKNOWNNAME;
        }
        if (slot == nullptr) {
            slots.push_back(std::make_unique<Slot>());
            slot = slots.back().get();
            slot->name = name;
            ::VariantInit(&slot->value);
        }
        slot->present = true;
    }
    for (size_t i = 0; i < slots.size(); ++i) {
        if (slots[i].get() == slot) {
            *id = static_cast<DISPID>(i + 1);
        }
    }
    return S_OK;
}

HRESULT FakeWindow::InvokeEx(DISPID id, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                             EXCEPINFO*, IServiceProvider*) {
    if (id < 1 || static_cast<size_t>(id) > slots.size() || !slots[id - 1]->present) {
        return DISP_E_MEMBERNOTFOUND;
    }
    Slot& slot = *slots[id - 1];
    if ((flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0) {
        // Accepted with or without the named argument DISPID_PROPERTYPUT.
        if (params == nullptr || params->cArgs != 1) {
            return DISP_E_BADPARAMCOUNT;
        }
        bool named = params->cNamedArgs == 1 && params->rgdispidNamedArgs != nullptr &&
                     params->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
        if (params->cNamedArgs != 0 && !named) {
            return DISP_E_NONAMEDARGS;
        }
        putNamedArgument.push_back(named);
        VARIANT copy;
        ::VariantInit(&copy);
        HRESULT hr = ::VariantCopy(&copy, &params->rgvarg[0]);
        if (FAILED(hr)) {
            return hr;
        }
        VARIANT old = slot.value;
        slot.value = copy;
        ++slot.puts;
        ::VariantClear(&old);
        if (onPut && slot.value.vt == VT_DISPATCH && slot.value.pdispVal != nullptr) {
            fw::CComPtr<IDispatch> object(slot.value.pdispVal);
            auto run = onPut;
            run(object);
        }
        return S_OK;
    }
    if ((flags & DISPATCH_PROPERTYGET) != 0 && result != nullptr) {
        return ::VariantCopy(result, &slot.value);
    }
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT FakeWindow::DeleteMemberByName(BSTR bstrName, DWORD) {
    Delete(std::u16string(bstrName != nullptr ? bstrName : u"", ::SysStringLen(bstrName)));
    return S_OK;
}
HRESULT FakeWindow::DeleteMemberByDispID(DISPID) {
    return E_NOTIMPL;
}
HRESULT FakeWindow::GetMemberProperties(DISPID, DWORD, DWORD*) {
    return E_NOTIMPL;
}
HRESULT FakeWindow::GetMemberName(DISPID, BSTR*) {
    return E_NOTIMPL;
}
HRESULT FakeWindow::GetNextDispID(DWORD, DISPID, DISPID*) {
    return S_FALSE;
}
HRESULT FakeWindow::GetNameSpaceParent(IUnknown**) {
    return E_NOTIMPL;
}

fw::CComPtr<IDispatch> FakeWindow::Property(const std::u16string& name) const {
    const Slot* slot = Find(name);
    if (slot == nullptr || !slot->present || slot->value.vt != VT_DISPATCH) {
        return {};
    }
    return fw::CComPtr<IDispatch>(slot->value.pdispVal);
}

int FakeWindow::Puts(const std::u16string& name) const {
    const Slot* slot = Find(name);
    return slot != nullptr ? slot->puts : 0;
}

void FakeWindow::Delete(const std::u16string& name) {
    Slot* slot = Find(name);
    if (slot == nullptr || !slot->present) {
        return;
    }
    slot->present = false;
    VARIANT old = slot->value;
    ::VariantInit(&slot->value);
    ::VariantClear(&old);
}

void FakeWindow::Clear() {
    // Released one by one after the table is empty: a release may reenter.
    std::vector<VARIANT> values;
    for (auto& slot : slots) {
        values.push_back(slot->value);
        ::VariantInit(&slot->value);
        slot->present = false;
    }
    for (VARIANT& value : values) {
        ::VariantClear(&value);
    }
}

// --- FakeDocument -------------------------------------------------------------------

HRESULT FakeDocument::QueryInterface(REFIID riid, void** object) {
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
HRESULT FakeDocument::GetTypeInfoCount(UINT* count) {
    *count = 0;
    return S_OK;
}
HRESULT FakeDocument::GetTypeInfo(UINT, LCID, ITypeInfo**) {
    return E_NOTIMPL;
}
HRESULT FakeDocument::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return DISP_E_UNKNOWNNAME;
}
HRESULT FakeDocument::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    return DISP_E_MEMBERNOTFOUND;
}
HRESULT FakeDocument::get_parentWindow(IHTMLWindow2** result) {
    *result = nullptr;
    if (!window) {
        return E_FAIL;
    }
    IHTMLWindow2* parent = window;
    parent->AddRef();
    *result = parent;
    return S_OK;
}
HRESULT FakeDocument::get_URL(BSTR* url) {
    *url = ::SysAllocString(u"http://example.test/");
    return S_OK;
}

// --- FakeBrowser --------------------------------------------------------------------

FakeBrowser::FakeBrowser(FakeBrowser* topLevel) : top(topLevel) {
    ::W32CreateConnectionPoint(this, DIID_DWebBrowserEvents2, &events);
}

FakeBrowser::~FakeBrowser() {
    if (events != nullptr) {
        ::W32DestroyConnectionPoint(events);
    }
}

HRESULT FakeBrowser::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, IID_IWebBrowser2)) {
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
HRESULT FakeBrowser::GetTypeInfoCount(UINT* count) {
    *count = 0;
    return S_OK;
}
HRESULT FakeBrowser::GetTypeInfo(UINT, LCID, ITypeInfo**) {
    return E_NOTIMPL;
}
HRESULT FakeBrowser::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return DISP_E_UNKNOWNNAME;
}
HRESULT FakeBrowser::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT FakeBrowser::get_Document(IDispatch** result) {
    *result = nullptr;
    if (!document) {
        return S_FALSE;
    }
    IDispatch* dispatch = static_cast<IHTMLDocument2*>(document);
    dispatch->AddRef();
    *result = dispatch;
    return S_OK;
}

HRESULT FakeBrowser::get_LocationURL(BSTR* url) {
    *url = ::SysAllocString(u"http://example.test/");
    return S_OK;
}

HRESULT FakeBrowser::EnumConnectionPoints(IEnumConnectionPoints**) {
    return E_NOTIMPL;
}

HRESULT FakeBrowser::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
    if (point == nullptr) {
        return E_POINTER;
    }
    *point = nullptr;
    if (events == nullptr || !IsEqualIID(riid, DIID_DWebBrowserEvents2)) {
        return CONNECT_E_NOCONNECTION;
    }
    events->AddRef();
    *point = events;
    return S_OK;
}

HRESULT FakeBrowser::QueryService(REFGUID service, REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (IsEqualGUID(service, SID_SWebBrowserApp)) {
        FakeBrowser* browser = top != nullptr ? top : this;
        return browser->QueryInterface(riid, object);
    }
    if (IsEqualGUID(service, IID_IHTMLWindow2) && serviceWindow) {
        return serviceWindow->QueryInterface(riid, object);
    }
    return E_NOINTERFACE;
}

void FakeBrowser::Load(bool withDocument) {
    fw::CComPtr<FakeDocument> old = std::move(document);
    if (withDocument) {
        fw::CComPtr<FakeWindow> window;
        window.Attach(new FakeWindow);
        document.Attach(new FakeDocument(window));
    }
    // The old page's script engine goes: its window drops its properties.
    if (old && old->window) {
        old->window->Clear();
    }
}

namespace {

// The sinks connected now, each with one reference for the caller.
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
        data.pUnk->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&sink));
        data.pUnk->Release();
        if (sink) {
            sinks.push_back(sink);
        }
    }
    return sinks;
}

}  // namespace

void FakeBrowser::Fire(DISPID event) {
    for (auto& sink : ConnectedSinks(events)) {
        DISPPARAMS params = {nullptr, nullptr, 0, 0};
        sink->Invoke(event, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                     nullptr, nullptr);
    }
}

void FakeBrowser::FireNavigateComplete(IDispatch* frame) {
    for (auto& sink : ConnectedSinks(events)) {
        // Arguments in reverse order: the URL (by reference), then the frame.
        VARIANT url;
        url.vt = VT_BSTR;
        url.bstrVal = ::SysAllocString(u"http://example.test/");
        VARIANT urlRef;
        ::VariantInit(&urlRef);
        urlRef.vt = VT_VARIANT | VT_BYREF;
        urlRef.pvarVal = &url;
        VARIANT args[2];
        args[0] = urlRef;
        ::VariantInit(&args[1]);
        args[1].vt = VT_DISPATCH;
        args[1].pdispVal = frame;
        DISPPARAMS params = {args, nullptr, 2, 0};
        sink->Invoke(DISPID_NAVIGATECOMPLETE2, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                     &params, nullptr, nullptr, nullptr);
        ::VariantClear(&url);
    }
}

void FakeBrowser::Navigate(bool withDocument) {
    Load(withDocument);
    FakeBrowser* browser = top != nullptr ? top : this;
    browser->FireNavigateComplete(static_cast<IWebBrowser2*>(this));
}

int FakeBrowser::Sinks() {
    return static_cast<int>(ConnectedSinks(events).size());
}

// --- FakePageFunction ---------------------------------------------------------------

HRESULT FakePageFunction::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
        return Hand(static_cast<IDispatch*>(this), object);
    }
    return E_NOINTERFACE;
}
HRESULT FakePageFunction::GetTypeInfoCount(UINT* count) {
    *count = 0;
    return S_OK;
}
HRESULT FakePageFunction::GetTypeInfo(UINT, LCID, ITypeInfo**) {
    return E_NOTIMPL;
}
HRESULT FakePageFunction::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return DISP_E_UNKNOWNNAME;
}

HRESULT FakePageFunction::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*,
                                 EXCEPINFO*, UINT*) {
    if (id != DISPID_VALUE || (flags & DISPATCH_METHOD) == 0 || params == nullptr) {
        return DISP_E_MEMBERNOTFOUND;
    }
    PageCall call;
    call.argCount = params->cArgs;
    if (params->cArgs >= 1) {
        const VARIANT& argument = params->rgvarg[params->cArgs - 1];
        if (argument.vt == VT_DISPATCH && argument.pdispVal != nullptr) {
            call.gotObject = true;
            VARIANT value;
            ::VariantInit(&value);
            if (SUCCEEDED(ReadProperty(argument.pdispVal, u"state", &value))) {
                call.state = value.lVal;
            }
            ::VariantClear(&value);
            if (SUCCEEDED(ReadProperty(argument.pdispVal, u"info", &value))) {
                call.info = value.lVal;
            }
            ::VariantClear(&value);
            if (SUCCEEDED(ReadProperty(argument.pdispVal, u"description", &value)) &&
                value.vt == VT_BSTR) {
                call.text = fw::CComBSTR(value.bstrVal).ToString();
            }
            ::VariantClear(&value);
            if (keep) {
                kept.emplace_back(argument.pdispVal);
            }
        } else if (argument.vt == VT_BSTR) {
            call.text = std::u16string(argument.bstrVal != nullptr ? argument.bstrVal : u"",
                                       ::SysStringLen(argument.bstrVal));
        }
    }
    calls.push_back(call);
    if (action) {
        // The action may drop this function: it runs last.
        auto run = action;
        run();
    }
    return S_OK;
}

HRESULT ReadProperty(IDispatch* object, const char16_t* name, VARIANT* value) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
        return hr;
    }
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, value,
                          nullptr, nullptr);
}

}  // namespace vexlo::test
