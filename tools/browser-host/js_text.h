// Text between the script engine and the add-ons. The engine keeps strings
// as CESU-8 (a character beyond U+FFFF is two encoded surrogates, as a
// script sees it, and no UTF-16 unit, not even a lone surrogate, is lost
// either way); the plug-in API speaks standard UTF-8, COM UTF-16.
#pragma once

#include <cstddef>
#include <string>

namespace browser {

// Engine text to UTF-8: surrogate pairs are joined, a lone surrogate or a
// broken sequence becomes U+FFFD.
std::string EngineToUtf8(const char* text, size_t length);
// UTF-8 to engine text: characters beyond U+FFFF become surrogate pairs,
// broken sequences U+FFFD.
std::string Utf8ToEngine(const char* text, size_t length);
// UTF-16 to engine text and back (broken sequences U+FFFD).
std::string WideToEngine(const char16_t* text, size_t length);
std::u16string EngineToWide(const char* text, size_t length);
// Appends one code point as UTF-8 (the caller checks that it is a character).
void AppendUtf8(char32_t value, std::string* out);

}  // namespace browser
