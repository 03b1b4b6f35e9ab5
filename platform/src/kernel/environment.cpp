// Environment variables and the current directory.
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "internal/native_string.h"
#include "w32/crt.h"
#include "w32/kernel.h"

namespace {

// Copies text as the Win32 "buffer or needed size" functions do: the length
// without the terminator when it fits, else the size needed with it.
DWORD CopyOut(const std::u16string& text, LPWSTR buffer, DWORD size) {
    if (buffer == nullptr || size <= text.size()) {
        return static_cast<DWORD>(text.size() + 1);
    }
    text.copy(buffer, text.size());
    buffer[text.size()] = 0;
    return static_cast<DWORD>(text.size());
}

}  // namespace

W32API DWORD WINAPI GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize) {
    const char* value = getenv(w32::ToNative(lpName).c_str());
    if (value == nullptr) {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    return CopyOut(w32::FromNative(value), lpBuffer, nSize);
}

W32API DWORD WINAPI GetCurrentDirectoryW(DWORD nBufferLength, LPWSTR lpBuffer) {
    char path[PATH_MAX];
    if (getcwd(path, sizeof(path)) == nullptr) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return 0;
    }
    return CopyOut(w32::FromNative(path), lpBuffer, nBufferLength);
}
