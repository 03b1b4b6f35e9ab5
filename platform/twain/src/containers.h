// Capability containers in global memory, as a source hands them to the
// application (MSG_GET) and takes them from it (MSG_SET).
#pragma once

#include <optional>

#include "source_description.h"
#include "twain.h"

namespace twain_dsm {

// Bytes an item of that type takes in an enumeration or an array; 0 for an
// item type this stand-in does not carry.
size_t ItemSize(TW_UINT16 itemType);

// The 32-bit pattern of a value as the item type stores it (TW_FIX32: Whole
// in the low 16 bits, Frac in the high 16 bits).
TW_UINT32 EncodeItem(TW_UINT16 itemType, const CapValue& value);
CapValue DecodeItem(TW_UINT16 itemType, TW_UINT32 item);

// A moveable global block holding the container of `container`'s type, with
// the given current and default values (enumeration indexes, range values,
// the one value). Null when memory runs out.
HGLOBAL MakeContainer(const CapContainer& container, const CapValue& current,
                      const CapValue& defaultValue);
HGLOBAL MakeOneValue(TW_UINT16 itemType, const CapValue& value);

// The value of a one-value container given with MSG_SET; nothing when the
// handle is no readable TW_ONEVALUE.
struct ItemValue {
    TW_UINT16 itemType;
    CapValue value;
};
std::optional<ItemValue> ReadOneValue(const TW_CAPABILITY& capability);

// Whether the value is one the container allows.
bool Allows(const CapContainer& container, const CapValue& value);

}  // namespace twain_dsm
