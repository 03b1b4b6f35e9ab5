#include "agent/imaging/ansi_path.h"

#include <windows.h>

#include <climits>

#include "framework/text.h"

namespace vexlo::imaging {

std::string ToAnsiPath(const std::u16string& path) {
    if (path.empty() || path.size() > static_cast<size_t>(INT_MAX)) {
        return {};
    }
    std::string converted = fw::FromWide(CP_THREAD_ACP, path);
    if (converted.empty()) {
        return {};
    }
    // A path cut short at a terminator inside it would name another file.
    if (converted.find('\0') != std::string::npos) {
        return {};
    }
    return converted;
}

}  // namespace vexlo::imaging
