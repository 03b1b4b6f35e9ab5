// The properties of a virtual device or item: values by property id (a
// number, a string or a class id), read into and written from PROPVARIANTs
// addressed by id, with a hook through which the owner checks a write.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "internal/com_object.h"
#include "wia.h"

namespace wia_service {

// One value: a number (VT_I4), a string (VT_BSTR) or a class id (VT_CLSID).
struct PropertyValue {
    PropertyValue() : PropertyValue(LONG{0}) {}
    PropertyValue(LONG value) : type(VT_I4), number(value) {}  // NOLINT: as a variant takes it
    PropertyValue(std::u16string value) : type(VT_BSTR), text(std::move(value)) {}  // NOLINT
    PropertyValue(const GUID& value) : type(VT_CLSID), guid(value) {}               // NOLINT
    const LONG* Number() const { return type == VT_I4 ? &number : nullptr; }
    const GUID* Guid() const { return type == VT_CLSID ? &guid : nullptr; }

    VARTYPE type;
    LONG number = 0;
    std::u16string text;
    GUID guid = {};
};
using PropertyWrite = std::vector<std::pair<PROPID, PropertyValue>>;

// The value a variant carries (VT_I4, VT_BSTR, VT_CLSID), or none.
std::optional<PropertyValue> ValueOfVariant(const PROPVARIANT& variant);
// Fills a zeroed variant with its own copy of the value.
HRESULT VariantOfValue(const PropertyValue& value, PROPVARIANT* variant);

class PropertyStorageBase : public IWiaPropertyStorage {
public:
    // Absent properties are read as VT_EMPTY and make the result S_FALSE.
    HRESULT STDMETHODCALLTYPE ReadMultiple(ULONG cpspec, const PROPSPEC rgpspec[],
                                           PROPVARIANT rgpropvar[]) override;
    // All values or none: the owner's CheckWrite decides first.
    HRESULT STDMETHODCALLTYPE WriteMultiple(ULONG cpspec, const PROPSPEC rgpspec[],
                                            const PROPVARIANT rgpropvar[],
                                            PROPID propidNameFirst) override;
    HRESULT STDMETHODCALLTYPE DeleteMultiple(ULONG, const PROPSPEC[]) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReadPropertyNames(ULONG, const PROPID[], LPOLESTR[]) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE WritePropertyNames(ULONG, const PROPID[], const LPOLESTR[]) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DeletePropertyNames(ULONG, const PROPID[]) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Enum(IEnumSTATPROPSTG**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetTimes(const FILETIME*, const FILETIME*, const FILETIME*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetClass(REFCLSID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stat(STATPROPSETSTG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPropertyAttributes(ULONG, PROPSPEC*, ULONG*,
                                                    PROPVARIANT*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetCount(ULONG* pulNumProps) override;
    HRESULT STDMETHODCALLTYPE GetPropertyStream(GUID*, IStream**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPropertyStream(GUID*, IStream*) override { return E_NOTIMPL; }

    void Set(PROPID id, PropertyValue value) { properties[id] = std::move(value); }
    std::optional<PropertyValue> Get(PROPID id) const;
    std::optional<LONG> GetNumber(PROPID id) const;

protected:
    virtual ~PropertyStorageBase() = default;
    // S_OK lets the write through; any other result refuses all of it.
    virtual HRESULT CheckWrite(const PropertyWrite& write) = 0;

private:
    std::map<PROPID, PropertyValue> properties;
};

// A device's information properties, as the device enumeration hands them out.
class DeviceInfoStorage final
    : public w32::com::RefCounted<PropertyStorageBase, IWiaPropertyStorage> {
private:
    HRESULT CheckWrite(const PropertyWrite&) override { return E_ACCESSDENIED; }
};

}  // namespace wia_service
