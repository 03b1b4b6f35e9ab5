// The Browser Helper Objects key that makes Internet Explorer load the add-on.
#pragma once

#include <windows.h>

namespace vexlo {

// HKEY_LOCAL_MACHINE, always: per-user registration does not move it.
inline constexpr const char16_t* kBrowserHelperObjectKey =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\Browser Helper Objects\\"
    u"{CBE55E29-1D13-4C84-9E4E-EC02AEFAD4A4}";

// Opens or creates the key and sets NoExplorer = 1, so that the shell's own
// windows do not load the add-on. Returns the Win32 status of the key.
LSTATUS RegisterBrowserHelperObjectKey();

}  // namespace vexlo
