// Another process of the test's session: reads or writes one REG_SZ value
// and answers by its exit status (0 done, 1 not as expected, 2 bad usage).
//   registry_peer expect <root> <key> <value name> <text>
//   registry_peer write <root> <key> <value name> <text>
//   registry_peer fill <root> <key> <count>   (values v0..v<count-1>)
#include <windows.h>

#include <cstring>
#include <string>

#include "framework/raii.h"
#include "support/temp_dir.h"

namespace {

HKEY RootOf(const char* name) {
    if (strcmp(name, "HKCR") == 0) {
        return HKEY_CLASSES_ROOT;
    }
    if (strcmp(name, "HKCU") == 0) {
        return HKEY_CURRENT_USER;
    }
    return HKEY_LOCAL_MACHINE;
}

bool Write(HKEY root, const std::u16string& keyName, const std::u16string& name,
           const std::u16string& text) {
    fw::unique_hkey key;
    if (RegCreateKeyExW(root, keyName.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    return RegSetValueExW(
               key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
               static_cast<DWORD>((text.size() + 1) * sizeof(char16_t))) == ERROR_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        return 2;
    }
    std::string mode = argv[1];
    HKEY root = RootOf(argv[2]);
    std::u16string keyName = vexlo::test::Wide(argv[3]);
    if (mode == "fill") {
        for (int i = 0; i < atoi(argv[4]); ++i) {
            std::u16string name = vexlo::test::Wide("v" + std::to_string(i));
            if (!Write(root, keyName, name, name)) {
                return 1;
            }
        }
        return 0;
    }
    if (argc < 6) {
        return 2;
    }
    std::u16string name = vexlo::test::Wide(argv[4]);
    std::u16string text = vexlo::test::Wide(argv[5]);
    if (mode == "write") {
        return Write(root, keyName, name, text) ? 0 : 1;
    }
    char16_t buffer[256] = {};
    DWORD size = sizeof(buffer) - sizeof(char16_t);
    fw::unique_hkey key;
    if (RegOpenKeyExW(root, keyName.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS ||
        RegQueryValueExW(key.get(), name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                         &size) != ERROR_SUCCESS) {
        return 1;
    }
    return text == buffer ? 0 : 1;
}
