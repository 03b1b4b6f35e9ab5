// An owning VARIANT: what it holds (a BSTR, a reference) is freed with it.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

namespace fw {

class CComVariant : public tagVARIANT {
public:
    CComVariant() { ::VariantInit(this); }
    CComVariant(const VARIANT& other) {  // NOLINT: copies, as VariantCopy does
        ::VariantInit(this);
        ::VariantCopy(this, &other);
    }
    CComVariant(const CComVariant& other) : CComVariant(static_cast<const VARIANT&>(other)) {}
    CComVariant(CComVariant&& other) noexcept {
        *static_cast<VARIANT*>(this) = other;
        ::VariantInit(&other);
    }
    CComVariant(LONG value) {  // NOLINT: a value of its own type
        ::VariantInit(this);
        vt = VT_I4;
        lVal = value;
    }
    CComVariant(SHORT value) {  // NOLINT
        ::VariantInit(this);
        vt = VT_I2;
        iVal = value;
    }
    CComVariant(double value) {  // NOLINT
        ::VariantInit(this);
        vt = VT_R8;
        dblVal = value;
    }
    CComVariant(bool value) {  // NOLINT
        ::VariantInit(this);
        vt = VT_BOOL;
        boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    }
    // A copy of the text as a BSTR (VT_ERROR / E_OUTOFMEMORY when it cannot be
    // allocated).
    CComVariant(LPCOLESTR text) {  // NOLINT
        ::VariantInit(this);
        SetString(text, text != nullptr ? std::char_traits<OLECHAR>::length(text) : 0);
    }
    CComVariant(const std::u16string& text) {  // NOLINT
        ::VariantInit(this);
        SetString(text.data(), text.size());
    }
    // Takes a reference of its own.
    CComVariant(IDispatch* object) {  // NOLINT
        ::VariantInit(this);
        vt = VT_DISPATCH;
        pdispVal = object;
        if (object != nullptr) {
            object->AddRef();
        }
    }
    CComVariant(IUnknown* object) {  // NOLINT
        ::VariantInit(this);
        vt = VT_UNKNOWN;
        punkVal = object;
        if (object != nullptr) {
            object->AddRef();
        }
    }
    ~CComVariant() { ::VariantClear(this); }

    CComVariant& operator=(const CComVariant& other) {
        if (this != &other) {
            Copy(&other);
        }
        return *this;
    }
    CComVariant& operator=(CComVariant&& other) noexcept {
        if (this != &other) {
            ::VariantClear(this);
            *static_cast<VARIANT*>(this) = other;
            ::VariantInit(&other);
        }
        return *this;
    }

    HRESULT Clear() { return ::VariantClear(this); }
    HRESULT Copy(const VARIANT* source) { return ::VariantCopy(this, source); }
    // Converts in place, or converts source into this variant.
    HRESULT ChangeType(VARTYPE type, const VARIANT* source = nullptr) {
        return ::VariantChangeType(this, source != nullptr ? source : this, 0, type);
    }
    // Hands the value to target (cleared first); this variant becomes empty.
    HRESULT Detach(VARIANT* target) {
        if (target == nullptr) {
            return E_POINTER;
        }
        HRESULT hr = ::VariantClear(target);
        if (SUCCEEDED(hr)) {
            *target = *this;
            ::VariantInit(this);
        }
        return hr;
    }
    // Takes over source's value; source becomes empty.
    HRESULT Attach(VARIANT* source) {
        if (source == nullptr) {
            return E_INVALIDARG;
        }
        HRESULT hr = ::VariantClear(this);
        if (SUCCEEDED(hr)) {
            *static_cast<VARIANT*>(this) = *source;
            ::VariantInit(source);
        }
        return hr;
    }

private:
    void SetString(const OLECHAR* text, size_t length) {
        vt = VT_BSTR;
        bstrVal = ::SysAllocStringLen(text != nullptr ? text : u"", static_cast<UINT>(length));
        if (bstrVal == nullptr) {
            vt = VT_ERROR;
            scode = E_OUTOFMEMORY;
        }
    }
};

}  // namespace fw
