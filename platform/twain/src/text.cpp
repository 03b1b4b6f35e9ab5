#include "text.h"

#include <cstring>

namespace twain_dsm {

void CopyToTwString(const std::string& utf8, TW_STR32 out) {
    std::memset(out, 0, sizeof(TW_STR32));
    std::u16string wide = Wide(utf8);
    // Drop characters from the end until the ANSI form fits.
    while (!wide.empty()) {
        int length = static_cast<int>(wide.size());
        int needed =
            WideCharToMultiByte(CP_ACP, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
        if (needed > 0 && needed < static_cast<int>(sizeof(TW_STR32))) {
            WideCharToMultiByte(CP_ACP, 0, wide.data(), length, out, needed, nullptr, nullptr);
            return;
        }
        wide.pop_back();
        if (!wide.empty() && wide.back() >= 0xD800 && wide.back() < 0xDC00) {
            wide.pop_back();  // the first half of a pair goes with its second
        }
    }
}

std::string FromTwString(const TW_STR32 text) {
    return std::string(text, strnlen(text, sizeof(TW_STR32) - 1));
}

}  // namespace twain_dsm
