// The capability containers that the TWAIN manager makes and reads: one-value
// containers for MSG_SET, and the resolution choice over the container a
// source answers for ICAP_XRESOLUTION.
#pragma once

#include <windows.h>

#include <optional>

#include "twain.h"

namespace vexlo {

// A TW_ONEVALUE in moveable zero-initialised memory (GHND) of that item
// type, item holding the value's bits as TWAIN stores them in the 32-bit
// Item (a 16-bit value zero-extended, a TW_FIX32 whole). Null when memory
// runs out.
HGLOBAL MakeOneValue(TW_UINT16 itemType, TW_UINT32 item);

// The Item of a container read as a TW_ONEVALUE; nothing when the block is
// missing or smaller than one.
std::optional<TW_UINT32> ReadOneValueItem(HGLOBAL container);

// The X resolution to set for a grey document: from an enumeration of
// TW_FIX32 items, the first whose whole dpi is at least 200, else the last
// item; nothing for another container or item type or an empty list. Reads
// no item beyond the container's memory. The result is the item's 32 bits.
std::optional<TW_UINT32> ChooseResolution(TW_UINT16 conType, HGLOBAL container);

}  // namespace vexlo
