// The stand-in's connection point: sinks held by the interface they were
// asked for, cookies, and an enumeration of the connections for firing.
#include <map>
#include <mutex>
#include <new>
#include <vector>

#include "internal/com_object.h"
#include "w32/connection_points.h"

namespace {

class Connections final : public w32::com::RefCounted<IEnumConnections> {
public:
    explicit Connections(std::vector<CONNECTDATA> items) : items(std::move(items)) {}

    // Each connection handed out carries a reference of its sink.
    HRESULT STDMETHODCALLTYPE Next(ULONG cConnections, LPCONNECTDATA rgcd,
                                   ULONG* pcFetched) override {
        if (rgcd == nullptr || (cConnections != 1 && pcFetched == nullptr)) {
            return E_POINTER;
        }
        ULONG fetched = 0;
        while (fetched < cConnections && position < items.size()) {
            rgcd[fetched] = items[position++];
            rgcd[fetched].pUnk->AddRef();
            ++fetched;
        }
        if (pcFetched != nullptr) {
            *pcFetched = fetched;
        }
        return fetched == cConnections ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG cConnections) override {
        size_t left = items.size() - position;
        if (cConnections > left) {
            position = items.size();
            return S_FALSE;
        }
        position += cConnections;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        position = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumConnections** ppEnum) override {
        if (ppEnum == nullptr) {
            return E_POINTER;
        }
        std::vector<CONNECTDATA> copy = items;
        for (CONNECTDATA& item : copy) {
            item.pUnk->AddRef();
        }
        auto* clone = new (std::nothrow) Connections(std::move(copy));
        if (clone == nullptr) {
            for (CONNECTDATA& item : items) {
                item.pUnk->Release();
            }
            return E_OUTOFMEMORY;
        }
        clone->position = position;
        *ppEnum = clone;
        return S_OK;
    }

private:
    ~Connections() {
        for (CONNECTDATA& item : items) {
            item.pUnk->Release();
        }
    }

    std::vector<CONNECTDATA> items;  // each holds a reference
    size_t position = 0;
};

class ConnectionPoint final : public IConnectionPoint {
public:
    ConnectionPoint(IConnectionPointContainer* container, REFIID outgoing)
        : container(container), outgoing(outgoing) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        return w32::com::AnswerInterface<IConnectionPoint>(this, riid, ppv);
    }
    // The point is part of its container.
    ULONG STDMETHODCALLTYPE AddRef() override { return container->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return container->Release(); }

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* pIID) override {
        if (pIID == nullptr) {
            return E_POINTER;
        }
        *pIID = outgoing;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE
    GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override {
        if (ppCPC == nullptr) {
            return E_POINTER;
        }
        *ppCPC = container;
        container->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override {
        if (pdwCookie == nullptr) {
            return E_POINTER;
        }
        *pdwCookie = 0;
        if (pUnkSink == nullptr) {
            return E_POINTER;
        }
        IUnknown* sink = nullptr;
        if (FAILED(pUnkSink->QueryInterface(outgoing, reinterpret_cast<void**>(&sink))) ||
            sink == nullptr) {
            return CONNECT_E_CANNOTCONNECT;
        }
        std::lock_guard<std::mutex> guard(lock);
        DWORD cookie = nextCookie++;
        sinks[cookie] = sink;
        *pdwCookie = cookie;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) override {
        IUnknown* sink = nullptr;
        {
            std::lock_guard<std::mutex> guard(lock);
            auto it = sinks.find(dwCookie);
            if (it == sinks.end()) {
                return CONNECT_E_NOCONNECTION;
            }
            sink = it->second;
            sinks.erase(it);
        }
        sink->Release();  // outside the lock: a sink may unadvise others as it goes
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** ppEnum) override {
        if (ppEnum == nullptr) {
            return E_POINTER;
        }
        *ppEnum = nullptr;
        std::vector<CONNECTDATA> items;
        {
            std::lock_guard<std::mutex> guard(lock);
            for (auto& [cookie, sink] : sinks) {
                sink->AddRef();
                items.push_back(CONNECTDATA{sink, cookie});
            }
        }
        auto* connections = new (std::nothrow) Connections(items);
        if (connections == nullptr) {
            for (CONNECTDATA& item : items) {
                item.pUnk->Release();
            }
            return E_OUTOFMEMORY;
        }
        *ppEnum = connections;
        return S_OK;
    }

    // Releases every sink still connected.
    void Disconnect() {
        std::map<DWORD, IUnknown*> left;
        {
            std::lock_guard<std::mutex> guard(lock);
            left.swap(sinks);
        }
        for (auto& [cookie, sink] : left) {
            sink->Release();
        }
    }

private:
    IConnectionPointContainer* container;
    IID outgoing;
    std::mutex lock;
    std::map<DWORD, IUnknown*> sinks;
    DWORD nextCookie = 1;
};

}  // namespace

W32API HRESULT WINAPI W32CreateConnectionPoint(IConnectionPointContainer* container,
                                               REFIID outgoing, IConnectionPoint** point) {
    if (point == nullptr) {
        return E_POINTER;
    }
    *point = nullptr;
    if (container == nullptr) {
        return E_INVALIDARG;
    }
    auto* made = new (std::nothrow) ConnectionPoint(container, outgoing);
    if (made == nullptr) {
        return E_OUTOFMEMORY;
    }
    *point = made;
    return S_OK;
}

W32API void WINAPI W32DestroyConnectionPoint(IConnectionPoint* point) {
    auto* own = static_cast<ConnectionPoint*>(point);
    if (own != nullptr) {
        own->Disconnect();
        delete own;
    }
}
