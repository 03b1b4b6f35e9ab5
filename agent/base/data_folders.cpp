#include "agent/base/data_folders.h"

#include <windows.h>

#include <unistd.h>

namespace vexlo {
namespace {

constexpr const char16_t* kDataFolderName = u"VexloDesktop";

// Where the application-data folder is missing: a per-user folder under the
// temporary folder, so that nothing is ever created at the file-system root.
std::u16string FallbackBaseFolder() {
    WCHAR temp[MAX_PATH] = {};
    DWORD length = GetTempPathW(MAX_PATH, temp);
    std::u16string base =
        (length > 0 && length < MAX_PATH) ? std::u16string(temp, length) : u"/tmp";
    while (base.size() > 1 && base.back() == kPathSeparator) {
        base.pop_back();
    }
    std::string uid = "vexlo-" + std::to_string(getuid());
    return base + kPathSeparatorString + std::u16string(uid.begin(), uid.end());
}

std::u16string Subfolder(const char16_t* name) {
    std::u16string path = GetDataFolder() + kPathSeparatorString + name;
    CreateDirectoryW(path.c_str(), nullptr);
    return path;
}

}  // namespace

std::u16string GetDataFolder() {
    WCHAR appData[MAX_PATH] = {};
    std::u16string base;
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData))) {
        base = appData;
    } else {
        base = FallbackBaseFolder();
        CreateDirectoryW(base.c_str(), nullptr);
    }
    std::u16string path = base + kPathSeparatorString + kDataFolderName;
    CreateDirectoryW(path.c_str(), nullptr);
    return path;
}

std::u16string GetPrintFolder() {
    return Subfolder(u"Print");
}

std::u16string GetProcessedFolder() {
    return Subfolder(u"Processed");
}

std::u16string GetScannedFolder() {
    return Subfolder(u"Scanned");
}

std::u16string GetSettingsFilePath() {
    return GetDataFolder() + kPathSeparatorString + u"settings.ini";
}

}  // namespace vexlo
