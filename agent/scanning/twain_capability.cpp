#include "agent/scanning/twain_capability.h"

#include <cstddef>
#include <cstring>

#include "framework/raii.h"

namespace vexlo {
namespace {

constexpr TW_INT16 kLeastDocumentDpi = 200;

}  // namespace

HGLOBAL MakeOneValue(TW_UINT16 itemType, TW_UINT32 item) {
    HGLOBAL handle = GlobalAlloc(GHND, sizeof(TW_ONEVALUE));
    if (handle == nullptr) {
        return nullptr;
    }
    auto* one = static_cast<TW_ONEVALUE*>(GlobalLock(handle));
    if (one == nullptr) {
        GlobalFree(handle);
        return nullptr;
    }
    one->ItemType = itemType;
    one->Item = item;
    GlobalUnlock(handle);
    return handle;
}

std::optional<TW_UINT32> ReadOneValueItem(HGLOBAL container) {
    fw::unique_global_lock block(container);
    const auto* memory = block.as<const BYTE>();
    if (memory == nullptr || block.size() < sizeof(TW_ONEVALUE)) {
        return std::nullopt;
    }
    TW_ONEVALUE one;
    std::memcpy(&one, memory, sizeof(one));
    const TW_UINT32 item = one.Item;  // a copy: the record is packed
    return item;
}

std::optional<TW_UINT32> ChooseResolution(TW_UINT16 conType, HGLOBAL container) {
    if (conType != TWON_ENUMERATION) {
        return std::nullopt;
    }
    fw::unique_global_lock block(container);
    const auto* memory = block.as<const BYTE>();
    const size_t header = offsetof(TW_ENUMERATION, ItemList);
    if (memory == nullptr || block.size() < header) {
        return std::nullopt;
    }
    TW_ENUMERATION list;
    std::memcpy(&list, memory, header);
    if (list.ItemType != TWTY_FIX32) {
        return std::nullopt;
    }
    // Only the items that the block really holds.
    size_t count = list.NumItems;
    size_t held = (block.size() - header) / sizeof(TW_FIX32);
    if (count > held) {
        count = held;
    }
    std::optional<TW_UINT32> chosen;
    for (size_t i = 0; i < count; ++i) {
        TW_FIX32 value;
        std::memcpy(&value, memory + header + i * sizeof(TW_FIX32), sizeof(value));
        TW_UINT32 bits =
            static_cast<TW_UINT16>(value.Whole) | (static_cast<TW_UINT32>(value.Frac) << 16);
        chosen = bits;  // the last one, unless one of at least 200 dpi comes first
        if (value.Whole >= kLeastDocumentDpi) {
            break;
        }
    }
    return chosen;
}

}  // namespace vexlo
