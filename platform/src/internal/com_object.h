// The IUnknown of the stand-in's own COM objects, each of which answers
// IUnknown and one interface: counted objects that delete themselves with
// their last reference, objects as long-lived as their module, and class
// objects.
#pragma once

#include <windows.h>

#include <atomic>

namespace w32::com {

// QueryInterface for IUnknown and Interface, the answer counted as COM asks.
template <class Interface>
HRESULT AnswerInterface(Interface* self, REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == InterfaceId<Interface>::Get()) {
        *ppv = self;
        self->AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

// Starts with one reference, which its creator owns. Base is the interface
// or a partial implementation of Interface.
template <class Base, class Interface = Base>
class RefCounted : public Base {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        return AnswerInterface<Interface>(this, riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --references;
        if (left == 0) {
            delete this;
        }
        return left;
    }

protected:
    virtual ~RefCounted() = default;

private:
    std::atomic<ULONG> references{1};
};

// An object that lives as long as its module or the process: references are
// not counted.
template <class Interface>
class Lifelong : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        return AnswerInterface<Interface>(this, riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

// A class object of a module: it refuses aggregation and leaves the object
// to Create; locking the server changes nothing.
class ClassObject : public Lifelong<IClassFactory> {
public:
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        return Create(riid, ppv);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

protected:
    virtual HRESULT Create(REFIID riid, void** ppv) = 0;
};

}  // namespace w32::com
