// Conversions between the system's UTF-16 strings and native strings (file
// names, environment values) in the ANSI code page.
#pragma once

#include <string>

namespace w32 {

std::string ToNative(const char16_t* text);
std::string ToNative(const std::u16string& text);
std::u16string FromNative(const char* text);
std::u16string FromNative(const std::string& text);

}  // namespace w32
