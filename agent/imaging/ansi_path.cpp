#include "agent/imaging/ansi_path.h"

#include <windows.h>

#include <climits>

namespace vexlo::imaging {

std::string ToAnsiPath(const std::u16string& path) {
    if (path.empty() || path.size() > static_cast<size_t>(INT_MAX)) {
        return {};
    }
    int length = static_cast<int>(path.size());
    int needed =
        WideCharToMultiByte(CP_THREAD_ACP, 0, path.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) {
        return {};
    }
    std::string converted(static_cast<size_t>(needed), '\0');
    if (WideCharToMultiByte(CP_THREAD_ACP, 0, path.data(), length, converted.data(), needed,
                            nullptr, nullptr) != needed) {
        return {};
    }
    // A path cut short at a terminator inside it would name another file.
    if (converted.find('\0') != std::string::npos) {
        return {};
    }
    return converted;
}

}  // namespace vexlo::imaging
