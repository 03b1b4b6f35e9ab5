// The stand-in's own code-page conversions in one call each, as
// framework/text.h gives them to the system's code (the stand-in cannot use
// the framework).
#pragma once

#include "w32/codepage.h"
#include "w32/crt.h"

#include <string>
#include <string_view>

namespace w32 {

// The bytes of a code page as UTF-16; empty when nothing converts.
inline std::u16string ToWide(UINT codePage, std::string_view bytes) {
    if (bytes.empty() || bytes.size() > 0x7FFFFFFF) {
        return {};
    }
    const int length = static_cast<int>(bytes.size());
    int count = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
    if (count <= 0) {
        return {};
    }
    std::u16string wide(static_cast<size_t>(count), u'\0');
    count = MultiByteToWideChar(codePage, 0, bytes.data(), length, wide.data(), count);
    wide.resize(static_cast<size_t>(count > 0 ? count : 0));
    return wide;
}

// UTF-16 text in a code page; characters without a mapping become the code
// page's default character. Empty when nothing converts.
inline std::string FromWide(UINT codePage, std::u16string_view text) {
    if (text.empty() || text.size() > 0x7FFFFFFF) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    int count = WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (count <= 0) {
        return {};
    }
    std::string bytes(static_cast<size_t>(count), '\0');
    count = WideCharToMultiByte(codePage, 0, text.data(), length, bytes.data(), count, nullptr,
                                nullptr);
    bytes.resize(static_cast<size_t>(count > 0 ? count : 0));
    return bytes;
}

}  // namespace w32
