// The system's own COM classes: the WIA device manager is a local server
// (the image acquisition service), here the module libwiaservice.so beside
// the runtime, which exports DllGetClassObject.
#include <mutex>

#include "internal/global_interface_table.h"
#include "internal/system_classes.h"
#include "w32/com_services.h"
#include "w32/module.h"

namespace w32::com {
namespace {

typedef HRESULT(WINAPI* GetClassObjectProc)(REFCLSID rclsid, REFIID riid, LPVOID* ppv);

struct SystemClass {
    CLSID clsid;
    DWORD context;
    const char16_t* module;
};

// CLSID_WiaDevMgr.
constexpr SystemClass kClasses[] = {
    {{0xA1F4E726, 0x8CF1, 0x11D1, {0xBF, 0x92, 0x00, 0x60, 0x08, 0x1E, 0xD8, 0x11}},
     CLSCTX_LOCAL_SERVER,
     u"wiaservice.dll"},
};

// A module once loaded serves for the process's life.
GetClassObjectProc EntryOf(const char16_t* module) {
    static std::mutex lock;
    static GetClassObjectProc entries[sizeof(kClasses) / sizeof(kClasses[0])] = {};
    std::lock_guard<std::mutex> guard(lock);
    for (size_t i = 0; i < sizeof(kClasses) / sizeof(kClasses[0]); ++i) {
        if (kClasses[i].module != module) {
            continue;
        }
        if (entries[i] == nullptr) {
            HMODULE library = LoadLibraryW(module);
            if (library != nullptr) {
                entries[i] = reinterpret_cast<GetClassObjectProc>(
                    GetProcAddress(library, "DllGetClassObject"));
                if (entries[i] == nullptr) {
                    FreeLibrary(library);
                }
            }
        }
        return entries[i];
    }
    return nullptr;
}

}  // namespace

HRESULT SystemClassObject(REFCLSID rclsid, DWORD dwClsContext, REFIID riid, LPVOID* ppv) {
    if (rclsid == CLSID_StdGlobalInterfaceTable && (dwClsContext & CLSCTX_INPROC_SERVER) != 0) {
        return GlobalInterfaceTableClassObject(riid, ppv);
    }
    for (const SystemClass& system : kClasses) {
        if (system.clsid == rclsid && (system.context & dwClsContext) != 0) {
            GetClassObjectProc entry = EntryOf(system.module);
            // A service that cannot start answers as Windows does.
            return entry != nullptr ? entry(rclsid, riid, ppv) : CO_E_SERVER_EXEC_FAILURE;
        }
    }
    return REGDB_E_CLASSNOTREG;
}

}  // namespace w32::com
