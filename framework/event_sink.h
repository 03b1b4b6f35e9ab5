// A dispatch event sink that does not own the object it serves: the owner
// keeps it as a member and connects it to an event source. Its AddRef and
// Release do not count the owner, so an advised owner can still die and
// unadvise in FinalRelease; a sink that counted its owner would make a cycle
// through the connection point and the owner would never die.
#pragma once

#include <windows.h>

#include "framework/com_ptr.h"

namespace fw {

// One event handler of a sink map: events of interface *diid with DISPID
// dispid, for the sink with id sinkId, go to the owner's handler, which gets
// the event's DISPPARAMS.
template <class T>
struct SinkEntry {
    UINT sinkId;
    const IID* diid;
    DISPID dispid;
    void (T::*handler)(DISPPARAMS* params);
};

template <UINT nID, class T, const IID* pdiid>
class CDispEventSink final : public IDispatch {
public:
    explicit CDispEventSink(T* owner) : owner(owner) {}
    CDispEventSink(const CDispEventSink&) = delete;
    CDispEventSink& operator=(const CDispEventSink&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == *pdiid) {
            *ppv = static_cast<IDispatch*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // The owner's lifetime is its own: the sink lives as its member.
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
        if (pctinfo == nullptr) {
            return E_POINTER;
        }
        *pctinfo = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
        if (ppTInfo != nullptr) {
            *ppTInfo = nullptr;
        }
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    // Events without a handler are answered S_OK too.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID, LCID, WORD,
                                     DISPPARAMS* pDispParams, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        for (const SinkEntry<T>* entry = T::_GetSinkMap(); entry->diid != nullptr; ++entry) {
            if (entry->sinkId == nID && *entry->diid == *pdiid && entry->dispid == dispIdMember) {
                DISPPARAMS none = {nullptr, nullptr, 0, 0};
                (owner->*entry->handler)(pDispParams != nullptr ? pDispParams : &none);
                break;
            }
        }
        return S_OK;
    }

    // Connects to the source's connection point for *pdiid.
    HRESULT DispEventAdvise(IUnknown* source) {
        if (source == nullptr) {
            return E_INVALIDARG;
        }
        if (advised) {
            return CONNECT_E_ADVISELIMIT;
        }
        CComPtr<IConnectionPoint> point;
        HRESULT hr = FindPoint(source, &point);
        if (SUCCEEDED(hr)) {
            hr = point->Advise(this, &m_dwEventCookie);
        }
        if (SUCCEEDED(hr)) {
            advised = true;
        }
        return hr;
    }
    HRESULT DispEventUnadvise(IUnknown* source) {
        if (source == nullptr) {
            return E_INVALIDARG;
        }
        if (!advised) {
            return CONNECT_E_NOCONNECTION;
        }
        CComPtr<IConnectionPoint> point;
        HRESULT hr = FindPoint(source, &point);
        if (SUCCEEDED(hr)) {
            hr = point->Unadvise(m_dwEventCookie);
        }
        // The connection is gone either way when the source no longer has it.
        if (SUCCEEDED(hr) || hr == CONNECT_E_NOCONNECTION) {
            advised = false;
            m_dwEventCookie = 0;
        }
        return hr;
    }

    bool IsAdvised() const { return advised; }
    DWORD Cookie() const { return m_dwEventCookie; }

private:
    static HRESULT FindPoint(IUnknown* source, IConnectionPoint** point) {
        CComPtr<IConnectionPointContainer> container;
        HRESULT hr = source->QueryInterface(IID_IConnectionPointContainer,
                                            reinterpret_cast<void**>(&container));
        if (FAILED(hr)) {
            return hr;
        }
        return container->FindConnectionPoint(*pdiid, point);
    }

    T* owner;
    DWORD m_dwEventCookie = 0;
    bool advised = false;
};

}  // namespace fw

// The sink map of a class: which handler takes which event of which sink.
#define BEGIN_SINK_MAP(theClass)                            \
public:                                                     \
    using _SinkMapClass = theClass;                         \
    static const ::fw::SinkEntry<theClass>* _GetSinkMap() { \
        static const ::fw::SinkEntry<theClass> entries[] = {
#define SINK_ENTRY_EX(id, diid, dispid, handler) {id, &(diid), dispid, &_SinkMapClass::handler},
#define END_SINK_MAP()         \
    { 0, nullptr, 0, nullptr } \
    }                          \
    ;                          \
    return entries;            \
    }
