// VariantChangeType(Ex) for the types that automation objects and script
// hosts exchange.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "w32/oleauto.h"

namespace {

bool IsSupported(VARTYPE vt) {
    switch (vt) {
        case VT_EMPTY:
        case VT_NULL:
        case VT_I2:
        case VT_I4:
        case VT_R8:
        case VT_BOOL:
        case VT_BSTR:
        case VT_DISPATCH:
        case VT_UNKNOWN:
        case VT_ERROR:
            return true;
        default:
            return false;
    }
}

// The value a VT_BYREF source refers to, as a plain variant that borrows
// (owns nothing). A reference to a variant is followed once.
HRESULT Dereference(const VARIANTARG& source, VARIANTARG& plain) {
    VariantInit(&plain);
    if ((source.vt & VT_BYREF) == 0) {
        plain = source;
        return S_OK;
    }
    if (source.byref == nullptr) {
        return E_INVALIDARG;
    }
    VARTYPE base = static_cast<VARTYPE>(source.vt & ~VT_BYREF);
    plain.vt = base;
    switch (base) {
        case VT_VARIANT: {
            const VARIANT& inner = *source.pvarVal;
            if (inner.vt == (VT_BYREF | VT_VARIANT)) {
                return DISP_E_BADVARTYPE;  // one level of reference only
            }
            if ((inner.vt & VT_BYREF) != 0) {
                return Dereference(inner, plain);
            }
            plain = inner;
            return S_OK;
        }
        case VT_I2:
        case VT_BOOL:
            plain.iVal = *static_cast<SHORT*>(source.byref);
            return S_OK;
        case VT_I4:
        case VT_ERROR:
            plain.lVal = *source.plVal;
            return S_OK;
        case VT_R8:
            plain.dblVal = *static_cast<DOUBLE*>(source.byref);
            return S_OK;
        case VT_BSTR:
            plain.bstrVal = *source.pbstrVal;
            return S_OK;
        case VT_DISPATCH:
        case VT_UNKNOWN:
            plain.punkVal = *static_cast<IUnknown**>(source.byref);
            return S_OK;
        default:
            return DISP_E_BADVARTYPE;
    }
}

// Round half to even, as the integer conversions do.
HRESULT RoundToInteger(double value, double low, double high, LONGLONG& result) {
    if (std::isnan(value)) {
        return DISP_E_OVERFLOW;
    }
    double rounded = std::nearbyint(value);  // the default rounding mode: to nearest, ties to even
    if (rounded < low || rounded > high) {
        return DISP_E_OVERFLOW;
    }
    result = static_cast<LONGLONG>(rounded);
    return S_OK;
}

bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

bool EqualsNoCase(const std::u16string& text, const char* word) {
    size_t i = 0;
    for (; word[i] != 0; ++i) {
        if (i >= text.size()) {
            return false;
        }
        char16_t c = text[i];
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c - u'A' + u'a');
        }
        if (c != static_cast<char16_t>(word[i])) {
            return false;
        }
    }
    return i == text.size();
}

// A number written in a string: optional blanks around it, a sign, digits
// with an optional fraction and exponent. Nothing else is a number.
HRESULT ParseNumber(BSTR text, double& value) {
    std::u16string all(text != nullptr ? text : u"", SysStringLen(text));
    size_t begin = 0;
    size_t end = all.size();
    while (begin < end && IsSpace(all[begin])) {
        ++begin;
    }
    while (end > begin && IsSpace(all[end - 1])) {
        --end;
    }
    std::string narrow;
    size_t i = begin;
    if (i < end && (all[i] == u'+' || all[i] == u'-')) {
        narrow += static_cast<char>(all[i++]);
    }
    size_t digits = 0;
    while (i < end && all[i] >= u'0' && all[i] <= u'9') {
        narrow += static_cast<char>(all[i++]);
        ++digits;
    }
    if (i < end && all[i] == u'.') {
        narrow += '.';
        ++i;
        while (i < end && all[i] >= u'0' && all[i] <= u'9') {
            narrow += static_cast<char>(all[i++]);
            ++digits;
        }
    }
    if (digits == 0) {
        return DISP_E_TYPEMISMATCH;
    }
    if (i < end && (all[i] == u'e' || all[i] == u'E')) {
        narrow += 'e';
        ++i;
        if (i < end && (all[i] == u'+' || all[i] == u'-')) {
            narrow += static_cast<char>(all[i++]);
        }
        size_t exponentDigits = 0;
        while (i < end && all[i] >= u'0' && all[i] <= u'9') {
            narrow += static_cast<char>(all[i++]);
            ++exponentDigits;
        }
        if (exponentDigits == 0) {
            return DISP_E_TYPEMISMATCH;
        }
    }
    if (i != end) {
        return DISP_E_TYPEMISMATCH;
    }
    value = strtod(narrow.c_str(), nullptr);
    if (std::isinf(value)) {
        return DISP_E_OVERFLOW;
    }
    return S_OK;
}

BSTR StringOf(const char* narrow) {
    std::u16string wide(narrow, narrow + strlen(narrow));
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

// A double as automation writes it: up to 15 significant digits.
BSTR StringOfDouble(double value) {
    char buffer[64];
    snprintf(buffer, sizeof(buffer), "%.15G", value);
    return StringOf(buffer);
}

// A numeric view of a scalar source.
HRESULT NumberOf(const VARIANTARG& source, double& value) {
    switch (source.vt) {
        case VT_EMPTY:
            value = 0;
            return S_OK;
        case VT_I2:
            value = source.iVal;
            return S_OK;
        case VT_I4:
            value = source.lVal;
            return S_OK;
        case VT_R8:
            value = source.dblVal;
            return S_OK;
        case VT_BOOL:
            value = source.boolVal != VARIANT_FALSE ? -1 : 0;
            return S_OK;
        case VT_BSTR:
            return ParseNumber(source.bstrVal, value);
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

// An object's value: its DISPID_VALUE property, which must itself be a
// value (not another object).
HRESULT ValueOfObject(IUnknown* object, USHORT wFlags, LCID lcid, VARIANT& value) {
    VariantInit(&value);
    if (object == nullptr || (wFlags & VARIANT_NOVALUEPROP) != 0) {
        return DISP_E_TYPEMISMATCH;
    }
    IDispatch* dispatch = nullptr;
    if (FAILED(object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) {
        return DISP_E_TYPEMISMATCH;
    }
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    HRESULT hr = dispatch->Invoke(DISPID_VALUE, IID_NULL, lcid, DISPATCH_PROPERTYGET, &none, &value,
                                  nullptr, nullptr);
    dispatch->Release();
    if (FAILED(hr) || value.vt == VT_DISPATCH || value.vt == VT_UNKNOWN ||
        (value.vt & VT_BYREF) != 0) {
        VariantClear(&value);
        return DISP_E_TYPEMISMATCH;
    }
    return S_OK;
}

HRESULT ConvertScalar(const VARIANTARG& source, USHORT wFlags, VARTYPE vt, VARIANTARG& result) {
    result.vt = vt;
    switch (vt) {
        case VT_I2:
        case VT_I4: {
            double number = 0;
            HRESULT hr = NumberOf(source, number);
            if (FAILED(hr)) {
                return hr;
            }
            LONGLONG integer = 0;
            if (vt == VT_I2) {
                hr = RoundToInteger(number, std::numeric_limits<SHORT>::min(),
                                    std::numeric_limits<SHORT>::max(), integer);
                result.iVal = static_cast<SHORT>(integer);
            } else {
                hr = RoundToInteger(number, std::numeric_limits<LONG>::min(),
                                    std::numeric_limits<LONG>::max(), integer);
                result.lVal = static_cast<LONG>(integer);
            }
            return hr;
        }
        case VT_R8:
            return NumberOf(source, result.dblVal);
        case VT_BOOL: {
            if (source.vt == VT_BSTR) {
                std::u16string text(source.bstrVal != nullptr ? source.bstrVal : u"",
                                    SysStringLen(source.bstrVal));
                if (EqualsNoCase(text, "true") || EqualsNoCase(text, "#true#")) {
                    result.boolVal = VARIANT_TRUE;
                    return S_OK;
                }
                if (EqualsNoCase(text, "false") || EqualsNoCase(text, "#false#")) {
                    result.boolVal = VARIANT_FALSE;
                    return S_OK;
                }
            }
            double number = 0;
            HRESULT hr = NumberOf(source, number);
            result.boolVal = number != 0 ? VARIANT_TRUE : VARIANT_FALSE;
            return hr;
        }
        case VT_BSTR:
            switch (source.vt) {
                case VT_EMPTY:
                    result.bstrVal = SysAllocString(u"");
                    break;
                case VT_I2:
                case VT_I4:
                    result.bstrVal = StringOf(
                        std::to_string(source.vt == VT_I2 ? source.iVal : source.lVal).c_str());
                    break;
                case VT_R8:
                    result.bstrVal = StringOfDouble(source.dblVal);
                    break;
                case VT_BOOL:
                    if ((wFlags & VARIANT_ALPHABOOL) != 0) {
                        result.bstrVal =
                            StringOf(source.boolVal != VARIANT_FALSE ? "True" : "False");
                    } else {
                        result.bstrVal = StringOf(source.boolVal != VARIANT_FALSE ? "-1" : "0");
                    }
                    break;
                default:
                    return DISP_E_TYPEMISMATCH;
            }
            return result.bstrVal != nullptr ? S_OK : E_OUTOFMEMORY;
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

// Converts a plain (not VT_BYREF) source into a result that owns its value.
HRESULT Convert(const VARIANTARG& source, LCID lcid, USHORT wFlags, VARTYPE vt,
                VARIANTARG& result) {
    VariantInit(&result);
    if (source.vt == vt) {
        return VariantCopy(&result, &source);
    }
    switch (vt) {
        case VT_EMPTY:
            return S_OK;
        case VT_NULL:
            if (source.vt != VT_EMPTY) {
                return DISP_E_TYPEMISMATCH;
            }
            result.vt = VT_NULL;
            return S_OK;
        case VT_ERROR:
            return DISP_E_TYPEMISMATCH;
        case VT_DISPATCH:
        case VT_UNKNOWN: {
            // VT_EMPTY and a null object give a null pointer; an object is asked
            // for the interface; nothing else is an object.
            IUnknown* object = nullptr;
            if (source.vt == VT_DISPATCH || source.vt == VT_UNKNOWN) {
                object = source.punkVal;
            } else if (source.vt != VT_EMPTY) {
                return DISP_E_TYPEMISMATCH;
            }
            result.vt = vt;
            result.punkVal = nullptr;
            if (object == nullptr) {
                return S_OK;
            }
            HRESULT hr = object->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown,
                                                reinterpret_cast<void**>(&result.punkVal));
            if (FAILED(hr)) {
                result.vt = VT_EMPTY;
                result.punkVal = nullptr;
                return hr == E_NOINTERFACE ? E_NOINTERFACE : DISP_E_TYPEMISMATCH;
            }
            return S_OK;
        }
        default:
            break;
    }
    if (source.vt == VT_DISPATCH || source.vt == VT_UNKNOWN) {
        VARIANT value;
        HRESULT hr = ValueOfObject(source.punkVal, wFlags, lcid, value);
        if (FAILED(hr)) {
            return hr;
        }
        hr = Convert(value, lcid, wFlags | VARIANT_NOVALUEPROP, vt, result);
        VariantClear(&value);
        return hr;
    }
    HRESULT hr = ConvertScalar(source, wFlags, vt, result);
    if (FAILED(hr)) {
        VariantClear(&result);
    }
    return hr;
}

}  // namespace

W32API HRESULT WINAPI VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc,
                                          LCID lcid, USHORT wFlags, VARTYPE vt) {
    if (pvargDest == nullptr || pvarSrc == nullptr) {
        return E_INVALIDARG;
    }
    if (!IsSupported(vt)) {
        return DISP_E_BADVARTYPE;
    }
    VARIANTARG plain;
    HRESULT hr = Dereference(*pvarSrc, plain);
    if (FAILED(hr)) {
        return hr;
    }
    if (!IsSupported(plain.vt)) {
        return DISP_E_BADVARTYPE;
    }
    VARIANTARG result;
    hr = Convert(plain, lcid, wFlags, vt, result);
    if (FAILED(hr)) {
        return hr;  // the destination stays as it was
    }
    // The source may be the destination: it is cleared only now.
    VariantClear(pvargDest);
    *pvargDest = result;
    return S_OK;
}

W32API HRESULT WINAPI VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc,
                                        USHORT wFlags, VARTYPE vt) {
    return VariantChangeTypeEx(pvargDest, pvarSrc, LOCALE_USER_DEFAULT, wFlags, vt);
}
