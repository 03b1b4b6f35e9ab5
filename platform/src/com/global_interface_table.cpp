// The Global Interface Table: one per process, created on first use and never
// destroyed. Without apartments it hands back the registered object itself.
#include "internal/global_interface_table.h"

#include <atomic>
#include <map>
#include <mutex>

#include "internal/com_object.h"
#include "w32/com_services.h"

namespace w32::com {
namespace {

std::atomic<HRESULT> creationFailure{S_OK};

// The table lives as long as the process.
class GlobalInterfaceTable final : public Lifelong<IGlobalInterfaceTable> {
public:
    HRESULT STDMETHODCALLTYPE RegisterInterfaceInGlobal(IUnknown* pUnk, REFIID riid,
                                                        DWORD* pdwCookie) override {
        if (pdwCookie == nullptr) {
            return E_INVALIDARG;
        }
        *pdwCookie = 0;
        if (pUnk == nullptr) {
            return E_INVALIDARG;
        }
        // The reference kept is the interface asked for, as marshalling it would.
        IUnknown* kept = nullptr;
        HRESULT hr = pUnk->QueryInterface(riid, reinterpret_cast<void**>(&kept));
        if (FAILED(hr)) {
            return hr;
        }
        std::lock_guard<std::mutex> guard(lock);
        DWORD cookie = nextCookie++;
        if (nextCookie == 0) {
            nextCookie = 1;
        }
        entries[cookie] = Entry{kept, riid};
        *pdwCookie = cookie;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE RevokeInterfaceFromGlobal(DWORD dwCookie) override {
        IUnknown* kept = nullptr;
        {
            std::lock_guard<std::mutex> guard(lock);
            auto it = entries.find(dwCookie);
            if (it == entries.end()) {
                return E_INVALIDARG;
            }
            kept = it->second.object;
            entries.erase(it);
        }
        kept->Release();  // outside the lock: the object may call back in
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetInterfaceFromGlobal(DWORD dwCookie, REFIID riid,
                                                     void** ppv) override {
        if (ppv == nullptr) {
            return E_INVALIDARG;
        }
        *ppv = nullptr;
        IUnknown* kept = nullptr;
        {
            std::lock_guard<std::mutex> guard(lock);
            auto it = entries.find(dwCookie);
            if (it == entries.end()) {
                return E_INVALIDARG;
            }
            kept = it->second.object;
            kept->AddRef();
        }
        HRESULT hr = kept->QueryInterface(riid, ppv);
        kept->Release();
        return hr;
    }

private:
    struct Entry {
        IUnknown* object;
        IID iid;
    };

    std::mutex lock;
    std::map<DWORD, Entry> entries;
    DWORD nextCookie = 1;
};

GlobalInterfaceTable& TheTable() {
    static auto* table = new GlobalInterfaceTable;  // never destroyed
    return *table;
}

class TableFactory final : public ClassObject {
protected:
    HRESULT Create(REFIID riid, void** ppv) override {
        HRESULT failure = creationFailure.load();
        if (FAILED(failure)) {
            return failure;
        }
        return TheTable().QueryInterface(riid, ppv);
    }
};

}  // namespace

HRESULT GlobalInterfaceTableClassObject(REFIID riid, LPVOID* ppv) {
    static TableFactory factory;
    return factory.QueryInterface(riid, ppv);
}

}  // namespace w32::com

W32API void WINAPI W32FailGlobalInterfaceTableCreation(HRESULT hr) {
    w32::com::creationFailure.store(hr);
}
