#include "internal/native_string.h"
#include "internal/text.h"

#include "w32/codepage.h"
#include "w32/crt.h"

namespace w32 {

std::string ToNative(const char16_t* text) {
    if (text == nullptr || *text == 0) {
        return {};
    }
    return FromWide(CP_ACP, text);
}

std::string ToNative(const std::u16string& text) {
    return ToNative(text.c_str());
}

std::u16string FromNative(const char* text) {
    if (text == nullptr || *text == 0) {
        return {};
    }
    return ToWide(CP_ACP, text);
}

std::u16string FromNative(const std::string& text) {
    return FromNative(text.c_str());
}

}  // namespace w32
