// Doubles of what a page gives the add-on besides the browser's objects: a
// page function that records its calls, and the one hook the browser's
// objects lack, a frame whose window records how each put is shaped.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/com_ptr.h"
#include "support/com_unknown.h"

namespace vexlo::test {

// A counted object that also answers IDispatch, with no names.
template <class Interface>
class NamelessObject : public test_support::RefCounted<Interface> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object != nullptr && IsEqualIID(riid, IID_IDispatch)) {
            *object = static_cast<IDispatch*>(this);
            this->AddRef();
            return S_OK;
        }
        return test_support::RefCounted<Interface>::QueryInterface(riid, object);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }
};

// A page function: records what it receives and can run an action inside.
struct PageCall {
    bool gotObject = false;
    LONG state = 0;
    LONG info = 0;
    std::u16string text;  // the status object's description, or the string
    UINT argCount = 0;
};

class FakePageFunction final : public NamelessObject<IDispatch> {
public:
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT*) override;

    std::vector<PageCall> calls;
    std::vector<fw::CComPtr<IDispatch>> kept;
    bool keep = false;
    std::function<void()> action;
};

// A window that keeps one property and records, for each put, whether it
// carried the named argument DISPID_PROPERTYPUT.
class RecordingWindow final : public NamelessObject<IDispatchEx>, public IHTMLWindow2 {
public:
    RecordingWindow() { ::VariantInit(&value); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return NamelessObject::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return NamelessObject::Release(); }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        return NamelessObject::GetTypeInfoCount(count);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override {
        return NamelessObject::GetTypeInfo(index, lcid, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                            DISPID* ids) override {
        return NamelessObject::GetIDsOfNames(riid, names, count, lcid, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argError) override {
        return NamelessObject::Invoke(id, riid, lcid, flags, params, result, exception, argError);
    }
    HRESULT STDMETHODCALLTYPE get_document(IHTMLDocument2** document) override;
    HRESULT STDMETHODCALLTYPE GetDispID(BSTR name, DWORD flags, DISPID* id) override;
    HRESULT STDMETHODCALLTYPE InvokeEx(DISPID id, LCID, WORD flags, DISPPARAMS* params, VARIANT*,
                                       EXCEPINFO*, IServiceProvider*) override;
    HRESULT STDMETHODCALLTYPE DeleteMemberByName(BSTR, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeleteMemberByDispID(DISPID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMemberProperties(DISPID, DWORD, DWORD*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetMemberName(DISPID, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNextDispID(DWORD, DISPID, DISPID*) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE GetNameSpaceParent(IUnknown**) override { return E_NOTIMPL; }

    // Drops the property's value, as the page's end does.
    void Clear();

    std::u16string name;  // the property's name, once given an id
    std::vector<bool> putNamedArgument;

private:
    ~RecordingWindow() override { ::VariantClear(&value); }

    VARIANT value;
};

class RecordingDocument final : public NamelessObject<IHTMLDocument2> {
public:
    explicit RecordingDocument(RecordingWindow* window) : window(window) {}
    HRESULT STDMETHODCALLTYPE get_parentWindow(IHTMLWindow2** result) override;
    HRESULT STDMETHODCALLTYPE get_URL(BSTR* url) override;

    fw::CComPtr<RecordingWindow> window;
};

// A frame without events showing a document with a recording window. End
// is the page's end: the page object in the window holds the document.
class RecordingFrame final : public NamelessObject<IWebBrowser2> {
public:
    RecordingFrame();
    HRESULT STDMETHODCALLTYPE get_Document(IDispatch** result) override;
    HRESULT STDMETHODCALLTYPE get_LocationURL(BSTR* url) override;
    void End();

    fw::CComPtr<RecordingDocument> document;
};

// A property of an object read through IDispatch, as script reads it.
HRESULT ReadProperty(IDispatch* object, const char16_t* name, VARIANT* value);

}  // namespace vexlo::test
