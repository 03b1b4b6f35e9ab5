// Modules of the stand-in: programs and shared libraries.
//
// Windows module names map to the stand-in's shared libraries:
// - the system libraries USER32.dll, KERNEL32.dll, GDI32.dll, ADVAPI32.dll,
//   SHELL32.dll, OLE32.dll, OLEAUT32.dll, COMCTL32.dll, COMDLG32.dll,
//   WINSPOOL.DRV, SHLWAPI.dll, VERSION.dll (any case, with or without
//   ".dll") are the runtime library itself (libw32rt.so): GetProcAddress on
//   them finds the runtime's exported functions;
// - any other name "Name.dll" (or "Name.drv", "Name.ocx", or no extension) is
//   the shared library "libname.so", the base name lower-cased: "TWAIN_32.DLL"
//   is libtwain_32.so, "CrashRpt1400.dll" is libcrashrpt1400.so. A name that
//   already ends in ".so" is used as it is;
// - a bare name is searched in the folder of the calling module, then in the
//   folder of libw32rt.so, then on the normal dlopen path; a name with a
//   folder (containing '/') is opened at that path, its file name mapped the
//   same way when no such file exists.
// Module handles are values of the session's handle space, one per loaded
// module; the handle of a program or library stays the same while it is
// loaded. Each module carries its resource table (w32/resource.h).
#pragma once

#include "w32/types.h"

#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x00000001
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x00000002
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x00000004

#define LOAD_LIBRARY_AS_DATAFILE 0x00000002
#define LOAD_WITH_ALTERED_SEARCH_PATH 0x00000008

W32API HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName);
W32API HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName);
W32API HMODULE WINAPI LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE hFile, DWORD dwFlags);
W32API BOOL WINAPI FreeLibrary(HMODULE hLibModule);
// A name, or an ordinal as MAKEINTRESOURCEA(n): ordinal n is the exported
// symbol "w32_ordinal_<n>" of the library (a library that is imported by
// ordinal exports those names).
W32API FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
// The full path of the module (null: the program); the length copied without
// the terminator. A buffer too small gets the path cut to nSize - 1 characters,
// its terminator, nSize as result and ERROR_INSUFFICIENT_BUFFER.
W32API DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);
// Null: the program. A name is matched, mapped as above, against the file
// names of the loaded modules; no module is loaded.
W32API HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName);
W32API HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName);
// GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS: the module holding the address
// (lpModuleName is then an address in it).
W32API BOOL WINAPI GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule);
