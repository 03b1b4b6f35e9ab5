// The page API's argument rules in the Internet Explorer add-on (they differ
// from the NPAPI plug-in's): lengths count UTF-16 units, and a null BSTR is
// an empty string.
#pragma once

#include <windows.h>

#include <string>

#include "protocol/records.h"

namespace vexlo {

// 1 to 510 characters.
inline constexpr UINT kMaxIeApiKey = kApiKeyLength - 2;
// 0 to 2047 characters.
inline constexpr UINT kMaxIePrintCommand = kPrintingRequestLength - 1;

inline bool IsIeApiKey(BSTR key) {
    UINT length = ::SysStringLen(key);
    return length >= 1 && length <= kMaxIeApiKey;
}

inline bool IsIePrintCommand(BSTR command) {
    return ::SysStringLen(command) <= kMaxIePrintCommand;
}

inline bool IsScanType(LONG type) {
    return type == kScanTypeGrey || type == kScanTypeColour;
}

inline bool IsScannerInterface(LONG value) {
    return value == kInterfaceWia || value == kInterfaceTwain;
}

inline bool IsScanMode(LONG mode) {
    return mode >= kScanModeAutomatic && mode <= kScanModeTwain;
}

// The characters of a BSTR (all of them, embedded zeros included).
inline std::u16string BstrText(BSTR text) {
    return text != nullptr ? std::u16string(text, ::SysStringLen(text)) : std::u16string();
}

// The version the page API gives.
inline constexpr const char16_t* kIePageApiVersion = u"0.0.81";

}  // namespace vexlo
