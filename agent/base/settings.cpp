#include "agent/base/settings.h"

#include <windows.h>

#include <memory>

#include "agent/base/data_folders.h"

namespace vexlo {
namespace {

std::unique_ptr<CSettings> instance;

constexpr const char16_t* kSettingsSection = u"settings";
constexpr const char16_t* kWiaSection = u"wia";
constexpr DWORD kValueBufferSize = 260;

// One profile read; empty when the key gave no character.
std::u16string ReadValue(const char16_t* section, const char16_t* key, const char16_t* fallback,
                         const std::u16string& path) {
    WCHAR buffer[kValueBufferSize] = {};
    DWORD length =
        GetPrivateProfileStringW(section, key, fallback, buffer, kValueBufferSize, path.c_str());
    return std::u16string(buffer, length);
}

CSettings& Instance() {
    if (!instance) {
        instance = std::make_unique<CSettings>();
    }
    return *instance;
}

}  // namespace

CSettings* GetSettings() {
    if (!instance) {
        instance = std::make_unique<CSettings>();
        LoadSettings(GetSettingsFilePath());
    }
    return instance.get();
}

void LoadSettings(const std::u16string& path) {
    CSettings& settings = Instance();

    std::u16string value = ReadValue(kSettingsSection, u"trace-level", u"0", path);
    if (!value.empty()) {
        settings.traceLevel = _wtoi(value.c_str());
    }
    value = ReadValue(kSettingsSection, u"log-file", u"", path);
    if (!value.empty()) {
        settings.logFile = value;
    }
    value = ReadValue(kWiaSection, u"wia-scanner", u"", path);
    if (!value.empty()) {
        settings.wiaScanner = value;
    }
    value = ReadValue(kWiaSection, u"wia-scanner-name", u"", path);
    if (!value.empty()) {
        settings.wiaScannerName = value;
    }
    value = ReadValue(kSettingsSection, u"scan-mode", u"", path);
    if (!value.empty()) {
        int mode = _wtoi(value.c_str());
        if (mode >= 1 && mode <= 3) {
            settings.scanMode = mode;
        }
    }
    value = ReadValue(kSettingsSection, u"soap-server", u"", path);
    if (!value.empty()) {
        settings.soapServer = value;
    }
}

void SaveSettings(const std::u16string& path) {
    const CSettings& settings = Instance();
    WritePrivateProfileStringW(kWiaSection, u"wia-scanner",
                               settings.wiaScanner ? settings.wiaScanner->c_str() : nullptr,
                               path.c_str());
    WritePrivateProfileStringW(kWiaSection, u"wia-scanner-name", settings.wiaScannerName.c_str(),
                               path.c_str());
    WCHAR mode[16] = {};
    swprintf_s(mode, _countof(mode), u"%i", settings.scanMode);
    WritePrivateProfileStringW(kSettingsSection, u"scan-mode", mode, path.c_str());
}

void FreeSettings() {
    instance.reset();
}

}  // namespace vexlo
