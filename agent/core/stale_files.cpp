#include "agent/core/stale_files.h"

#include "framework/raii.h"
#include "protocol/records.h"

namespace vexlo {

bool AnotherAgentWindowExists(HWND own) {
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, kAgentWindowClass, nullptr)) != nullptr) {
        if (window != own) {
            return true;
        }
    }
    return false;
}

void DeleteFilesWrittenBefore(const std::u16string& folder, const FILETIME& before) {
    const std::u16string prefix = folder + kPathSeparatorString;
    WIN32_FIND_DATAW found;
    fw::unique_hfind search(FindFirstFileW((prefix + u"*").c_str(), &found));
    if (!search) {
        return;
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
            CompareFileTime(&found.ftLastWriteTime, &before) < 0) {
            DeleteFileW((prefix + found.cFileName).c_str());
        }
    } while (FindNextFileW(search.get(), &found));
}

}  // namespace vexlo
