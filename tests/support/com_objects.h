// Small COM objects for tests: an IDispatch that counts its references,
// answers a DISPID_VALUE and records the calls it gets.
#pragma once

#include <windows.h>

#include <atomic>
#include <vector>

namespace test_support {

class CountedDispatch final : public IDispatch {
public:
    // Starts with one reference, which the test owns.
    explicit CountedDispatch(bool* destroyed = nullptr) : destroyed(destroyed) {}

    ULONG Count() const { return count; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IDispatch || (extra != nullptr && riid == *extra)) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++count; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --count;
        if (left == 0) {
            if (destroyed != nullptr) {
                *destroyed = true;
            }
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
        *pctinfo = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    // DISPID_VALUE as a property answers value; every call is recorded.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID, LCID, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO*,
                                     UINT*) override {
        calls.push_back(dispIdMember);
        callArgs.push_back(pDispParams != nullptr ? pDispParams->cArgs : 0);
        if (dispIdMember == DISPID_VALUE && (wFlags & DISPATCH_PROPERTYGET) != 0 &&
            pVarResult != nullptr) {
            if (!hasValue) {
                return DISP_E_MEMBERNOTFOUND;
            }
            return VariantCopy(pVarResult, &value);
        }
        return S_OK;
    }

    const IID* extra = nullptr;  // a further interface id answered, e.g. an event interface
    bool hasValue = false;
    VARIANT value = {};  // owned by the test
    std::vector<DISPID> calls;
    std::vector<UINT> callArgs;

private:
    ~CountedDispatch() = default;

    std::atomic<ULONG> count{1};
    bool* destroyed;
};

// An object that answers IUnknown only.
class PlainUnknown final : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++count; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --count;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    ULONG Count() const { return count; }

private:
    ~PlainUnknown() = default;
    std::atomic<ULONG> count{1};
};

// An event source: a connection point container with one point for the
// events' interface, destroyed with its last reference.
class EventSource final : public IConnectionPointContainer {
public:
    EventSource(REFIID events, bool* destroyed) : events(events), destroyed(destroyed) {
        W32CreateConnectionPoint(this, events, &point);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IConnectionPointContainer) {
            *ppv = static_cast<IConnectionPointContainer*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++count; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --count;
        if (left == 0) {
            W32DestroyConnectionPoint(point);
            if (destroyed != nullptr) {
                *destroyed = true;
            }
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override {
        if (ppCP == nullptr) {
            return E_POINTER;
        }
        *ppCP = nullptr;
        if (riid != events) {
            return CONNECT_E_NOCONNECTION;
        }
        *ppCP = point;
        point->AddRef();
        return S_OK;
    }

    // Calls every connected sink with one argument; answers the number called.
    int Fire(DISPID id, LONG argument = 0) {
        IEnumConnections* connections = nullptr;
        if (FAILED(point->EnumConnections(&connections))) {
            return -1;
        }
        int called = 0;
        CONNECTDATA data;
        while (connections->Next(1, &data, nullptr) == S_OK) {
            VARIANT arg;
            VariantInit(&arg);
            arg.vt = VT_I4;
            arg.lVal = argument;
            DISPPARAMS params = {&arg, nullptr, 1, 0};
            static_cast<IDispatch*>(data.pUnk)->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT,
                                                       DISPATCH_METHOD, &params, nullptr, nullptr,
                                                       nullptr);
            data.pUnk->Release();
            ++called;
        }
        connections->Release();
        return called;
    }

private:
    ~EventSource() = default;

    std::atomic<ULONG> count{1};
    IID events;
    IConnectionPoint* point = nullptr;
    bool* destroyed;
};

}  // namespace test_support
