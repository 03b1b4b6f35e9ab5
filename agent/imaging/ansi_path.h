// Paths for the image library, which takes multibyte strings in the thread's
// ANSI code page.
#pragma once

#include <string>

namespace vexlo::imaging {

// Empty when the path is empty or cannot be converted.
std::string ToAnsiPath(const std::u16string& path);

}  // namespace vexlo::imaging
