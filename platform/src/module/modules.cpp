#include "module/modules.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "internal/handles.h"
#include "w32/module.h"

namespace w32::module {

namespace {

struct Module {
    struct link_map* map = nullptr;
    std::vector<void*> dlHandles;  // one per LoadLibrary not yet freed
};

struct State {
    std::mutex mutex;
    std::map<uint32_t, Module> modules;  // by handle value
    std::map<struct link_map*, uint32_t> byMap;
    std::map<struct link_map*, std::vector<std::pair<const W32_RESOURCE*, size_t>>> resources;
};

State& S() {
    static auto* s = new State;  // modules unregister during exit
    return *s;
}

struct link_map* MapOfAddress(const void* address) {
    Dl_info info;
    void* extra = nullptr;
    if (!dladdr1(address, &info, &extra, RTLD_DL_LINKMAP))
        return nullptr;
    return static_cast<struct link_map*>(extra);
}

struct link_map* ProgramMap() {
    static struct link_map* map = [] {
        struct link_map* m = nullptr;
        void* self = dlopen(nullptr, RTLD_NOW);
        if (self)
            dlinfo(self, RTLD_DI_LINKMAP, &m);
        return m;
    }();
    return map;
}

uint32_t HandleValueLocked(struct link_map* map) {
    auto it = S().byMap.find(map);
    if (it != S().byMap.end())
        return it->second;
    uint32_t v = AllocateHandleValue();
    S().byMap[map] = v;
    S().modules[v].map = map;
    return v;
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string Narrow(LPCWSTR s) {
    if (!s)
        return {};
    std::string out;
    for (const char16_t* p = s; *p; ++p) {
        char16_t c = *p;
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

// UTF-8 file names to UTF-16 (invalid bytes become U+FFFD).
std::u16string Widen(const std::string& s) {
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        uint32_t cp = 0xFFFD;
        size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c >> 5) == 6 && i + 1 < s.size()) {
            cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3Fu);
            len = 2;
        } else if ((c >> 4) == 14 && i + 2 < s.size()) {
            cp = ((c & 0x0Fu) << 12) | ((static_cast<unsigned char>(s[i + 1]) & 0x3Fu) << 6) |
                 (static_cast<unsigned char>(s[i + 2]) & 0x3Fu);
            len = 3;
        } else if ((c >> 3) == 30 && i + 3 < s.size()) {
            cp = ((c & 0x07u) << 18) | ((static_cast<unsigned char>(s[i + 1]) & 0x3Fu) << 12) |
                 ((static_cast<unsigned char>(s[i + 2]) & 0x3Fu) << 6) |
                 (static_cast<unsigned char>(s[i + 3]) & 0x3Fu);
            len = 4;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += len;
    }
    return out;
}

std::string FolderOf(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string PathOfMap(struct link_map* map) {
    if (!map)
        return {};
    if (map == ProgramMap() || !map->l_name || !*map->l_name) {
        char buf[4096];
        ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
        if (n <= 0)
            return {};
        return std::string(buf, static_cast<size_t>(n));
    }
    char resolved[4096];
    if (realpath(map->l_name, resolved))
        return resolved;
    return map->l_name;
}

}  // namespace

struct link_map* LinkMapOf(HMODULE module) {
    if (!module)
        return ProgramMap();
    std::lock_guard<std::mutex> guard(S().mutex);
    auto it = S().modules.find(ValueFromHandle(module));
    return it == S().modules.end() ? nullptr : it->second.map;
}

HMODULE HandleOf(struct link_map* map) {
    if (!map)
        return nullptr;
    std::lock_guard<std::mutex> guard(S().mutex);
    return HandleFromValue<HMODULE>(HandleValueLocked(map));
}

HMODULE ProgramHandle() {
    return HandleOf(ProgramMap());
}

HMODULE RuntimeHandle() {
    static int anchor;
    return HandleOf(MapOfAddress(&anchor));
}

std::vector<const W32_RESOURCE*> Resources(HMODULE module) {
    std::vector<const W32_RESOURCE*> out;
    struct link_map* map = LinkMapOf(module);
    if (!map)
        return out;
    std::lock_guard<std::mutex> guard(S().mutex);
    auto it = S().resources.find(map);
    if (it == S().resources.end())
        return out;
    for (auto& [table, count] : it->second)
        for (size_t i = 0; i < count; ++i)
            out.push_back(&table[i]);
    return out;
}

namespace {
bool KeyMatches(const W32_RES_KEY& key, LPCWSTR want) {
    if (IS_INTRESOURCE(want))
        return key.text == nullptr &&
               key.id == static_cast<WORD>(reinterpret_cast<uintptr_t>(want));
    if (want[0] == u'#') {  // "#123" names an id
        WORD id = 0;
        for (const char16_t* p = want + 1; *p >= u'0' && *p <= u'9'; ++p)
            id = static_cast<WORD>(id * 10 + (*p - u'0'));
        return key.text == nullptr && key.id == id;
    }
    if (!key.text)
        return false;
    const char16_t* a = key.text;
    const char16_t* b = want;
    for (;; ++a, ++b) {
        char16_t x = (*a >= u'a' && *a <= u'z') ? static_cast<char16_t>(*a - 32) : *a;
        char16_t y = (*b >= u'a' && *b <= u'z') ? static_cast<char16_t>(*b - 32) : *b;
        if (x != y)
            return false;
        if (!*a)
            return true;
    }
}
}  // namespace

const W32_RESOURCE* Find(HMODULE module, LPCWSTR type, LPCWSTR name) {
    for (const W32_RESOURCE* r : Resources(module))
        if (KeyMatches(r->type, type) && KeyMatches(r->name, name))
            return r;
    return nullptr;
}

std::string MapModuleName(const std::string& name, bool* isSystem) {
    static const char* const kSystem[] = {
        "user32",   "kernel32", "gdi32",   "advapi32", "shell32", "ole32", "oleaut32", "comctl32",
        "comdlg32", "winspool", "shlwapi", "version",  "ntdll",   "w32rt", "libw32rt"};
    std::string file = name;
    auto slash = file.rfind('/');
    std::string folder = slash == std::string::npos ? "" : file.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? file : file.substr(slash + 1);
    std::string lower = Lower(base);
    if (lower.size() > 3 && lower.compare(lower.size() - 3, 3, ".so") == 0) {
        *isSystem = false;
        return file;
    }
    for (const char* ext : {".dll", ".drv", ".ocx", ".exe"}) {
        size_t n = std::strlen(ext);
        if (lower.size() > n && lower.compare(lower.size() - n, n, ext) == 0) {
            lower.resize(lower.size() - n);
            break;
        }
    }
    *isSystem = false;
    for (const char* s : kSystem)
        if (lower == s)
            *isSystem = true;
    if (lower.rfind("lib", 0) == 0 && lower.size() > 3)
        lower = lower.substr(3);
    return folder + "lib" + lower + ".so";
}

}  // namespace w32::module

using namespace w32::module;

W32API BOOL WINAPI W32RegisterModuleResources(const void* anchor, const W32_RESOURCE* table,
                                              size_t count) {
    struct link_map* map = MapOfAddress(anchor);
    if (!map || !table)
        return FALSE;
    std::lock_guard<std::mutex> guard(S().mutex);
    S().resources[map].emplace_back(table, count);
    return TRUE;
}

W32API void WINAPI W32UnregisterModuleResources(const void* anchor, const W32_RESOURCE* table) {
    struct link_map* map = MapOfAddress(anchor);
    std::lock_guard<std::mutex> guard(S().mutex);
    auto it = S().resources.find(map);
    if (it == S().resources.end())
        return;
    auto& v = it->second;
    v.erase(std::remove_if(v.begin(), v.end(), [&](auto& e) { return e.first == table; }), v.end());
}

namespace {

HMODULE LoadMapped(const std::string& requested, const void* caller) {
    bool system = false;
    std::string file = MapModuleName(requested, &system);
    if (system) {
        // The system libraries are the runtime itself: one more reference to it.
        HMODULE h = RuntimeHandle();
        std::string path = PathOfMap(LinkMapOf(h));
        if (void* dl = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD)) {
            std::lock_guard<std::mutex> guard(S().mutex);
            S().modules[w32::ValueFromHandle(h)].dlHandles.push_back(dl);
        }
        return h;
    }
    std::vector<std::string> candidates;
    if (file.find('/') != std::string::npos) {
        if (access(requested.c_str(), F_OK) == 0)
            candidates.push_back(requested);
        candidates.push_back(file);
    } else {
        if (struct link_map* m = MapOfAddress(caller)) {
            std::string folder = FolderOf(PathOfMap(m));
            if (!folder.empty())
                candidates.push_back(folder + "/" + file);
        }
        std::string rt = FolderOf(PathOfMap(LinkMapOf(RuntimeHandle())));
        if (!rt.empty())
            candidates.push_back(rt + "/" + file);
        candidates.push_back(file);
    }
    for (auto& c : candidates) {
        if (c.find('/') != std::string::npos && access(c.c_str(), F_OK) != 0)
            continue;
        void* dl = dlopen(c.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!dl)
            continue;
        struct link_map* map = nullptr;
        dlinfo(dl, RTLD_DI_LINKMAP, &map);
        std::lock_guard<std::mutex> guard(S().mutex);
        uint32_t v = HandleValueLocked(map);
        S().modules[v].dlHandles.push_back(dl);
        return w32::HandleFromValue<HMODULE>(v);
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

}  // namespace

W32API HMODULE WINAPI LoadLibraryA(LPCSTR name) {
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return LoadMapped(name, __builtin_return_address(0));
}

W32API HMODULE WINAPI LoadLibraryW(LPCWSTR name) {
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return LoadMapped(Narrow(name), __builtin_return_address(0));
}

W32API HMODULE WINAPI LoadLibraryExW(LPCWSTR name, HANDLE, DWORD) {
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return LoadMapped(Narrow(name), __builtin_return_address(0));
}

W32API BOOL WINAPI FreeLibrary(HMODULE module) {
    void* dl = nullptr;
    {
        std::lock_guard<std::mutex> guard(S().mutex);
        auto it = S().modules.find(w32::ValueFromHandle(module));
        if (it == S().modules.end() || it->second.dlHandles.empty()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        dl = it->second.dlHandles.back();
        it->second.dlHandles.pop_back();
    }
    dlclose(dl);
    return TRUE;
}

W32API FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
    struct link_map* map = LinkMapOf(module);
    if (!map || !name) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    std::string symbol = IS_INTRESOURCE(name)
                             ? "w32_ordinal_" + std::to_string(reinterpret_cast<uintptr_t>(name))
                             : std::string(name);
    std::string path = map == ProgramMap() ? std::string() : PathOfMap(map);
    void* dl = dlopen(path.empty() ? nullptr : path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!dl) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    void* sym = dlsym(dl, symbol.c_str());
    dlclose(dl);
    if (!sym) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(sym);
}

W32API DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size) {
    struct link_map* map = LinkMapOf(module);
    if (!map) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    std::string path = PathOfMap(map);
    std::u16string wide = Widen(path);
    if (!buffer || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (wide.size() >= size) {
        std::memcpy(buffer, wide.data(), (size - 1) * sizeof(char16_t));
        buffer[size - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(buffer, wide.data(), wide.size() * sizeof(char16_t));
    buffer[wide.size()] = 0;
    return static_cast<DWORD>(wide.size());
}

namespace {
HMODULE FindLoaded(const std::string& name) {
    bool system = false;
    std::string file = MapModuleName(name, &system);
    if (system)
        return RuntimeHandle();
    std::string base = file.substr(file.rfind('/') == std::string::npos ? 0 : file.rfind('/') + 1);
    struct link_map* found = nullptr;
    for (struct link_map* m = ProgramMap(); m; m = m->l_next) {
        std::string path = m->l_name ? m->l_name : "";
        std::string b = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
        if (!b.empty() && b == base) {
            found = m;
            break;
        }
    }
    if (!found) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return HandleOf(found);
}
}  // namespace

W32API HMODULE WINAPI GetModuleHandleW(LPCWSTR name) {
    if (!name)
        return ProgramHandle();
    return FindLoaded(Narrow(name));
}

W32API HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
    if (!name)
        return ProgramHandle();
    return FindLoaded(name);
}

W32API BOOL WINAPI GetModuleHandleExW(DWORD flags, LPCWSTR name, HMODULE* out) {
    if (!out) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) {
        struct link_map* map = MapOfAddress(name);
        *out = map ? HandleOf(map) : nullptr;
    } else {
        *out = GetModuleHandleW(name);
    }
    return *out ? TRUE : FALSE;
}
