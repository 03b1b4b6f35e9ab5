#include "agent_data.h"

#include <windows.h>

#include <cstdlib>
#include <filesystem>

#include "agent/base/data_folders.h"
#include "agent/base/settings.h"

namespace vexlo::test {

AgentDataFolder::AgentDataFolder() {
    if (const char* value = std::getenv("APPDATA")) {
        previous_ = value;
        hadPrevious_ = true;
    }
    setenv("APPDATA", dir_.native().c_str(), 1);
    FreeSettings();
}

AgentDataFolder::~AgentDataFolder() {
    FreeSettings();
    if (hadPrevious_) {
        setenv("APPDATA", previous_.c_str(), 1);
    } else {
        unsetenv("APPDATA");
    }
}

void AgentDataFolder::SetSoapServer(const std::string& endpoint) {
    std::u16string path = GetSettingsFilePath();
    std::u16string value = Wide(endpoint);
    WritePrivateProfileStringW(u"settings", u"soap-server", value.c_str(), path.c_str());
    FreeSettings();
    GetSettings();
}

std::u16string AgentDataFolder::WriteProcessedPage(const std::string& name,
                                                   const std::string& bytes) {
    std::u16string path = GetProcessedFolder() + kPathSeparatorString + Wide(name);
    WriteFileBytes(Narrow(path), bytes);
    return path;
}

int OpenDescriptorCount() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

std::string Narrow(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace vexlo::test
