// The base of a COM module: the lock count that its live objects and class
// factory locks raise, and the process's Global Interface Table, which the
// module creates on first use and keeps.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>

namespace fw {

class CAtlModule {
public:
    // The first module object made is the module's.
    CAtlModule() {
        if (CurrentSlot() == nullptr) {
            CurrentSlot() = this;
        }
    }
    CAtlModule(const CAtlModule&) = delete;
    CAtlModule& operator=(const CAtlModule&) = delete;

    virtual LONG Lock() { return ++m_nLockCnt; }
    virtual LONG Unlock() { return --m_nLockCnt; }
    virtual LONG GetLockCount() { return m_nLockCnt; }

    // A new reference of the Global Interface Table (E_POINTER for a null out
    // pointer). The table is created on first use and kept; a failure to
    // create it is answered and nothing is kept.
    virtual HRESULT GetGITPtr(IGlobalInterfaceTable** ppGIT) {
        if (ppGIT == nullptr) {
            return E_POINTER;
        }
        *ppGIT = nullptr;
        std::lock_guard<std::mutex> guard(gitLock);
        if (m_pGIT == nullptr) {
            HRESULT hr =
                ::CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&m_pGIT));
            if (FAILED(hr)) {
                m_pGIT = nullptr;
                return hr;
            }
        }
        m_pGIT->AddRef();
        *ppGIT = m_pGIT;
        return S_OK;
    }

    virtual ~CAtlModule() {
        if (m_pGIT != nullptr) {
            m_pGIT->Release();
        }
        if (CurrentSlot() == this) {
            CurrentSlot() = nullptr;
        }
    }

    // The module object of the module that runs this code, or null. Each
    // module links its own copy of the framework with hidden symbols, so each
    // sees its own module object.
    static CAtlModule* Current() { return CurrentSlot(); }

protected:
    std::atomic<LONG> m_nLockCnt{0};

private:
    static CAtlModule*& CurrentSlot() {
        static CAtlModule* current = nullptr;
        return current;
    }

    std::mutex gitLock;
    IGlobalInterfaceTable* m_pGIT = nullptr;
};

}  // namespace fw
