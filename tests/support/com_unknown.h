// The IUnknown of the tests' own COM objects, each of which answers IUnknown
// and one interface: counted objects that delete themselves with their last
// reference, objects as long-lived as their module, and class objects.
#pragma once

#include <windows.h>

#include <atomic>

namespace test_support {

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

// Starts with one reference, which its creator owns.
template <class Interface>
class RefCounted : public Interface {
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
    ULONG Count() const { return references; }

protected:
    virtual ~RefCounted() = default;

private:
    std::atomic<ULONG> references{1};
};

// A module's class object: a static object whose references are not counted.
// It refuses aggregation and leaves the object to Create.
class ClassObject : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        return AnswerInterface<IClassFactory>(this, riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
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

protected:
    virtual HRESULT Create(REFIID riid, void** ppv) = 0;
};

}  // namespace test_support
