// Owning wrappers for COM references and BSTRs, and a reference-counted base
// for the project's own COM objects.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <utility>

namespace fw {

template <class T>
class CComPtr {
public:
    CComPtr() = default;
    CComPtr(T* pointer) : p(pointer) {  // NOLINT: takes a reference of its own, as COM does
        if (p != nullptr) {
            p->AddRef();
        }
    }
    CComPtr(const CComPtr& other) : CComPtr(other.p) {}
    CComPtr(CComPtr&& other) noexcept : p(std::exchange(other.p, nullptr)) {}
    ~CComPtr() { Release(); }

    CComPtr& operator=(T* pointer) {
        if (pointer != nullptr) {
            pointer->AddRef();
        }
        Release();
        p = pointer;
        return *this;
    }
    CComPtr& operator=(const CComPtr& other) { return *this = other.p; }
    CComPtr& operator=(CComPtr&& other) noexcept {
        // operator& is the out-parameter address, not the wrapper's.
        if (this != std::addressof(other)) {
            Release();
            p = std::exchange(other.p, nullptr);
        }
        return *this;
    }

    T* operator->() const { return p; }
    operator T*() const { return p; }
    // The address for an out parameter; the wrapper must be empty.
    T** operator&() { return &p; }
    explicit operator bool() const { return p != nullptr; }

    void Release() {
        if (T* old = std::exchange(p, nullptr)) {
            old->Release();
        }
    }
    void Attach(T* pointer) {
        Release();
        p = pointer;
    }
    T* Detach() { return std::exchange(p, nullptr); }
    HRESULT CopyTo(T** out) const {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = p;
        if (p != nullptr) {
            p->AddRef();
        }
        return S_OK;
    }
    template <class Q>
    HRESULT QueryInterface(Q** out) const {
        if (p == nullptr) {
            return E_POINTER;
        }
        return p->QueryInterface(InterfaceId<Q>::Get(), reinterpret_cast<void**>(out));
    }

    T* p = nullptr;
};

class CComBSTR {
public:
    CComBSTR() = default;
    explicit CComBSTR(const OLECHAR* text) : m_str(::SysAllocString(text)) {}
    explicit CComBSTR(const std::u16string& text)
        : m_str(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    CComBSTR(UINT length, const OLECHAR* text) : m_str(::SysAllocStringLen(text, length)) {}
    CComBSTR(const CComBSTR& other) : m_str(other.Copy()) {}
    CComBSTR(CComBSTR&& other) noexcept : m_str(std::exchange(other.m_str, nullptr)) {}
    ~CComBSTR() { ::SysFreeString(m_str); }

    CComBSTR& operator=(const CComBSTR& other) {
        if (this != std::addressof(other)) {
            ::SysFreeString(m_str);
            m_str = other.Copy();
        }
        return *this;
    }
    CComBSTR& operator=(CComBSTR&& other) noexcept {
        if (this != std::addressof(other)) {
            ::SysFreeString(m_str);
            m_str = std::exchange(other.m_str, nullptr);
        }
        return *this;
    }

    CComBSTR& operator=(const OLECHAR* text) {
        if (text != m_str) {
            ::SysFreeString(m_str);
            m_str = ::SysAllocString(text);
        }
        return *this;
    }

    operator BSTR() const { return m_str; }
    BSTR* operator&() { return &m_str; }
    UINT Length() const { return ::SysStringLen(m_str); }
    bool IsNull() const { return m_str == nullptr; }
    std::u16string ToString() const {
        return std::u16string(m_str != nullptr ? m_str : u"", Length());
    }
    BSTR Copy() const {
        return m_str == nullptr ? nullptr : ::SysAllocStringLen(m_str, ::SysStringLen(m_str));
    }
    // A copy for an out parameter (a null string stays null).
    HRESULT CopyTo(BSTR* out) const {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = Copy();
        return *out == nullptr && m_str != nullptr ? E_OUTOFMEMORY : S_OK;
    }
    // A copy as a VT_BSTR variant; the variant is overwritten, not cleared.
    HRESULT CopyTo(VARIANT* out) const {
        if (out == nullptr) {
            return E_POINTER;
        }
        BSTR copy = Copy();
        if (copy == nullptr && m_str != nullptr) {
            return E_OUTOFMEMORY;
        }
        out->vt = VT_BSTR;
        out->bstrVal = copy;
        return S_OK;
    }
    void Attach(BSTR text) {
        ::SysFreeString(m_str);
        m_str = text;
    }
    BSTR Detach() { return std::exchange(m_str, nullptr); }
    void Empty() {
        ::SysFreeString(m_str);
        m_str = nullptr;
    }

    BSTR m_str = nullptr;
};

// Reference counting for a COM object of the project's own: the object
// starts with the count given and deletes itself when the last reference goes.
// Derived classes answer QueryInterface.
template <class Base>
class CRefCounted : public Base {
public:
    explicit CRefCounted(ULONG initial = 1) : count(initial) {}

    ULONG STDMETHODCALLTYPE AddRef() override { return ++count; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --count;
        if (left == 0) {
            delete this;
        }
        return left;
    }

protected:
    virtual ~CRefCounted() = default;

private:
    std::atomic<ULONG> count;
};

}  // namespace fw
