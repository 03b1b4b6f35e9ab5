#include "containers.h"

#include <algorithm>
#include <cstring>

namespace twain_dsm {
namespace {

int64_t InSixteenths(const CapValue& value) {
    return static_cast<int64_t>(value.whole) * 65536 + value.frac;
}

// Locks a global block for the time of a scope.
class LockedBlock {
public:
    explicit LockedBlock(HGLOBAL handle) : handle(handle) {
        memory = static_cast<BYTE*>(GlobalLock(handle));
    }
    ~LockedBlock() {
        if (memory != nullptr) {
            GlobalUnlock(handle);
        }
    }
    LockedBlock(const LockedBlock&) = delete;
    LockedBlock& operator=(const LockedBlock&) = delete;
    BYTE* get() const { return memory; }

private:
    HGLOBAL handle;
    BYTE* memory = nullptr;
};

void StoreItem(BYTE* at, TW_UINT16 itemType, const CapValue& value) {
    TW_UINT32 item = EncodeItem(itemType, value);
    std::memcpy(at, &item, ItemSize(itemType));  // little-endian: the low bytes
}

size_t IndexOf(const CapContainer& container, const CapValue& value) {
    auto it = std::find(container.values.begin(), container.values.end(), value);
    return it == container.values.end() ? 0 : static_cast<size_t>(it - container.values.begin());
}

}  // namespace

size_t ItemSize(TW_UINT16 itemType) {
    switch (itemType) {
        case TWTY_INT8:
        case TWTY_UINT8:
            return 1;
        case TWTY_INT16:
        case TWTY_UINT16:
        case TWTY_BOOL:
            return 2;
        case TWTY_INT32:
        case TWTY_UINT32:
        case TWTY_FIX32:
            return 4;
        default:
            return 0;
    }
}

TW_UINT32 EncodeItem(TW_UINT16 itemType, const CapValue& value) {
    switch (itemType) {
        case TWTY_FIX32:
            return (static_cast<TW_UINT32>(value.frac) << 16) |
                   static_cast<TW_UINT16>(static_cast<TW_INT16>(value.whole));
        case TWTY_INT8:
        case TWTY_UINT8:
            return static_cast<TW_UINT8>(value.whole);
        case TWTY_INT16:
        case TWTY_UINT16:
        case TWTY_BOOL:
            return static_cast<TW_UINT16>(value.whole);
        default:
            return static_cast<TW_UINT32>(value.whole);
    }
}

CapValue DecodeItem(TW_UINT16 itemType, TW_UINT32 item) {
    CapValue value;
    switch (itemType) {
        case TWTY_FIX32:
            value.whole = static_cast<TW_INT16>(item & 0xFFFF);
            value.frac = static_cast<uint16_t>(item >> 16);
            break;
        case TWTY_INT8:
            value.whole = static_cast<int8_t>(item & 0xFF);
            break;
        case TWTY_UINT8:
            value.whole = static_cast<int32_t>(item & 0xFF);
            break;
        case TWTY_INT16:
            value.whole = static_cast<TW_INT16>(item & 0xFFFF);
            break;
        case TWTY_UINT16:
        case TWTY_BOOL:
            value.whole = static_cast<int32_t>(item & 0xFFFF);
            break;
        case TWTY_INT32:
            value.whole = static_cast<TW_INT32>(item);
            break;
        default:
            value.whole = static_cast<int32_t>(std::min<TW_UINT32>(item, 0x7FFFFFFF));
            break;
    }
    return value;
}

HGLOBAL MakeOneValue(TW_UINT16 itemType, const CapValue& value) {
    HGLOBAL handle = GlobalAlloc(GHND, sizeof(TW_ONEVALUE));
    if (handle == nullptr) {
        return nullptr;
    }
    LockedBlock block(handle);
    auto* one = reinterpret_cast<TW_ONEVALUE*>(block.get());
    one->ItemType = itemType;
    one->Item = EncodeItem(itemType, value);
    return handle;
}

HGLOBAL MakeContainer(const CapContainer& container, const CapValue& current,
                      const CapValue& defaultValue) {
    const size_t itemSize = ItemSize(container.itemType);
    const size_t count = container.values.size();
    switch (container.conType) {
        case TWON_ONEVALUE:
            return MakeOneValue(container.itemType, current);
        case TWON_RANGE: {
            HGLOBAL handle = GlobalAlloc(GHND, sizeof(TW_RANGE));
            if (handle == nullptr || count != 3) {
                return handle;
            }
            LockedBlock block(handle);
            auto* range = reinterpret_cast<TW_RANGE*>(block.get());
            range->ItemType = container.itemType;
            range->MinValue = EncodeItem(container.itemType, container.values[0]);
            range->MaxValue = EncodeItem(container.itemType, container.values[1]);
            range->StepSize = EncodeItem(container.itemType, container.values[2]);
            range->DefaultValue = EncodeItem(container.itemType, defaultValue);
            range->CurrentValue = EncodeItem(container.itemType, current);
            return handle;
        }
        case TWON_ENUMERATION: {
            const size_t header = offsetof(TW_ENUMERATION, ItemList);
            HGLOBAL handle = GlobalAlloc(GHND, header + itemSize * count);
            if (handle == nullptr) {
                return nullptr;
            }
            LockedBlock block(handle);
            auto* list = reinterpret_cast<TW_ENUMERATION*>(block.get());
            list->ItemType = container.itemType;
            list->NumItems = static_cast<TW_UINT32>(count);
            list->CurrentIndex = static_cast<TW_UINT32>(IndexOf(container, current));
            list->DefaultIndex = static_cast<TW_UINT32>(IndexOf(container, defaultValue));
            for (size_t i = 0; i < count; ++i) {
                StoreItem(block.get() + header + i * itemSize, container.itemType,
                          container.values[i]);
            }
            return handle;
        }
        case TWON_ARRAY: {
            const size_t header = offsetof(TW_ARRAY, ItemList);
            HGLOBAL handle = GlobalAlloc(GHND, header + itemSize * count);
            if (handle == nullptr) {
                return nullptr;
            }
            LockedBlock block(handle);
            auto* list = reinterpret_cast<TW_ARRAY*>(block.get());
            list->ItemType = container.itemType;
            list->NumItems = static_cast<TW_UINT32>(count);
            for (size_t i = 0; i < count; ++i) {
                StoreItem(block.get() + header + i * itemSize, container.itemType,
                          container.values[i]);
            }
            return handle;
        }
        default:
            return nullptr;
    }
}

std::optional<ItemValue> ReadOneValue(const TW_CAPABILITY& capability) {
    if (capability.ConType != TWON_ONEVALUE || capability.hContainer == nullptr ||
        GlobalSize(capability.hContainer) < sizeof(TW_ONEVALUE)) {
        return std::nullopt;
    }
    LockedBlock block(capability.hContainer);
    if (block.get() == nullptr) {
        return std::nullopt;
    }
    TW_ONEVALUE one;
    std::memcpy(&one, block.get(), sizeof(one));
    if (ItemSize(one.ItemType) == 0) {
        return std::nullopt;
    }
    return ItemValue{one.ItemType, DecodeItem(one.ItemType, one.Item)};
}

bool Allows(const CapContainer& container, const CapValue& value) {
    if (!container.supported) {
        return false;
    }
    if (container.conType == TWON_RANGE) {
        int64_t v = InSixteenths(value);
        int64_t min = InSixteenths(container.values[0]);
        int64_t max = InSixteenths(container.values[1]);
        int64_t step = InSixteenths(container.values[2]);
        return v >= min && v <= max && step > 0 && (v - min) % step == 0;
    }
    return std::find(container.values.begin(), container.values.end(), value) !=
           container.values.end();
}

}  // namespace twain_dsm
