// Small COM objects for tests: an IDispatch that counts its references,
// answers a DISPID_VALUE and records the calls it gets.
#pragma once

#include <windows.h>

#include <vector>

#include "support/com_unknown.h"

namespace test_support {

class CountedDispatch final : public RefCounted<IDispatch> {
public:
    // Starts with one reference, which the test owns.
    explicit CountedDispatch(bool* destroyed = nullptr) : destroyed(destroyed) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        bool asExtra = extra != nullptr && riid == *extra;
        return RefCounted::QueryInterface(asExtra ? IID_IDispatch : riid, ppv);
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
    ~CountedDispatch() override {
        if (destroyed != nullptr) {
            *destroyed = true;
        }
    }

    bool* destroyed;
};

// An object that answers IUnknown only.
class PlainUnknown final : public RefCounted<IUnknown> {
private:
    ~PlainUnknown() override = default;
};

// An event source: a connection point container with one point for the
// events' interface, destroyed with its last reference.
class EventSource final : public RefCounted<IConnectionPointContainer> {
public:
    EventSource(REFIID events, bool* destroyed) : events(events), destroyed(destroyed) {
        W32CreateConnectionPoint(this, events, &point);
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
    ~EventSource() override {
        W32DestroyConnectionPoint(point);
        if (destroyed != nullptr) {
            *destroyed = true;
        }
    }

    IID events;
    IConnectionPoint* point = nullptr;
    bool* destroyed;
};

}  // namespace test_support
