// COM objects of the project's own: the object root (reference count,
// FinalConstruct and FinalRelease, the interface map) and CComObject, which
// gives a class its IUnknown and holds a lock on its module while it lives.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <new>

#include "framework/com_module_base.h"

namespace fw {

// One line of an interface map: the interface id and the cast from the
// object to that interface.
struct InterfaceEntry {
    const IID* iid;
    void* (*cast)(void* object);
};

// Thread models of the reference count. The count is atomic in both: the
// single-threaded model costs nothing more and stays safe.
struct CComSingleThreadModel {};
struct CComMultiThreadModel {};

class CComObjectRootBase {
public:
    // Called once after construction, with a reference held; a failure
    // destroys the object.
    HRESULT FinalConstruct() { return S_OK; }
    // Called once when the last reference goes, before destruction. References
    // taken and given back meanwhile do not destroy the object twice.
    void FinalRelease() {}

    static HRESULT InternalQueryInterface(void* object, const InterfaceEntry* entries, REFIID iid,
                                          void** ppv) {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (entries == nullptr || entries[0].iid == nullptr) {
            return E_NOINTERFACE;
        }
        // IUnknown is the first interface of the map, so that identity holds.
        if (iid == IID_IUnknown) {
            *ppv = entries[0].cast(object);
        } else {
            for (const InterfaceEntry* entry = entries; entry->iid != nullptr; ++entry) {
                if (*entry->iid == iid) {
                    *ppv = entry->cast(object);
                    break;
                }
            }
        }
        if (*ppv == nullptr) {
            return E_NOINTERFACE;
        }
        static_cast<IUnknown*>(*ppv)->AddRef();
        return S_OK;
    }

    ULONG InternalAddRef() { return static_cast<ULONG>(++m_dwRef); }
    ULONG InternalRelease() { return static_cast<ULONG>(--m_dwRef); }

protected:
    std::atomic<LONG> m_dwRef{0};
};

template <class ThreadModel = CComSingleThreadModel>
class CComObjectRootEx : public CComObjectRootBase {};

using CComObjectRoot = CComObjectRootEx<CComSingleThreadModel>;

// The object itself: Base is a class with an interface map, derived from the
// interfaces it implements. Created with a reference count of 0.
template <class Base>
class CComObject final : public Base {
public:
    CComObject() {
        if (CAtlModule* module = CAtlModule::Current()) {
            module->Lock();
        }
    }
    CComObject(const CComObject&) = delete;
    CComObject& operator=(const CComObject&) = delete;

    // A new object with a reference count of 0, after FinalConstruct.
    static HRESULT CreateInstance(CComObject** pp) {
        if (pp == nullptr) {
            return E_POINTER;
        }
        *pp = nullptr;
        auto* object = new (std::nothrow) CComObject;
        if (object == nullptr) {
            return E_OUTOFMEMORY;
        }
        // FinalConstruct runs with a reference, so that it can hand out and
        // take back references of its own without destroying the object.
        object->InternalAddRef();
        HRESULT hr = object->FinalConstruct();
        object->InternalRelease();
        if (FAILED(hr)) {
            object->m_dwRef = 1;
            object->Release();
            return hr;
        }
        *pp = object;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
        return this->_InternalQueryInterface(iid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return this->InternalAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = this->InternalRelease();
        if (left == 0) {
            // Keeps references of FinalRelease's own from coming back to 0.
            this->m_dwRef = INT32_MAX / 2;
            this->FinalRelease();
            delete this;
        }
        return left;
    }

private:
    ~CComObject() {
        if (CAtlModule* module = CAtlModule::Current()) {
            module->Unlock();
        }
    }
};

}  // namespace fw

// The interface map of a class: its interfaces in order, the first being the
// object's IUnknown.
#define BEGIN_COM_MAP(theClass)                                       \
public:                                                               \
    using _ComMapClass = theClass;                                    \
    HRESULT _InternalQueryInterface(REFIID iid, void** ppv) {         \
        return InternalQueryInterface(this, _GetEntries(), iid, ppv); \
    }                                                                 \
    IUnknown* GetUnknown() {                                          \
        return static_cast<IUnknown*>(_GetEntries()[0].cast(this));   \
    }                                                                 \
    static const ::fw::InterfaceEntry* _GetEntries() {                \
        static const ::fw::InterfaceEntry entries[] = {
// An interface that the class derives from once.
#define COM_INTERFACE_ENTRY(Interface)                                       \
    {&InterfaceId<Interface>::Get(), [](void* object) -> void* {             \
         return static_cast<Interface*>(static_cast<_ComMapClass*>(object)); \
     }},

// An interface id answered with the class's Interface.
#define COM_INTERFACE_ENTRY_IID(iid, Interface)                              \
    {&(iid), [](void* object) -> void* {                                     \
         return static_cast<Interface*>(static_cast<_ComMapClass*>(object)); \
     }},

// Interface reached through Branch, for an interface the class derives from
// more than once (IDispatch through one of its dual interfaces).
#define COM_INTERFACE_ENTRY2(Interface, Branch)                                                    \
    {&InterfaceId<Interface>::Get(), [](void* object) -> void* {                                   \
         return static_cast<Interface*>(static_cast<Branch*>(static_cast<_ComMapClass*>(object))); \
     }},

#define END_COM_MAP()    \
    { nullptr, nullptr } \
    }                    \
    ;                    \
    return entries;      \
    }
