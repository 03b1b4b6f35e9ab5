// Private profile (INI) files.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "internal/native_string.h"
#include "internal/text.h"
#include "internal/unique_fd.h"
#include "w32/codepage.h"
#include "w32/crt.h"
#include "w32/profile.h"

namespace {

using Lines = std::vector<std::u16string>;

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

std::u16string Trim(const std::u16string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

bool SameName(const std::u16string& a, const char16_t* b) {
    return _wcsicmp(a.c_str(), b) == 0;
}

std::u16string Decode(const std::string& bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::u16string text;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8));
        }
        return text;
    }
    UINT codePage = CP_ACP;
    size_t skip = 0;
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        codePage = CP_UTF8;
        skip = 3;
    }
    if (bytes.size() == skip) {
        return {};
    }
    const char* data = bytes.data() + skip;
    return w32::ToWide(codePage, std::string_view(data, bytes.size() - skip));
}

// The file's lines; no file gives no lines.
Lines ReadLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return {};
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::u16string text = Decode(bytes);
    Lines lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(u'\n', start);
        if (end == std::u16string::npos) {
            end = text.size();
        }
        std::u16string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == u'\r') {
            line.pop_back();
        }
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

// "[name]" gives name.
std::optional<std::u16string> SectionName(const std::u16string& line) {
    std::u16string trimmed = Trim(line);
    if (trimmed.size() < 2 || trimmed.front() != u'[') {
        return std::nullopt;
    }
    size_t close = trimmed.find(u']');
    if (close == std::u16string::npos) {
        return std::nullopt;
    }
    return Trim(trimmed.substr(1, close - 1));
}

struct Entry {
    std::u16string key;
    std::u16string value;
};

std::optional<Entry> KeyValue(const std::u16string& line) {
    size_t equals = line.find(u'=');
    if (equals == std::u16string::npos) {
        return std::nullopt;
    }
    Entry entry{Trim(line.substr(0, equals)), Trim(line.substr(equals + 1))};
    // A value in matching quotes is read without them.
    const std::u16string& v = entry.value;
    if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front()) {
        entry.value = v.substr(1, v.size() - 2);
    }
    return entry;
}

// Index of the section's header line, or lines.size().
size_t FindSection(const Lines& lines, const char16_t* section) {
    for (size_t i = 0; i < lines.size(); ++i) {
        auto name = SectionName(lines[i]);
        if (name && SameName(*name, section)) {
            return i;
        }
    }
    return lines.size();
}

// One past the section's last line.
size_t SectionEnd(const Lines& lines, size_t header) {
    size_t i = header + 1;
    while (i < lines.size() && !SectionName(lines[i])) {
        ++i;
    }
    return i;
}

// Copies text into the caller's buffer, cut to size - 1 characters.
DWORD CopyOut(const std::u16string& text, LPWSTR buffer, DWORD size) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    size_t count = text.size() < size ? text.size() : size - 1;
    text.copy(buffer, count);
    buffer[count] = 0;
    return static_cast<DWORD>(count);
}

// A list of names, each terminated, ended by one more terminator; a list that
// does not fit is cut at size - 2 and doubly terminated, as Windows does.
DWORD CopyList(const std::vector<std::u16string>& names, LPWSTR buffer, DWORD size) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    std::u16string list;
    for (const auto& name : names) {
        list += name;
        list += u'\0';
    }
    if (size < 2) {
        buffer[0] = 0;
        return 0;
    }
    if (list.size() + 1 <= size) {
        list.copy(buffer, list.size());
        buffer[list.size()] = 0;
        return static_cast<DWORD>(list.empty() ? 0 : list.size());
    }
    list.copy(buffer, size - 2);
    buffer[size - 2] = 0;
    buffer[size - 1] = 0;
    return size - 2;
}

std::string Encode(const std::u16string& text) {
    if (text.empty()) {
        return {};
    }
    return w32::FromWide(CP_ACP, text);
}

// Writes the lines to a temporary file beside the target and renames it into
// place, so that readers see either the old or the new file, never half.
bool ReplaceFile(const std::string& path, const Lines& lines) {
    std::u16string text;
    for (const auto& line : lines) {
        text += line;
        text += u"\r\n";
    }
    std::string bytes = Encode(text);
    std::string temporary = path + ".tmp-" + std::to_string(getpid());
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            close(fd);
            unlink(temporary.c_str());
            return false;
        }
        done += static_cast<size_t>(put);
    }
    if (fsync(fd) != 0 || close(fd) != 0 || rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

// Serialises the read-modify-write of profile files in one folder, across
// processes: an exclusive lock on the folder itself.
// The folder of the file, locked: writers of one folder's profiles take turns.
w32::unique_fd LockFolderOf(const std::string& path) {
    size_t slash = path.rfind(kPathSeparatorA);
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash ? slash : 1);
    w32::unique_fd fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    w32::LockExclusive(fd);
    return fd;
}

}  // namespace

W32API DWORD WINAPI GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName,
                                             LPCWSTR lpDefault, LPWSTR lpReturnedString,
                                             DWORD nSize, LPCWSTR lpFileName) {
    if (lpFileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const Lines lines = ReadLines(w32::ToNative(lpFileName));
    if (lpAppName == nullptr) {
        std::vector<std::u16string> sections;
        for (const auto& line : lines) {
            if (auto name = SectionName(line)) {
                sections.push_back(*name);
            }
        }
        return CopyList(sections, lpReturnedString, nSize);
    }
    size_t header = FindSection(lines, lpAppName);
    if (lpKeyName == nullptr) {
        std::vector<std::u16string> keys;
        if (header < lines.size()) {
            for (size_t i = header + 1; i < SectionEnd(lines, header); ++i) {
                if (auto entry = KeyValue(lines[i])) {
                    keys.push_back(entry->key);
                }
            }
        }
        return CopyList(keys, lpReturnedString, nSize);
    }
    if (header < lines.size()) {
        for (size_t i = header + 1; i < SectionEnd(lines, header); ++i) {
            auto entry = KeyValue(lines[i]);
            if (entry && SameName(entry->key, lpKeyName)) {
                return CopyOut(entry->value, lpReturnedString, nSize);
            }
        }
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    // The default text loses its trailing blanks, as on Windows.
    std::u16string fallback = lpDefault != nullptr ? lpDefault : u"";
    while (!fallback.empty() && IsBlank(fallback.back())) {
        fallback.pop_back();
    }
    return CopyOut(fallback, lpReturnedString, nSize);
}

W32API UINT WINAPI GetPrivateProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault,
                                         LPCWSTR lpFileName) {
    WCHAR value[64] = {};
    DWORD length =
        GetPrivateProfileStringW(lpAppName, lpKeyName, u"", value, _countof(value), lpFileName);
    if (length == 0) {
        return static_cast<UINT>(nDefault);
    }
    return static_cast<UINT>(_wtoi(value));
}

W32API BOOL WINAPI WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName,
                                              LPCWSTR lpString, LPCWSTR lpFileName) {
    if (lpAppName == nullptr || lpFileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string path = w32::ToNative(lpFileName);
    w32::unique_fd folderLock = LockFolderOf(path);
    Lines lines = ReadLines(path);
    size_t header = FindSection(lines, lpAppName);

    if (lpKeyName == nullptr) {
        if (header < lines.size()) {
            lines.erase(lines.begin() + static_cast<ptrdiff_t>(header),
                        lines.begin() + static_cast<ptrdiff_t>(SectionEnd(lines, header)));
        } else {
            return TRUE;  // nothing to remove
        }
    } else {
        std::u16string newLine =
            lpString != nullptr ? std::u16string(lpKeyName) + u"=" + lpString : std::u16string();
        if (header == lines.size()) {
            if (lpString == nullptr) {
                return TRUE;  // removing a key of a missing section changes nothing
            }
            lines.push_back(u"[" + std::u16string(lpAppName) + u"]");
            lines.push_back(newLine);
        } else {
            size_t end = SectionEnd(lines, header);
            size_t found = end;
            for (size_t i = header + 1; i < end; ++i) {
                auto entry = KeyValue(lines[i]);
                if (entry && SameName(entry->key, lpKeyName)) {
                    found = i;
                    break;
                }
            }
            if (found < end) {
                if (lpString == nullptr) {
                    lines.erase(lines.begin() + static_cast<ptrdiff_t>(found));
                } else {
                    lines[found] = newLine;
                }
            } else if (lpString != nullptr) {
                // After the section's last non-empty line.
                size_t at = end;
                while (at > header + 1 && Trim(lines[at - 1]).empty()) {
                    --at;
                }
                lines.insert(lines.begin() + static_cast<ptrdiff_t>(at), newLine);
            } else {
                return TRUE;
            }
        }
    }
    if (!ReplaceFile(path, lines)) {
        SetLastError(errno == ENOSPC ? ERROR_DISK_FULL : ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}
