// Files and folders of the stand-in. Paths are native: the system builds them
// with its separator constant ('/' here) and they reach open(2) unchanged
// after conversion from UTF-16 to the ANSI code page.
#pragma once

#include <cstdio>

#include "w32/types.h"
#include "w32/crt.h"

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define GENERIC_EXECUTE 0x20000000u
#define GENERIC_ALL 0x10000000u

#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)
#define INVALID_SET_FILE_POINTER ((DWORD)-1)

#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

#define MOVEFILE_REPLACE_EXISTING 0x00000001

typedef struct _OVERLAPPED OVERLAPPED, *LPOVERLAPPED;

// Share modes hold across processes: an open that asks for an access that an
// earlier open does not share (or that shares less than an earlier open uses)
// fails with ERROR_SHARING_VIOLATION.
W32API HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                 LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                                 DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                                 HANDLE hTemplateFile);
W32API BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                            LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped);
W32API BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                             LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
W32API DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);
W32API DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                                   DWORD dwMoveMethod);
W32API BOOL WINAPI FlushFileBuffers(HANDLE hFile);
W32API BOOL WINAPI SetEndOfFile(HANDLE hFile);
W32API BOOL WINAPI DeleteFileW(LPCWSTR lpFileName);
W32API BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
W32API BOOL WINAPI RemoveDirectoryW(LPCWSTR lpPathName);
W32API DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName);
W32API BOOL WINAPI MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags);
W32API DWORD WINAPI GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer);

// Listing a folder. The pattern is a folder path and a last part that may hold
// the wildcards '*' and '?', matched without regard to case. As on NTFS, a
// listing of a folder with "*" also names "." and "..". With no match the
// search fails with ERROR_FILE_NOT_FOUND, with no such folder with
// ERROR_PATH_NOT_FOUND; at its end FindNextFileW fails with
// ERROR_NO_MORE_FILES. A search handle is closed with FindClose.
typedef struct _WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    WCHAR cFileName[MAX_PATH];
    WCHAR cAlternateFileName[14];
} WIN32_FIND_DATAW, *PWIN32_FIND_DATAW, *LPWIN32_FIND_DATAW;
W32API HANDLE WINAPI FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData);
W32API BOOL WINAPI FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData);
W32API BOOL WINAPI FindClose(HANDLE hFindFile);

// The C runtime's wide-path stdio entry.
W32CPP FILE* _wfopen(const char16_t* filename, const char16_t* mode);
W32CPP int _wremove(const char16_t* filename);
