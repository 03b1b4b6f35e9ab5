#include "internal/native_string.h"

#include "w32/codepage.h"
#include "w32/crt.h"

namespace w32 {

std::string ToNative(const char16_t* text) {
    if (text == nullptr || *text == 0) {
        return {};
    }
    int needed = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 1) {
        return {};
    }
    std::string out(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), needed, nullptr, nullptr);
    out.resize(static_cast<size_t>(needed) - 1);
    return out;
}

std::string ToNative(const std::u16string& text) {
    return ToNative(text.c_str());
}

std::u16string FromNative(const char* text) {
    if (text == nullptr || *text == 0) {
        return {};
    }
    int needed = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (needed <= 1) {
        return {};
    }
    std::u16string out(static_cast<size_t>(needed), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, out.data(), needed);
    out.resize(static_cast<size_t>(needed) - 1);
    return out;
}

std::u16string FromNative(const std::string& text) {
    return FromNative(text.c_str());
}

}  // namespace w32
