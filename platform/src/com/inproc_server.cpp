// In-process servers: the library named by the class's InprocServer32 key,
// loaded on first use and kept until it says it can be unloaded.
#include <map>
#include <mutex>
#include <string>

#include "internal/inproc_server.h"
#include "w32/com_libraries.h"
#include "w32/kernel.h"
#include "w32/module.h"
#include "w32/registry.h"

namespace {

struct Library {
    HMODULE module = nullptr;
    LPFNGETCLASSOBJECT getClassObject = nullptr;
    LPFNCANUNLOADNOW canUnloadNow = nullptr;
};

// Recursive: a server's DllGetClassObject or DllCanUnloadNow may create
// other objects on the same thread.
struct Libraries {
    std::recursive_mutex lock;
    std::map<std::u16string, Library> loaded;  // by the registered path
};

Libraries& TheLibraries() {
    static Libraries* libraries = new Libraries;
    return *libraries;
}

// The registered path of the class's server; empty when there is none.
std::u16string ServerPath(REFCLSID rclsid) {
    OLECHAR guid[39];
    if (StringFromGUID2(rclsid, guid, 39) == 0) {
        return {};
    }
    std::u16string keyName = u"CLSID\\" + std::u16string(guid) + u"\\InprocServer32";
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, keyName.c_str(), 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
        return {};
    }
    DWORD type = 0;
    DWORD size = 0;
    std::u16string path;
    if (RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ) && size >= sizeof(char16_t)) {
        path.resize(size / sizeof(char16_t));
        if (RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<LPBYTE>(path.data()),
                             &size) != ERROR_SUCCESS) {
            path.clear();
        }
        path.resize(std::min(path.size(), size / sizeof(char16_t)));
        // The stored text may or may not carry its terminator.
        size_t end = path.find(u'\0');
        if (end != std::u16string::npos) {
            path.resize(end);
        }
    }
    RegCloseKey(key);
    return path;
}

}  // namespace

namespace w32::com {

HRESULT InprocServerClassObject(REFCLSID rclsid, DWORD dwClsContext, REFIID riid, LPVOID* ppv) {
    if ((dwClsContext & CLSCTX_INPROC_SERVER) == 0) {
        return REGDB_E_CLASSNOTREG;
    }
    std::u16string path = ServerPath(rclsid);
    if (path.empty()) {
        return REGDB_E_CLASSNOTREG;
    }
    Libraries& libraries = TheLibraries();
    std::lock_guard<std::recursive_mutex> guard(libraries.lock);
    auto it = libraries.loaded.find(path);
    if (it == libraries.loaded.end()) {
        Library library;
        library.module = LoadLibraryW(path.c_str());
        if (library.module == nullptr) {
            return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
        }
        library.getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(
            GetProcAddress(library.module, "DllGetClassObject"));
        library.canUnloadNow =
            reinterpret_cast<LPFNCANUNLOADNOW>(GetProcAddress(library.module, "DllCanUnloadNow"));
        if (library.getClassObject == nullptr) {
            FreeLibrary(library.module);
            return CO_E_ERRORINDLL;
        }
        it = libraries.loaded.emplace(path, library).first;
    }
    return it->second.getClassObject(rclsid, riid, ppv);
}

}  // namespace w32::com

W32API void WINAPI CoFreeUnusedLibrariesEx(DWORD, DWORD) {
    Libraries& libraries = TheLibraries();
    std::lock_guard<std::recursive_mutex> guard(libraries.lock);
    for (auto it = libraries.loaded.begin(); it != libraries.loaded.end();) {
        // A server without DllCanUnloadNow stays for the process's life.
        if (it->second.canUnloadNow != nullptr && it->second.canUnloadNow() == S_OK) {
            FreeLibrary(it->second.module);
            it = libraries.loaded.erase(it);
        } else {
            ++it;
        }
    }
}

W32API void WINAPI CoFreeUnusedLibraries(void) {
    CoFreeUnusedLibrariesEx(0, 0);
}
