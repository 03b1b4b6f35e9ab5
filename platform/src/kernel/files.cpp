// Files and folders. Share modes are kept across processes with open-file-
// description locks on byte ranges far beyond any data: an open holds a
// shared lock on the range of each access it has and of each access it does
// not share, and tests the opposite ranges first.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "internal/kobject.h"
#include "internal/native_string.h"
#include "w32/file.h"

namespace w32 {
namespace {

// Lock ranges: one byte each, at the top of the offset space.
constexpr off_t kLockBase = 0x7FFFFFFF00000000LL;
constexpr off_t kHasRead = kLockBase + 0;
constexpr off_t kHasWrite = kLockBase + 1;
constexpr off_t kDeniesRead = kLockBase + 2;
constexpr off_t kDeniesWrite = kLockBase + 3;

bool LockRange(int fd, off_t offset, short type) {
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = offset;
    lock.l_len = 1;
    return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// True when nobody else holds a lock on the range.
bool RangeIsFree(int fd, off_t offset) {
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = offset;
    lock.l_len = 1;
    if (fcntl(fd, F_OFD_GETLK, &lock) != 0) {
        return true;
    }
    return lock.l_type == F_UNLCK;
}

class FileObject : public KernelObject {
public:
    FileObject(int descriptor, int lockDescriptor) : fd(descriptor), lockFd(lockDescriptor) {}
    ~FileObject() override {
        close(fd);
        if (lockFd >= 0) {
            close(lockFd);
        }
    }
    const int fd;
    // A read-only descriptor of the same file that carries the share-mode
    // locks: shared locks need read access, which a write-only open lacks.
    const int lockFd;
};

DWORD ErrorFromErrno(int error) {
    switch (error) {
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
            return ERROR_ACCESS_DENIED;
        case EEXIST:
            return ERROR_FILE_EXISTS;
        case ENOSPC:
            return ERROR_DISK_FULL;
        case EMFILE:
        case ENFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        case ENAMETOOLONG:
            return ERROR_INVALID_NAME;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        default:
            return ERROR_GEN_FAILURE;
    }
}

int FileDescriptor(HANDLE handle) {
    auto file = LookupObjectAs<FileObject>(handle);
    return file ? file->fd : -1;
}

// Applies the share-mode rules to a freshly opened descriptor.
bool ClaimShareMode(int fd, bool wantRead, bool wantWrite, DWORD shareMode) {
    const bool sharesRead = (shareMode & FILE_SHARE_READ) != 0;
    const bool sharesWrite = (shareMode & FILE_SHARE_WRITE) != 0;
    if ((wantRead && !RangeIsFree(fd, kDeniesRead)) ||
        (wantWrite && !RangeIsFree(fd, kDeniesWrite)) ||
        (!sharesRead && !RangeIsFree(fd, kHasRead)) ||
        (!sharesWrite && !RangeIsFree(fd, kHasWrite))) {
        return false;
    }
    bool claimed = true;
    if (wantRead) {
        claimed = claimed && LockRange(fd, kHasRead, F_RDLCK);
    }
    if (wantWrite) {
        claimed = claimed && LockRange(fd, kHasWrite, F_RDLCK);
    }
    if (!sharesRead) {
        claimed = claimed && LockRange(fd, kDeniesRead, F_RDLCK);
    }
    if (!sharesWrite) {
        claimed = claimed && LockRange(fd, kDeniesWrite, F_RDLCK);
    }
    return claimed;
}

}  // namespace
}  // namespace w32

W32API HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                 LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition, DWORD,
                                 HANDLE) {
    if (lpFileName == nullptr || *lpFileName == 0) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const bool wantRead = (dwDesiredAccess & (GENERIC_READ | GENERIC_ALL)) != 0;
    const bool wantWrite = (dwDesiredAccess & (GENERIC_WRITE | GENERIC_ALL)) != 0;
    int flags = O_CLOEXEC;
    flags |= wantRead && wantWrite ? O_RDWR : (wantWrite ? O_WRONLY : O_RDONLY);
    bool truncate = false;
    bool existed = access(w32::ToNative(lpFileName).c_str(), F_OK) == 0;
    switch (dwCreationDisposition) {
        case CREATE_NEW:
            flags |= O_CREAT | O_EXCL;
            break;
        case CREATE_ALWAYS:
            flags |= O_CREAT;
            truncate = true;
            break;
        case OPEN_EXISTING:
            break;
        case OPEN_ALWAYS:
            flags |= O_CREAT;
            break;
        case TRUNCATE_EXISTING:
            truncate = true;
            break;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
    }
    if (truncate && !wantWrite) {
        // Truncation needs write access; the descriptor gets it without
        // claiming it in the share mode.
        flags = (flags & ~O_ACCMODE) | O_RDWR;
    }
    const std::string path = w32::ToNative(lpFileName);
    int fd = open(path.c_str(), flags, 0644);
    if (fd < 0) {
        SetLastError(w32::ErrorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    struct stat info;
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    // The share mode is checked before the file is emptied, so that a denied
    // open leaves the other opener's data alone.
    int lockFd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (lockFd >= 0 && !w32::ClaimShareMode(lockFd, wantRead, wantWrite, dwShareMode)) {
        close(lockFd);
        close(fd);
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    if (truncate && ftruncate(fd, 0) != 0) {
        int error = errno;
        if (lockFd >= 0) {
            close(lockFd);
        }
        close(fd);
        SetLastError(w32::ErrorFromErrno(error));
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = w32::InsertObject(std::make_shared<w32::FileObject>(fd, lockFd));
    // As on Windows: CREATE_ALWAYS and OPEN_ALWAYS tell whether the file was there.
    SetLastError((existed &&
                  (dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS))
                     ? ERROR_ALREADY_EXISTS
                     : ERROR_SUCCESS);
    return handle;
}

W32API BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                            LPDWORD lpNumberOfBytesRead, LPOVERLAPPED) {
    if (lpNumberOfBytesRead != nullptr) {
        *lpNumberOfBytesRead = 0;
    }
    int fd = w32::FileDescriptor(hFile);
    if (fd < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    ssize_t got;
    do {
        got = read(fd, lpBuffer, nNumberOfBytesToRead);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        SetLastError(errno == EBADF ? ERROR_ACCESS_DENIED : ERROR_READ_FAULT);
        return FALSE;
    }
    if (lpNumberOfBytesRead != nullptr) {
        *lpNumberOfBytesRead = static_cast<DWORD>(got);
    }
    return TRUE;
}

W32API BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                             LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED) {
    if (lpNumberOfBytesWritten != nullptr) {
        *lpNumberOfBytesWritten = 0;
    }
    int fd = w32::FileDescriptor(hFile);
    if (fd < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const char* data = static_cast<const char*>(lpBuffer);
    DWORD done = 0;
    while (done < nNumberOfBytesToWrite) {
        ssize_t put = write(fd, data + done, nNumberOfBytesToWrite - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            SetLastError(errno == ENOSPC
                             ? ERROR_DISK_FULL
                             : (errno == EBADF ? ERROR_ACCESS_DENIED : ERROR_WRITE_FAULT));
            if (lpNumberOfBytesWritten != nullptr) {
                *lpNumberOfBytesWritten = done;
            }
            return FALSE;
        }
        done += static_cast<DWORD>(put);
    }
    if (lpNumberOfBytesWritten != nullptr) {
        *lpNumberOfBytesWritten = done;
    }
    return TRUE;
}

W32API DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    int fd = w32::FileDescriptor(hFile);
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    uint64_t size = static_cast<uint64_t>(info.st_size);
    if (lpFileSizeHigh != nullptr) {
        *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    }
    SetLastError(NO_ERROR);
    return static_cast<DWORD>(size);
}

W32API DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                                   DWORD dwMoveMethod) {
    int fd = w32::FileDescriptor(hFile);
    if (fd < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    int64_t distance = lDistanceToMove;
    if (lpDistanceToMoveHigh != nullptr) {
        distance = static_cast<int64_t>((static_cast<uint64_t>(*lpDistanceToMoveHigh) << 32) |
                                        static_cast<DWORD>(lDistanceToMove));
    }
    int whence =
        dwMoveMethod == FILE_END ? SEEK_END : (dwMoveMethod == FILE_CURRENT ? SEEK_CUR : SEEK_SET);
    off_t position = lseek(fd, distance, whence);
    if (position < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (lpDistanceToMoveHigh != nullptr) {
        *lpDistanceToMoveHigh = static_cast<LONG>(static_cast<uint64_t>(position) >> 32);
    }
    SetLastError(NO_ERROR);
    return static_cast<DWORD>(position);
}

W32API BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
    int fd = w32::FileDescriptor(hFile);
    if (fd < 0 || fsync(fd) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

W32API BOOL WINAPI SetEndOfFile(HANDLE hFile) {
    int fd = w32::FileDescriptor(hFile);
    off_t position = fd < 0 ? -1 : lseek(fd, 0, SEEK_CUR);
    if (position < 0 || ftruncate(fd, position) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

W32API BOOL WINAPI DeleteFileW(LPCWSTR lpFileName) {
    const std::string path = w32::ToNative(lpFileName);
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (unlink(path.c_str()) != 0) {
        SetLastError(w32::ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

W32API BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES) {
    const std::string path = w32::ToNative(lpPathName);
    if (path.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (mkdir(path.c_str(), 0700) != 0) {
        SetLastError(errno == EEXIST
                         ? ERROR_ALREADY_EXISTS
                         : (errno == ENOENT ? ERROR_PATH_NOT_FOUND : w32::ErrorFromErrno(errno)));
        return FALSE;
    }
    return TRUE;
}

W32API BOOL WINAPI RemoveDirectoryW(LPCWSTR lpPathName) {
    if (rmdir(w32::ToNative(lpPathName).c_str()) != 0) {
        SetLastError(errno == ENOTEMPTY ? ERROR_DIR_NOT_EMPTY : w32::ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

W32API DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName) {
    struct stat info;
    if (stat(w32::ToNative(lpFileName).c_str(), &info) != 0) {
        SetLastError(w32::ErrorFromErrno(errno));
        return INVALID_FILE_ATTRIBUTES;
    }
    DWORD attributes = S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if ((info.st_mode & S_IWUSR) == 0) {
        attributes |= FILE_ATTRIBUTE_READONLY;
    }
    return attributes;
}

W32API BOOL WINAPI MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags) {
    const std::string from = w32::ToNative(lpExistingFileName);
    const std::string to = w32::ToNative(lpNewFileName);
    if ((dwFlags & MOVEFILE_REPLACE_EXISTING) == 0 && access(to.c_str(), F_OK) == 0) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    if (rename(from.c_str(), to.c_str()) != 0) {
        SetLastError(w32::ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

W32API DWORD WINAPI GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer) {
    const char* dir = getenv("TMPDIR");
    std::u16string path = w32::FromNative(dir != nullptr && *dir == '/' ? dir : "/tmp");
    if (path.back() != kPathSeparator) {
        path += kPathSeparator;
    }
    if (lpBuffer == nullptr || nBufferLength <= path.size()) {
        return static_cast<DWORD>(path.size() + 1);
    }
    path.copy(lpBuffer, path.size());
    lpBuffer[path.size()] = 0;
    return static_cast<DWORD>(path.size());
}

W32CPP FILE* _wfopen(const char16_t* filename, const char16_t* mode) {
    if (filename == nullptr || mode == nullptr) {
        errno = EINVAL;
        return nullptr;
    }
    // The Microsoft modes carry 't' and ccs= flags that fopen does not know.
    std::string narrowMode;
    for (const char16_t* p = mode; *p != 0 && *p != u','; ++p) {
        if (*p == u'r' || *p == u'w' || *p == u'a' || *p == u'+' || *p == u'b' || *p == u'x') {
            narrowMode += static_cast<char>(*p);
        }
    }
    narrowMode += 'e';  // close on exec
    return fopen(w32::ToNative(filename).c_str(), narrowMode.c_str());
}

W32CPP int _wremove(const char16_t* filename) {
    return remove(w32::ToNative(filename).c_str());
}
