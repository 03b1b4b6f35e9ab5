#include "property_storage.h"

namespace wia_service {

std::optional<PropertyValue> ValueOfVariant(const PROPVARIANT& variant) {
    switch (variant.vt) {
        case VT_I4:
            return PropertyValue(variant.lVal);
        case VT_BSTR:
            return PropertyValue(std::u16string(variant.bstrVal != nullptr ? variant.bstrVal : u"",
                                                SysStringLen(variant.bstrVal)));
        case VT_CLSID:
            if (variant.puuid == nullptr) {
                return std::nullopt;
            }
            return PropertyValue(*variant.puuid);
        default:
            return std::nullopt;
    }
}

HRESULT VariantOfValue(const PropertyValue& value, PROPVARIANT* variant) {
    if (value.type == VT_I4) {
        variant->vt = VT_I4;
        variant->lVal = value.number;
        return S_OK;
    }
    if (value.type == VT_BSTR) {
        variant->bstrVal =
            SysAllocStringLen(value.text.data(), static_cast<UINT>(value.text.size()));
        if (variant->bstrVal == nullptr) {
            return E_OUTOFMEMORY;
        }
        variant->vt = VT_BSTR;
        return S_OK;
    }
    auto* guid = static_cast<CLSID*>(CoTaskMemAlloc(sizeof(CLSID)));
    if (guid == nullptr) {
        return E_OUTOFMEMORY;
    }
    *guid = value.guid;
    variant->vt = VT_CLSID;
    variant->puuid = guid;
    return S_OK;
}

HRESULT PropertyStorageBase::ReadMultiple(ULONG cpspec, const PROPSPEC rgpspec[],
                                          PROPVARIANT rgpropvar[]) {
    if (cpspec == 0) {
        return S_FALSE;
    }
    if (rgpspec == nullptr || rgpropvar == nullptr) {
        return E_INVALIDARG;
    }
    for (ULONG i = 0; i < cpspec; ++i) {
        if (rgpspec[i].ulKind != PRSPEC_PROPID) {
            return E_INVALIDARG;  // names are not kept
        }
    }
    bool allFound = true;
    for (ULONG i = 0; i < cpspec; ++i) {
        memset(&rgpropvar[i], 0, sizeof(PROPVARIANT));
        std::optional<PropertyValue> value = Get(rgpspec[i].propid);
        if (!value) {
            allFound = false;
            continue;
        }
        HRESULT hr = VariantOfValue(*value, &rgpropvar[i]);
        if (FAILED(hr)) {
            for (ULONG j = 0; j <= i; ++j) {
                PropVariantClear(&rgpropvar[j]);
            }
            return hr;
        }
    }
    return allFound ? S_OK : S_FALSE;
}

HRESULT PropertyStorageBase::WriteMultiple(ULONG cpspec, const PROPSPEC rgpspec[],
                                           const PROPVARIANT rgpropvar[], PROPID) {
    if (cpspec == 0) {
        return S_OK;
    }
    if (rgpspec == nullptr || rgpropvar == nullptr) {
        return E_INVALIDARG;
    }
    PropertyWrite write;
    for (ULONG i = 0; i < cpspec; ++i) {
        if (rgpspec[i].ulKind != PRSPEC_PROPID) {
            return E_INVALIDARG;
        }
        std::optional<PropertyValue> value = ValueOfVariant(rgpropvar[i]);
        if (!value) {
            return E_INVALIDARG;  // a type no property of a virtual device has
        }
        write.emplace_back(rgpspec[i].propid, std::move(*value));
    }
    HRESULT hr = CheckWrite(write);
    if (hr != S_OK) {
        return hr;
    }
    for (auto& [id, value] : write) {
        properties[id] = std::move(value);
    }
    return S_OK;
}

HRESULT PropertyStorageBase::GetCount(ULONG* pulNumProps) {
    if (pulNumProps == nullptr) {
        return E_INVALIDARG;
    }
    *pulNumProps = static_cast<ULONG>(properties.size());
    return S_OK;
}

std::optional<PropertyValue> PropertyStorageBase::Get(PROPID id) const {
    auto it = properties.find(id);
    if (it == properties.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::optional<LONG> PropertyStorageBase::GetNumber(PROPID id) const {
    std::optional<PropertyValue> value = Get(id);
    if (!value || value->Number() == nullptr) {
        return std::nullopt;
    }
    return value->number;
}

}  // namespace wia_service
