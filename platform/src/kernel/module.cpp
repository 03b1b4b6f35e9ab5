// Modules and their resources.
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "internal/handles.h"
#include "internal/native_string.h"
#include "w32/crt.h"
#include "w32/kernel.h"
#include "w32/module.h"

namespace {

struct Resource {
    std::u16string type;  // "#n" for a numeric type
    std::u16string name;  // "#n" for a numeric id
    const void* data;
    DWORD size;
};

struct Module {
    uint32_t handle = 0;
    std::string path;
    void* library = nullptr;  // dlopen handle; null for the program itself
    int loads = 0;
    // An HRSRC is the address of its entry: a deque keeps the entries in place
    // while later ones are registered.
    std::deque<Resource> resources;
};

struct Modules {
    std::mutex lock;
    std::vector<std::unique_ptr<Module>> modules;
};

Modules& TheModules() {
    static Modules* modules = new Modules;
    return *modules;
}

std::u16string Key(LPCWSTR name) {
    if (IS_INTRESOURCE(name)) {
        std::string number = "#" + std::to_string(reinterpret_cast<uintptr_t>(name));
        return std::u16string(number.begin(), number.end());
    }
    std::u16string key = name;
    for (auto& c : key) {
        if (c >= u'a' && c <= u'z') {
            c = static_cast<char16_t>(c - 32);
        }
    }
    return key;
}

std::string PathOfAddress(const void* address) {
    Dl_info info;
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    std::string path = info.dli_fname;
    if (path.empty() || path[0] != '/') {
        // The program itself reports its name as it was started.
        char self[4096];
        ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
        if (length > 0) {
            self[length] = 0;
            path = self;
        }
    }
    return path;
}

std::string ProgramPath() {
    char self[4096];
    ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (length <= 0) {
        return {};
    }
    self[length] = 0;
    return self;
}

// Finds or adds the module of a file; the caller holds the lock.
Module& ModuleOfPath(Modules& modules, const std::string& path) {
    for (auto& module : modules.modules) {
        if (module->path == path) {
            return *module;
        }
    }
    auto module = std::make_unique<Module>();
    module->handle = w32::AllocateHandleValue();
    module->path = path;
    modules.modules.push_back(std::move(module));
    return *modules.modules.back();
}

Module* ModuleOfHandle(Modules& modules, HMODULE handle) {
    if (handle == nullptr) {
        return &ModuleOfPath(modules, ProgramPath());
    }
    for (auto& module : modules.modules) {
        if (module->handle == w32::ValueFromHandle(handle)) {
            return module.get();
        }
    }
    return nullptr;
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool IsSystemModule(const std::string& lowerName) {
    static const char* kSystem[] = {"user32",   "kernel32", "advapi32", "shell32",
                                    "ole32",    "oleaut32", "gdi32",    "comctl32",
                                    "comdlg32", "shlwapi",  "version",  "w32rt"};
    for (const char* name : kSystem) {
        if (lowerName == name) {
            return true;
        }
    }
    return false;
}

std::string RuntimePath() {
    return PathOfAddress(reinterpret_cast<const void*>(&LoadLibraryW));
}

// The file that a Windows module name stands for.
std::string Resolve(const std::string& name, const void* caller) {
    if (name.find('/') != std::string::npos) {
        return name;
    }
    std::string base = name;
    std::transform(base.begin(), base.end(), base.begin(),
                   [](unsigned char c) { return static_cast<char>(tolower(c)); });
    if (base.size() > 4 && base.compare(base.size() - 4, 4, ".dll") == 0) {
        base.resize(base.size() - 4);
    }
    if (IsSystemModule(base)) {
        return RuntimePath();
    }
    std::vector<std::string> folders;
    std::string callerPath = PathOfAddress(caller);
    if (!callerPath.empty()) {
        folders.push_back(FolderOf(callerPath));
    }
    folders.push_back(FolderOf(RuntimePath()));
    for (const auto& folder : folders) {
        for (const std::string& file : {"lib" + base + ".so", base + ".so"}) {
            std::string path = folder + "/" + file;
            if (access(path.c_str(), R_OK) == 0) {
                return path;
            }
        }
    }
    return "lib" + base + ".so";  // the dynamic loader's own search
}

HMODULE Load(const std::string& name, const void* caller) {
    std::string path = Resolve(name, caller);
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    // Key the module by the file the loader really opened.
    struct link_map* map = nullptr;
    if (dlinfo(library, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr && map->l_name != nullptr &&
        map->l_name[0] == '/') {
        path = map->l_name;
    }
    Modules& modules = TheModules();
    std::lock_guard<std::mutex> guard(modules.lock);
    Module& module = ModuleOfPath(modules, path);
    if (module.library != nullptr) {
        dlclose(library);  // already held
    } else {
        module.library = library;
    }
    ++module.loads;
    return w32::HandleFromValue<HMODULE>(module.handle);
}

// The resources of a library that left the process are data that is gone;
// a later load registers them anew. A library that another module still
// holds stays mapped and keeps them.
void ForgetResourcesIfUnloaded(uint32_t handle) {
    std::string path;
    {
        Modules& modules = TheModules();
        std::lock_guard<std::mutex> guard(modules.lock);
        Module* module = ModuleOfHandle(modules, w32::HandleFromValue<HMODULE>(handle));
        if (module == nullptr) {
            return;
        }
        path = module->path;
    }
    void* still = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (still != nullptr) {
        dlclose(still);
        return;
    }
    Modules& modules = TheModules();
    std::lock_guard<std::mutex> guard(modules.lock);
    Module* module = ModuleOfHandle(modules, w32::HandleFromValue<HMODULE>(handle));
    if (module != nullptr && module->loads == 0) {
        module->resources.clear();
    }
}

}  // namespace

W32API HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName) {
    if (lpLibFileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return Load(w32::ToNative(lpLibFileName), __builtin_return_address(0));
}

W32API HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
    if (lpLibFileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return Load(lpLibFileName, __builtin_return_address(0));
}

W32API BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    void* library = nullptr;
    {
        Modules& modules = TheModules();
        std::lock_guard<std::mutex> guard(modules.lock);
        Module* module = ModuleOfHandle(modules, hLibModule);
        if (module == nullptr || module->loads == 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (--module->loads == 0) {
            library = module->library;
            module->library = nullptr;
        }
    }
    if (library != nullptr) {
        dlclose(library);
        ForgetResourcesIfUnloaded(w32::ValueFromHandle(hLibModule));
    }
    return TRUE;
}

W32API FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    void* library = nullptr;
    {
        Modules& modules = TheModules();
        std::lock_guard<std::mutex> guard(modules.lock);
        Module* module = ModuleOfHandle(modules, hModule);
        if (module == nullptr) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        library = module->library;
    }
    if (library == nullptr) {
        library = dlopen(nullptr, RTLD_NOW);  // the program itself
    }
    if (lpProcName == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    if (IS_INTRESOURCE(lpProcName)) {
        // Exports by ordinal come from the module's ordinal getters.
        std::string getterName =
            "w32_ordinal_" + std::to_string(reinterpret_cast<uintptr_t>(lpProcName));
        auto getter = reinterpret_cast<void* (*)()>(dlsym(library, getterName.c_str()));
        if (getter == nullptr) {
            SetLastError(ERROR_PROC_NOT_FOUND);
            return nullptr;
        }
        return reinterpret_cast<FARPROC>(getter());
    }
    void* symbol = dlsym(library, lpProcName);
    if (symbol == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

W32API HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName) {
    Modules& modules = TheModules();
    std::lock_guard<std::mutex> guard(modules.lock);
    if (lpModuleName == nullptr) {
        return w32::HandleFromValue<HMODULE>(ModuleOfPath(modules, ProgramPath()).handle);
    }
    std::string name = w32::ToNative(lpModuleName);
    std::string path = Resolve(name, nullptr);
    if (path == RuntimePath()) {
        // The system modules are the runtime, mapped into every process from its start.
        return w32::HandleFromValue<HMODULE>(ModuleOfPath(modules, path).handle);
    }
    for (auto& module : modules.modules) {
        if (module->loads > 0 &&
            (module->path == path || FolderOf(module->path) + "/" + path == module->path)) {
            return w32::HandleFromValue<HMODULE>(module->handle);
        }
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

W32API BOOL WINAPI GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule) {
    if (phModule == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *phModule = nullptr;
    if ((dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) == 0) {
        *phModule = GetModuleHandleW(lpModuleName);
        return *phModule != nullptr;
    }
    std::string path = PathOfAddress(reinterpret_cast<const void*>(lpModuleName));
    if (path.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    Modules& modules = TheModules();
    std::lock_guard<std::mutex> guard(modules.lock);
    *phModule = w32::HandleFromValue<HMODULE>(ModuleOfPath(modules, path).handle);
    return TRUE;
}

W32API DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
    std::string path;
    {
        Modules& modules = TheModules();
        std::lock_guard<std::mutex> guard(modules.lock);
        Module* module = ModuleOfHandle(modules, hModule);
        if (module == nullptr) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return 0;
        }
        path = module->path;
    }
    std::u16string wide = w32::FromNative(path);
    if (lpFilename == nullptr || nSize == 0) {
        return 0;
    }
    size_t count = std::min<size_t>(wide.size(), nSize - 1);
    wide.copy(lpFilename, count);
    lpFilename[count] = 0;
    if (count < wide.size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    return static_cast<DWORD>(count);
}

W32API void WINAPI W32RegisterResource(const void* moduleAddress, LPCWSTR type, LPCWSTR name,
                                       const void* data, DWORD size) {
    std::string path = PathOfAddress(moduleAddress);
    Modules& modules = TheModules();
    std::lock_guard<std::mutex> guard(modules.lock);
    Module& module = ModuleOfPath(modules, path);
    module.resources.push_back(Resource{Key(type), Key(name), data, size});
}

W32API HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType) {
    Modules& modules = TheModules();
    std::lock_guard<std::mutex> guard(modules.lock);
    Module* module = ModuleOfHandle(modules, hModule);
    if (module != nullptr) {
        std::u16string type = Key(lpType);
        std::u16string name = Key(lpName);
        for (auto& resource : module->resources) {
            if (resource.type == type && resource.name == name) {
                return reinterpret_cast<HRSRC>(&resource);
            }
        }
    }
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

// Resources are read-only data of their module: "loading" hands out its address.
W32API HGLOBAL WINAPI LoadResource(HMODULE, HRSRC hResInfo) {
    if (hResInfo == nullptr) {
        return nullptr;
    }
    return const_cast<void*>(reinterpret_cast<Resource*>(hResInfo)->data);
}

W32API LPVOID WINAPI LockResource(HGLOBAL hResData) {
    return hResData;
}

W32API DWORD WINAPI SizeofResource(HMODULE, HRSRC hResInfo) {
    return hResInfo == nullptr ? 0 : reinterpret_cast<Resource*>(hResInfo)->size;
}
