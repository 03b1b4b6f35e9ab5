// Private profile (INI) files. Section and key names are compared without
// regard to ASCII case; values are read into the caller's buffer and cut to
// fit it; a write goes to a temporary file that then replaces the original,
// so a crash never leaves a half-written file; the first write creates the
// file. A file with a UTF-16 byte-order mark is read as UTF-16, one with a
// UTF-8 mark as UTF-8, any other in the ANSI code page; files are written in
// the ANSI code page.
#pragma once

#include "w32/types.h"

// Returns the number of characters copied, not counting the terminator. A
// value longer than the buffer is cut to nSize - 1 characters. A null key
// lists the section's keys; a null section lists the sections (each
// terminated, the list ended by a second terminator).
W32API DWORD WINAPI GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName,
                                             LPCWSTR lpDefault, LPWSTR lpReturnedString,
                                             DWORD nSize, LPCWSTR lpFileName);
W32API UINT WINAPI GetPrivateProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault,
                                         LPCWSTR lpFileName);
// A null value removes the key; a null key removes the whole section.
W32API BOOL WINAPI WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName,
                                              LPCWSTR lpString, LPCWSTR lpFileName);
