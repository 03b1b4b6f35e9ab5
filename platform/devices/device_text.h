// Small text helpers of the simulated devices (the TWAIN sources and the WIA
// devices), whose descriptions are "key = value" text files in the session.
#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace w32_devices {

// Without blanks at either end.
std::string Trim(const std::string& text);
// ASCII letters lower-cased.
std::string Lower(std::string text);
// The words of the text, split at blanks.
std::vector<std::string> Words(const std::string& text);
// A list's items, split at blanks and commas: "a, b c" -> {"a", "b", "c"}.
std::vector<std::string> ListWords(const std::string& text);
// UTF-8 text of a description as UTF-16 (dialogs and WIA properties).
std::u16string Wide(const std::string& utf8);
// A whole decimal number, or nothing.
std::optional<int> ParseInt(const std::string& text);
// yes/true/1/on or no/false/0/off in any letter case, or nothing.
std::optional<bool> ParseBool(const std::string& text);
// The session directory, as the runtime finds it: $W32_SESSION, else
// ${XDG_RUNTIME_DIR:-/tmp}/w32-session-<uid>.
std::string SessionDirectory();

// The description of a device's page `index` (from 0): the last one listed
// repeats for further pages, and a device that lists none scans `fallback`.
template <class Spec>
const Spec& PageAt(const std::vector<Spec>& specs, int index, const Spec& fallback) {
    if (specs.empty()) {
        return fallback;
    }
    size_t at = std::min(static_cast<size_t>(index < 0 ? 0 : index), specs.size() - 1);
    return specs[at];
}

}  // namespace w32_devices
