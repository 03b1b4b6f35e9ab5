// Small text helpers of the simulated devices (the TWAIN sources and the WIA
// devices), whose descriptions are "key = value" text files in the session.
#pragma once

#include <string>

namespace w32_devices {

// Without blanks at either end.
std::string Trim(const std::string& text);
// ASCII letters lower-cased.
std::string Lower(std::string text);
// The session directory, as the runtime finds it: $W32_SESSION, else
// ${XDG_RUNTIME_DIR:-/tmp}/w32-session-<uid>.
std::string SessionDirectory();

}  // namespace w32_devices
