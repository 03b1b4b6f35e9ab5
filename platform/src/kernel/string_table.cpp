// String tables and LoadStringW.
#include <deque>
#include <map>
#include <mutex>
#include <string>

#include "w32/kernel.h"
#include "w32/string_table.h"

namespace {

// The blocks' bytes live as long as the process: a module's resource table
// points at them.
struct Blocks {
    std::mutex lock;
    std::deque<std::u16string> kept;
};

Blocks& TheBlocks() {
    static Blocks* blocks = new Blocks;
    return *blocks;
}

}  // namespace

W32API void WINAPI W32RegisterStringTable(const void* moduleAddress,
                                          const W32_STRING_ENTRY* entries, UINT count) {
    std::map<UINT, std::u16string[16]> blocks;
    for (UINT i = 0; i < count; ++i) {
        if (entries[i].text != nullptr) {
            blocks[entries[i].id / 16 + 1][entries[i].id % 16] = entries[i].text;
        }
    }
    Blocks& kept = TheBlocks();
    for (auto& [blockId, strings] : blocks) {
        std::u16string data;
        for (const std::u16string& text : strings) {
            // A resource string holds at most 65535 units.
            size_t length = std::min<size_t>(text.size(), 0xFFFF);
            data.push_back(static_cast<char16_t>(length));
            data.append(text, 0, length);
        }
        const std::u16string* stored = nullptr;
        {
            std::lock_guard<std::mutex> guard(kept.lock);
            kept.kept.push_back(std::move(data));
            stored = &kept.kept.back();
        }
        W32RegisterResource(moduleAddress, RT_STRING, MAKEINTRESOURCEW(blockId), stored->data(),
                            static_cast<DWORD>(stored->size() * sizeof(char16_t)));
    }
}

W32API int WINAPI LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax) {
    if (lpBuffer == nullptr || cchBufferMax < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    HRSRC resource = FindResourceW(hInstance, MAKEINTRESOURCEW(uID / 16 + 1), RT_STRING);
    const auto* units =
        resource != nullptr
            ? static_cast<const char16_t*>(LockResource(LoadResource(hInstance, resource)))
            : nullptr;
    size_t available = resource != nullptr ? SizeofResource(hInstance, resource) / 2 : 0;
    // Walk to the string's entry, checking each length against the block.
    size_t at = 0;
    for (UINT i = 0; units != nullptr && i < uID % 16; ++i) {
        if (at >= available) {
            units = nullptr;
            break;
        }
        at += 1 + units[at];
    }
    if (units == nullptr || at >= available || units[at] == 0 || at + 1 + units[at] > available) {
        if (cchBufferMax > 0) {
            lpBuffer[0] = 0;
        }
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    int length = units[at];
    const char16_t* text = units + at + 1;
    if (cchBufferMax == 0) {
        *reinterpret_cast<LPCWSTR*>(lpBuffer) = text;
        return length;
    }
    int copied = std::min(length, cchBufferMax - 1);
    std::char_traits<char16_t>::copy(lpBuffer, text, static_cast<size_t>(copied));
    lpBuffer[copied] = 0;
    return copied;
}
