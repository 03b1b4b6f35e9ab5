// Text conversions of the data source manager: the description is UTF-8,
// dialogs are UTF-16, and TWAIN's 8-bit strings use the ANSI code page.
#pragma once

#include <string>

#include "device_text.h"
#include "twain.h"

namespace twain_dsm {

using w32_devices::Wide;
// UTF-8 text in the ANSI code page, cut to fit a TW_STR32 (33 bytes and the
// terminator) without splitting a character.
void CopyToTwString(const std::string& utf8, TW_STR32 out);
// An 8-bit TWAIN string (ANSI code page, at most 33 bytes) as it stands.
std::string FromTwString(const TW_STR32 text);

}  // namespace twain_dsm
