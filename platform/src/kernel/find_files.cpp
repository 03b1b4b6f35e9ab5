// Folder listings: FindFirstFileW, FindNextFileW and FindClose. The search
// reads the whole folder when it starts, as a snapshot; names are matched in
// UTF-16 without regard to case.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "internal/kobject.h"
#include "internal/native_string.h"
#include "w32/file.h"
#include "w32/kernel.h"

namespace w32 {
namespace {

constexpr ULONGLONG kEpochDifference = 116444736000000000ULL;  // 1601 to 1970 in 100 ns

class FindObject : public KernelObject {
public:
    std::vector<WIN32_FIND_DATAW> entries;
    size_t next = 0;
};

char16_t Folded(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

// '*' any run of characters, '?' one character.
bool Matches(const char16_t* pattern, const char16_t* name) {
    if (*pattern == 0) {
        return *name == 0;
    }
    if (*pattern == u'*') {
        for (const char16_t* rest = name;; ++rest) {
            if (Matches(pattern + 1, rest)) {
                return true;
            }
            if (*rest == 0) {
                return false;
            }
        }
    }
    if (*name == 0) {
        return false;
    }
    return (*pattern == u'?' || Folded(*pattern) == Folded(*name)) &&
           Matches(pattern + 1, name + 1);
}

FILETIME FileTimeOf(const struct timespec& time) {
    ULONGLONG ticks = static_cast<ULONGLONG>(time.tv_sec) * 10000000ULL +
                      static_cast<ULONGLONG>(time.tv_nsec / 100) + kEpochDifference;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

bool Describe(int folder, const char* native, const std::u16string& name, WIN32_FIND_DATAW* out) {
    struct statx info = {};
    if (statx(folder, native, 0, STATX_BASIC_STATS | STATX_BTIME, &info) != 0 ||
        name.size() >= MAX_PATH) {
        return false;  // gone meanwhile, or a name Windows could not hold
    }
    *out = WIN32_FIND_DATAW{};
    bool isFolder = S_ISDIR(info.stx_mode);
    out->dwFileAttributes = isFolder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if ((info.stx_mode & S_IWUSR) == 0) {
        out->dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
    }
    auto written = FileTimeOf({info.stx_mtime.tv_sec, info.stx_mtime.tv_nsec});
    out->ftLastWriteTime = written;
    out->ftLastAccessTime = FileTimeOf({info.stx_atime.tv_sec, info.stx_atime.tv_nsec});
    out->ftCreationTime = (info.stx_mask & STATX_BTIME) != 0
                              ? FileTimeOf({info.stx_btime.tv_sec, info.stx_btime.tv_nsec})
                              : written;
    ULONGLONG size = isFolder ? 0 : info.stx_size;
    out->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    out->nFileSizeLow = static_cast<DWORD>(size);
    std::copy(name.begin(), name.end(), out->cFileName);
    return true;
}

}  // namespace
}  // namespace w32

W32API HANDLE WINAPI FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
    if (lpFileName == nullptr || lpFindFileData == nullptr || *lpFileName == 0) {
        SetLastError(lpFileName != nullptr && *lpFileName == 0 ? ERROR_PATH_NOT_FOUND
                                                               : ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::u16string_view path(lpFileName);
    size_t separator = path.rfind(u'/');
    std::u16string folder(u".");
    std::u16string pattern(path);
    if (separator != std::u16string_view::npos) {
        folder.assign(separator == 0 ? path.substr(0, 1) : path.substr(0, separator));
        pattern.assign(path.substr(separator + 1));
    }
    if (pattern.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);  // "folder/" names no file
        return INVALID_HANDLE_VALUE;
    }
    DIR* listing = opendir(w32::ToNative(folder).c_str());
    if (listing == nullptr) {
        SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                                         : ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    auto search = std::make_shared<w32::FindObject>();
    std::vector<WIN32_FIND_DATAW> others;
    while (dirent* entry = readdir(listing)) {
        std::u16string name = w32::FromNative(entry->d_name);
        WIN32_FIND_DATAW found;
        if (!w32::Matches(pattern.c_str(), name.c_str()) ||
            !w32::Describe(dirfd(listing), entry->d_name, name, &found)) {
            continue;
        }
        // "." and ".." come first, as NTFS lists them.
        bool dots = name == u"." || name == u"..";
        (dots ? search->entries : others).push_back(found);
    }
    closedir(listing);
    search->entries.insert(search->entries.end(), others.begin(), others.end());
    if (search->entries.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    *lpFindFileData = search->entries[0];
    search->next = 1;
    return w32::InsertObject(search);
}

W32API BOOL WINAPI FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData) {
    auto search = w32::LookupObjectAs<w32::FindObject>(hFindFile);
    if (!search || lpFindFileData == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (search->next >= search->entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *lpFindFileData = search->entries[search->next++];
    return TRUE;
}

W32API BOOL WINAPI FindClose(HANDLE hFindFile) {
    if (!w32::LookupObjectAs<w32::FindObject>(hFindFile)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return CloseHandle(hFindFile);
}
