// Shell folders and ShellExecuteW.
#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <string>
#include <thread>
#include <vector>

#include "internal/native_string.h"
#include "w32/crt.h"
#include "w32/shell.h"

extern char** environ;

namespace {

std::string EnvironmentPath(const char* name) {
    const char* value = getenv(name);
    return value != nullptr && value[0] == '/' ? std::string(value) : std::string();
}

std::string HomeRelative(const char* relative) {
    std::string home = EnvironmentPath("HOME");
    return home.empty() ? std::string() : home + relative;
}

std::string FolderFor(int csidl) {
    switch (csidl & 0xFF) {
        case CSIDL_APPDATA: {
            std::string path = EnvironmentPath("APPDATA");
            if (path.empty()) {
                path = EnvironmentPath("XDG_CONFIG_HOME");
            }
            return path.empty() ? HomeRelative("/.config") : path;
        }
        case CSIDL_LOCAL_APPDATA: {
            std::string path = EnvironmentPath("LOCALAPPDATA");
            if (path.empty()) {
                path = EnvironmentPath("XDG_DATA_HOME");
            }
            return path.empty() ? HomeRelative("/.local/share") : path;
        }
        case CSIDL_PERSONAL:
            return EnvironmentPath("HOME");
        default:
            return {};
    }
}

bool IsExecutableFile(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           access(path.c_str(), X_OK) == 0;
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    return strncasecmp(text.c_str(), prefix, strlen(prefix)) == 0;
}

// What the Windows shell opens as an address: the web and mail schemes, and a
// bare "www." name, which it takes as an http address. Empty for anything else.
std::string AsAddress(const std::string& target) {
    for (const char* scheme : {"http:", "https:", "mailto:"}) {
        if (StartsWithNoCase(target, scheme) && target.size() > strlen(scheme)) {
            return target;
        }
    }
    if (StartsWithNoCase(target, "www.") && target.size() > 4 &&
        target.find_first_of(" \t\"<>") == std::string::npos) {
        return "http://" + target;
    }
    return {};
}

// Some other "scheme:..." that no handler is registered for here.
bool HasScheme(const std::string& target) {
    size_t colon = target.find(':');
    if (colon == std::string::npos || colon < 2) {
        return false;
    }
    for (size_t i = 0; i < colon; ++i) {
        char c = target[i];
        if (!(isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.')) {
            return false;
        }
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// A program named without a folder: the calling module's folder first, then
// PATH. A Windows name "x.exe" also finds "x".
std::string FindProgram(const std::string& name, const void* caller) {
    std::vector<std::string> candidates{name};
    if (name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".exe") == 0) {
        candidates.push_back(name.substr(0, name.size() - 4));
    }
    if (name.find('/') != std::string::npos) {
        for (const auto& candidate : candidates) {
            if (IsExecutableFile(candidate)) {
                return candidate;
            }
        }
        return {};
    }
    std::vector<std::string> folders;
    Dl_info info;
    if (dladdr(caller, &info) != 0 && info.dli_fname != nullptr && info.dli_fname[0] == '/') {
        folders.push_back(FolderOf(info.dli_fname));
    }
    const char* path = getenv("PATH");
    std::string list = path != nullptr ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(':', start);
        if (end == std::string::npos) {
            end = list.size();
        }
        folders.push_back(end > start ? list.substr(start, end - start) : std::string("."));
        start = end + 1;
    }
    for (const auto& folder : folders) {
        for (const auto& candidate : candidates) {
            std::string full = folder + "/" + candidate;
            if (IsExecutableFile(full)) {
                return full;
            }
        }
    }
    return {};
}

std::vector<std::string> SplitParameters(const std::string& parameters) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    bool any = false;
    for (char c : parameters) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (any) {
                words.push_back(word);
            }
            word.clear();
            any = false;
        } else {
            word += c;
            any = true;
        }
    }
    if (any) {
        words.push_back(word);
    }
    return words;
}

// Starts the program and reaps it when it ends, so that no zombie stays.
bool Spawn(const std::string& program, const std::vector<std::string>& arguments,
           const std::string& directory) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!directory.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    }
    // A started program does not inherit the caller's standard input and
    // output: a host whose output goes into a pipe would otherwise keep the
    // pipe open for as long as the program runs. Errors still go where the
    // caller's go.
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    int error = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        return false;
    }
    std::thread([child] {
        int status = 0;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

HINSTANCE Result(intptr_t value) {
    return reinterpret_cast<HINSTANCE>(value);
}

}  // namespace

W32API HRESULT WINAPI SHGetFolderPathW(HWND, int csidl, HANDLE, DWORD, LPWSTR pszPath) {
    if (pszPath == nullptr) {
        return E_INVALIDARG;
    }
    pszPath[0] = 0;
    std::u16string path = w32::FromNative(FolderFor(csidl));
    while (path.size() > 1 && path.back() == kPathSeparator) {
        path.pop_back();
    }
    if (path.empty() || path.size() >= MAX_PATH) {
        return E_FAIL;
    }
    if (csidl & CSIDL_FLAG_CREATE) {
        mkdir(w32::ToNative(path).c_str(), 0700);
    }
    path.copy(pszPath, path.size());
    pszPath[path.size()] = 0;
    return S_OK;
}

W32API HINSTANCE WINAPI ShellExecuteW(HWND, LPCWSTR lpOperation, LPCWSTR lpFile,
                                      LPCWSTR lpParameters, LPCWSTR lpDirectory, INT) {
    if (lpFile == nullptr || *lpFile == 0) {
        return Result(SE_ERR_FNF);
    }
    if (lpOperation != nullptr && *lpOperation != 0 && _wcsicmp(lpOperation, u"open") != 0) {
        return Result(SE_ERR_NOASSOC);
    }
    const std::string target = w32::ToNative(lpFile);
    const std::string directory = w32::ToNative(lpDirectory);
    if (std::string address = AsAddress(target); !address.empty()) {
        const char* opener = getenv("W32_URL_OPENER");
        std::string program =
            FindProgram(opener != nullptr && *opener ? opener : "xdg-open", nullptr);
        if (program.empty() || !Spawn(program, {address}, directory)) {
            return Result(SE_ERR_NOASSOC);
        }
        return Result(42);
    }
    if (HasScheme(target)) {
        return Result(SE_ERR_NOASSOC);
    }
    std::string program = FindProgram(target, __builtin_return_address(0));
    if (program.empty()) {
        return Result(SE_ERR_FNF);
    }
    if (!Spawn(program, SplitParameters(w32::ToNative(lpParameters)), directory)) {
        return Result(SE_ERR_ACCESSDENIED);
    }
    return Result(42);
}
