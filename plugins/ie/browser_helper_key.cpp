#include "plugins/ie/browser_helper_key.h"

namespace vexlo {

LSTATUS RegisterBrowserHelperObjectKey() {
    HKEY key = nullptr;
    LSTATUS status =
        ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kBrowserHelperObjectKey, 0, KEY_READ | KEY_WRITE, &key);
    if (status != ERROR_SUCCESS) {
        status = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kBrowserHelperObjectKey, 0, nullptr,
                                   REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, &key,
                                   nullptr);
    }
    if (status == ERROR_SUCCESS && key != nullptr) {
        const DWORD noExplorer = 1;
        ::RegSetValueExW(key, u"NoExplorer", 0, REG_DWORD,
                         reinterpret_cast<const BYTE*>(&noExplorer), sizeof(noExplorer));
        ::RegCloseKey(key);
    }
    return status;
}

}  // namespace vexlo
