// Small fakes of the browser side for the add-on's in-process tests: a
// browser (top-level or frame) with its connection point for the browser's
// events, its current document, the document's window with expando
// properties, and a page function that records its calls.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/com_ptr.h"

namespace vexlo::test {

// Counts the fake objects alive, so tests can see that nothing leaks.
int LiveFakes();

// An IDispatch that answers no names; the base of every fake.
template <class... Interfaces>
class FakeObject : public Interfaces... {
public:
    FakeObject();
    virtual ~FakeObject();
    FakeObject(const FakeObject&) = delete;
    FakeObject& operator=(const FakeObject&) = delete;

    ULONG STDMETHODCALLTYPE AddRef() override { return ++count; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --count;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    ULONG References() const { return count; }

private:
    ULONG count = 1;
};

class FakeWindow;

// The window of one document: properties by name, put and read through
// IDispatchEx as script engines do.
class FakeWindow : public FakeObject<IHTMLWindow2, IDispatchEx> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return FakeObject::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return FakeObject::Release(); }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID lcid, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT*) override;
    HRESULT STDMETHODCALLTYPE get_document(IHTMLDocument2** document) override;
    HRESULT STDMETHODCALLTYPE GetDispID(BSTR name, DWORD flags, DISPID* id) override;
    HRESULT STDMETHODCALLTYPE InvokeEx(DISPID id, LCID lcid, WORD flags, DISPPARAMS* params,
                                       VARIANT* result, EXCEPINFO* exception,
                                       IServiceProvider* caller) override;
    HRESULT STDMETHODCALLTYPE DeleteMemberByName(BSTR name, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE DeleteMemberByDispID(DISPID id) override;
    HRESULT STDMETHODCALLTYPE GetMemberProperties(DISPID, DWORD, DWORD*) override;
    HRESULT STDMETHODCALLTYPE GetMemberName(DISPID, BSTR*) override;
    HRESULT STDMETHODCALLTYPE GetNextDispID(DWORD, DISPID, DISPID*) override;
    HRESULT STDMETHODCALLTYPE GetNameSpaceParent(IUnknown**) override;

    // The object under a property, or null; one reference for the caller.
    fw::CComPtr<IDispatch> Property(const std::u16string& name) const;
    // How often a property was put.
    int Puts(const std::u16string& name) const;
    // Deletes a property as a script's delete does (its value is released).
    void Delete(const std::u16string& name);
    // Drops every property, as the page's script engine does when it goes.
    void Clear();

    // A put carries the named argument DISPID_PROPERTYPUT when it has one.
    std::vector<bool> putNamedArgument;
    // Runs after each put of an object, as a page script may.
    std::function<void(IDispatch*)> onPut;

private:
    struct Slot {
        std::u16string name;
        VARIANT value;
        int puts = 0;
        bool present = false;
    };
    Slot* Find(const std::u16string& name);
    const Slot* Find(const std::u16string& name) const;
    std::vector<std::unique_ptr<Slot>> slots;  // DISPID = index + 1
};

class FakeDocument : public FakeObject<IHTMLDocument2> {
public:
    explicit FakeDocument(FakeWindow* window) : window(window) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override;
    HRESULT STDMETHODCALLTYPE get_parentWindow(IHTMLWindow2** result) override;
    HRESULT STDMETHODCALLTYPE get_URL(BSTR* url) override;

    fw::CComPtr<FakeWindow> window;  // null: a document without a window
};

// A browser: the top-level one, or a frame whose service provider leads to
// the top-level one. It fires the browser's events to its connected sinks.
class FakeBrowser : public FakeObject<IWebBrowser2, IConnectionPointContainer, IServiceProvider> {
public:
    explicit FakeBrowser(FakeBrowser* topLevel = nullptr);
    ~FakeBrowser() override;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return FakeObject::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return FakeObject::Release(); }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override;
    HRESULT STDMETHODCALLTYPE get_Document(IDispatch** document) override;
    HRESULT STDMETHODCALLTYPE get_LocationURL(BSTR* url) override;
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;
    HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID riid, void** object) override;

    // Loads a new document with a window of its own; the old window's
    // properties go with the old page. withDocument false: no document.
    void Load(bool withDocument = true);
    // Fires an event with no arguments, or NavigateComplete2 of a frame.
    void Fire(DISPID event);
    void FireNavigateComplete(IDispatch* frame);
    // Load and tell the sinks, as a completed navigation does.
    void Navigate(bool withDocument = true);
    // The number of sinks connected.
    int Sinks();

    fw::CComPtr<FakeDocument> document;
    // The window the browser offers as a service (IID_IHTMLWindow2), if any.
    fw::CComPtr<FakeWindow> serviceWindow;

private:
    FakeBrowser* top;  // not owned; null for the top-level browser
    IConnectionPoint* events = nullptr;
};

// A page function: records what it receives and can run an action inside.
struct PageCall {
    bool gotObject = false;
    LONG state = 0;
    LONG info = 0;
    std::u16string text;  // the status object's description, or the string
    UINT argCount = 0;
};

class FakePageFunction : public FakeObject<IDispatch> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO*, UINT*) override;

    std::vector<PageCall> calls;
    std::vector<fw::CComPtr<IDispatch>> kept;
    bool keep = false;
    std::function<void()> action;
};

// A property of an object read through IDispatch, as script reads it.
HRESULT ReadProperty(IDispatch* object, const char16_t* name, VARIANT* value);

}  // namespace vexlo::test
