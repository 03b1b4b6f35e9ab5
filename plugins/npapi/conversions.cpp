#include "plugins/npapi/conversions.h"

#include <windows.h>

#include <cmath>
#include <cstring>

#include "framework/text.h"
#include "plugins/npapi/browser_funcs.h"

using vexlo::npapi::Utf8ToWide;
using vexlo::npapi::WideToUtf8;

int32_t NpVariantToInt(const NPVariant& value) {
    switch (value.type) {
        case NPVariantType_Int32:
            return value.value.intValue;
        case NPVariantType_Double: {
            double number = std::trunc(value.value.doubleValue);
            // NaN and numbers beyond int32 become -1, which every check refuses.
            if (!(number >= -2147483648.0 && number <= 2147483647.0)) {
                return -1;
            }
            return static_cast<int32_t>(number);
        }
        default:
            return -1;
    }
}

namespace vexlo::npapi {

std::u16string Utf8ToWide(const char* text, size_t length) {
    if (text == nullptr || length == 0 || length > 0x7FFFFFFF) {
        return {};
    }
    return fw::ToWide(CP_UTF8, std::string_view(text, length));
}

std::string WideToUtf8(const std::u16string& text) {
    return fw::FromWide(CP_UTF8, text);
}

}  // namespace vexlo::npapi

std::u16string NpVariantToString(const NPVariant& value) {
    if (value.type != NPVariantType_String) {
        return {};
    }
    return Utf8ToWide(value.value.stringValue.UTF8Characters, value.value.stringValue.UTF8Length);
}

NPUTF8* NpAllocString(const std::u16string& text, uint32_t* length) {
    std::string utf8 = WideToUtf8(text);
    auto* copy = static_cast<NPUTF8*>(NPN_MemAlloc(static_cast<uint32_t>(utf8.size() + 1)));
    if (copy == nullptr) {
        return nullptr;
    }
    std::memcpy(copy, utf8.data(), utf8.size());
    copy[utf8.size()] = 0;
    if (length != nullptr) {
        *length = static_cast<uint32_t>(utf8.size());
    }
    return copy;
}

NPVariant StringToNpVariant(const std::u16string& text) {
    NPVariant variant;
    uint32_t length = 0;
    NPUTF8* copy = NpAllocString(text, &length);
    if (copy == nullptr) {
        VOID_TO_NPVARIANT(variant);
    } else {
        STRINGN_TO_NPVARIANT(copy, length, variant);
    }
    return variant;
}

std::u16string GetIdentifierName(NPIdentifier identifier) {
    NPUTF8* utf8 = NPN_UTF8FromIdentifier(identifier);
    if (utf8 == nullptr) {
        return {};
    }
    std::u16string name = Utf8ToWide(utf8, std::strlen(utf8));
    NPN_MemFree(utf8);
    for (char16_t& c : name) {
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c - u'A' + u'a');
        }
    }
    return name;
}
