// The DLL module of an in-process COM server: its class table, the class
// factories it caches, the answers of its exports and its registration.
//
// A class joins the table with OBJECT_ENTRY_AUTO(clsid, Class); the class
// gives its registration with DECLARE_REGISTRY_RESOURCEID(id), a
// description kept as the module's RT_REGISTRY_SCRIPT resource. The lock
// count (framework/com_module_base.h) is raised by every live object and by
// LockServer; a cached class factory holds no lock, so DllCanUnloadNow can
// answer S_OK while the module keeps its factories.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "framework/com_module_base.h"
#include "framework/com_object.h"
#include "framework/module.h"
#include "framework/registrar.h"
#include "framework/typelib_registration.h"

namespace fw {

// Per-user registration for this process: the registrar writes the classes
// under HKCU\Software\Classes and the type library goes to
// RegisterTypeLibForUser.
inline std::atomic<bool>& PerUserRegistrationFlag() {
    static std::atomic<bool> perUser{false};
    return perUser;
}
inline HRESULT AtlSetPerUserRegistration(bool perUser) {
    PerUserRegistrationFlag() = perUser;
    return S_OK;
}
inline HRESULT AtlGetPerUserRegistration(bool* perUser) {
    if (perUser == nullptr) {
        return E_POINTER;
    }
    *perUser = PerUserRegistrationFlag();
    return S_OK;
}

// Creates an object of a class of the table, as its class factory does.
template <class T>
struct CComCreator {
    static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        CComObject<T>* object = nullptr;
        HRESULT hr = CComObject<T>::CreateInstance(&object);
        if (FAILED(hr)) {
            return hr;
        }
        object->AddRef();
        hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    }
};

// One class of the table.
struct ObjectEntry {
    const CLSID* clsid;
    HRESULT (*createInstance)(IUnknown* outer, REFIID riid, void** ppv);
    HRESULT (*updateRegistry)(bool doRegister);
    IClassFactory* factory;  // cached once asked for
};

// The table of this module (each module compiles its own copy).
inline std::vector<ObjectEntry*>& ObjectTable() {
    static std::vector<ObjectEntry*> table;
    return table;
}

struct ObjectEntryRegistration {
    explicit ObjectEntryRegistration(ObjectEntry& entry) { ObjectTable().push_back(&entry); }
};

class CAtlDllModuleBase;

// The class factory of a class of the table.
class CComClassFactory final : public IClassFactory {
public:
    explicit CComClassFactory(HRESULT (*create)(IUnknown*, REFIID, void**)) : create_(create) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = --refs_;
        if (left == 0) {
            delete this;
        }
        return static_cast<ULONG>(left);
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        *ppv = nullptr;
        return create_(outer, riid, ppv);
    }
    // Only a lock asked for keeps the module loaded.
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (CAtlModule* module = CAtlModule::Current()) {
            lock ? module->Lock() : module->Unlock();
        }
        return S_OK;
    }

private:
    HRESULT (*create_)(IUnknown*, REFIID, void**);
    std::atomic<LONG> refs_{0};
};

// What every DLL module does; CAtlDllModuleT adds the application-id
// registration of the module class T.
class CAtlDllModuleBase : public CAtlModule {
public:
    // The table is made first, so that it outlives the module object,
    // which releases the cached factories when the library is unloaded.
    CAtlDllModuleBase() {
        ObjectTable();
        Slot() = this;
    }
    ~CAtlDllModuleBase() override {
        for (ObjectEntry* entry : ObjectTable()) {
            if (entry->factory != nullptr) {
                entry->factory->Release();
                entry->factory = nullptr;
            }
        }
        if (Slot() == this) {
            Slot() = nullptr;
        }
    }

    static CAtlDllModuleBase* Current() { return Slot(); }

    // The replacements every registration description of the module gets:
    // MODULE, the module's full path.
    virtual HRESULT AddCommonRGSReplacements(CRegistrar& registrar) {
        OLECHAR path[MAX_PATH];
        DWORD length = ::GetModuleFileNameW(ThisModule(), path, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) {
            return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
        }
        registrar.AddReplacement(u"MODULE", std::u16string(path, length));
        return S_OK;
    }

    // Runs the description kept as resource id, per user when switched on.
    HRESULT UpdateRegistryFromResource(UINT id, bool doRegister) {
        CRegistrar registrar;
        registrar.SetPerUser(PerUserRegistrationFlag());
        HRESULT hr = AddCommonRGSReplacements(registrar);
        return FAILED(hr) ? hr : registrar.ResourceRegister(ThisModule(), id, doRegister);
    }

    HRESULT DllCanUnloadNow() { return GetLockCount() == 0 ? S_OK : S_FALSE; }

    HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        *ppv = nullptr;
        for (ObjectEntry* entry : ObjectTable()) {
            if (*entry->clsid != rclsid) {
                continue;
            }
            IClassFactory* factory = nullptr;
            {
                // Two threads asking first make one factory.
                std::lock_guard<std::mutex> guard(m_csStaticDataInitType);
                if (entry->factory == nullptr) {
                    auto* made = new (std::nothrow) CComClassFactory(entry->createInstance);
                    if (made == nullptr) {
                        return E_OUTOFMEMORY;
                    }
                    made->AddRef();
                    entry->factory = made;
                }
                factory = entry->factory;
                factory->AddRef();
            }
            HRESULT hr = factory->QueryInterface(riid, ppv);
            factory->Release();
            return hr;
        }
        return CLASS_E_CLASSNOTAVAILABLE;
    }

protected:
    // The module's own description (its application id); none by default.
    virtual HRESULT UpdateRegistryAppId(bool) { return S_OK; }

    HRESULT RegisterServer(bool registerTypeLib) {
        HRESULT hr = UpdateRegistryAppId(true);
        for (ObjectEntry* entry : ObjectTable()) {
            if (SUCCEEDED(hr)) {
                hr = entry->updateRegistry(true);
            }
        }
        if (SUCCEEDED(hr) && registerTypeLib) {
            hr = RegisterModuleTypeLib(ThisModule(), PerUserRegistrationFlag());
        }
        return hr;
    }

    HRESULT UnregisterServer(bool unregisterTypeLib) {
        HRESULT hr = S_OK;
        for (ObjectEntry* entry : ObjectTable()) {
            HRESULT step = entry->updateRegistry(false);
            hr = FAILED(hr) ? hr : step;
        }
        HRESULT step = UpdateRegistryAppId(false);
        hr = FAILED(hr) ? hr : step;
        if (unregisterTypeLib) {
            step = UnRegisterModuleTypeLib(ThisModule(), PerUserRegistrationFlag());
            hr = FAILED(hr) ? hr : step;
        }
        return hr;
    }

    std::mutex m_csStaticDataInitType;

private:
    static CAtlDllModuleBase*& Slot() {
        static CAtlDllModuleBase* current = nullptr;
        return current;
    }
};

template <class T>
class CAtlDllModuleT : public CAtlDllModuleBase {
public:
    HRESULT DllRegisterServer(bool registerTypeLib = true) {
        return RegisterServer(registerTypeLib);
    }
    HRESULT DllUnregisterServer(bool unregisterTypeLib = true) {
        return UnregisterServer(unregisterTypeLib);
    }
};

}  // namespace fw

// A class's registration: the description kept as resource id of its module.
#define DECLARE_REGISTRY_RESOURCEID(id)                                               \
    static HRESULT UpdateRegistry(bool doRegister) {                                  \
        ::fw::CAtlDllModuleBase* module = ::fw::CAtlDllModuleBase::Current();         \
        return module != nullptr ? module->UpdateRegistryFromResource(id, doRegister) \
                                 : E_UNEXPECTED;                                      \
    }

// Puts Class into the module's class table under clsid.
#define OBJECT_ENTRY_AUTO(clsid, Class)                                                        \
    namespace {                                                                                \
    ::fw::ObjectEntry W32_CONCAT(objectEntry, __LINE__) = {                                    \
        &(clsid), &::fw::CComCreator<Class>::CreateInstance, &Class::UpdateRegistry, nullptr}; \
    ::fw::ObjectEntryRegistration W32_CONCAT(objectEntryRegistration,                          \
                                             __LINE__)(W32_CONCAT(objectEntry, __LINE__));     \
    }
