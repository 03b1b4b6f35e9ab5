// The registry of the stand-in.
//
// Two hives live in the session directory (registry/machine.hive for
// HKEY_LOCAL_MACHINE, registry/user.hive for HKEY_CURRENT_USER), so every
// process of one desktop sees the same keys. Each write replaces the hive's
// file atomically under a file lock: a reader never sees half a hive.
//
// HKEY_CLASSES_ROOT is the merged view of HKCU\Software\Classes over
// HKLM\Software\Classes: a key exists when either side has it; its values
// come from the per-user key when there is one, else from the per-machine
// key; its subkeys are the union of both. A new key created through it goes
// to the machine's classes; a value written through it goes to the per-user
// key when that key exists, else to the machine's.
//
// Names of keys and values compare without regard to case and keep the case
// they were created with.
#pragma once

#include "w32/types.h"

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))

typedef DWORD REGSAM;
typedef LONG LSTATUS;

// Access rights of a key handle.
#ifndef DELETE
#define DELETE 0x00010000L
#endif
#ifndef READ_CONTROL
#define READ_CONTROL 0x00020000L
#endif
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_EXECUTE KEY_READ
#define KEY_ALL_ACCESS 0xF003F

// Value types.
#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7
#define REG_QWORD 11

#define REG_OPTION_NON_VOLATILE 0x00000000L
#define REG_OPTION_VOLATILE 0x00000001L
#define REG_CREATED_NEW_KEY 0x00000001L
#define REG_OPENED_EXISTING_KEY 0x00000002L

// Errors the registry answers beside the common ones.
#define ERROR_BAD_PATHNAME 161L
#define ERROR_BADDB 1009L
#define ERROR_BADKEY 1010L
#define ERROR_CANTOPEN 1011L
#define ERROR_CANTREAD 1012L
#define ERROR_CANTWRITE 1013L
#define ERROR_KEY_DELETED 1018L

// A missing key or value answers ERROR_FILE_NOT_FOUND; a deleted key that a
// handle still names answers ERROR_KEY_DELETED; a right the handle lacks, a
// key with subkeys given to RegDeleteKeyW, and any write to the machine's
// hive while it is read-only answer ERROR_ACCESS_DENIED.
W32API LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                                      DWORD dwOptions, REGSAM samDesired,
                                      LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                                      LPDWORD lpdwDisposition);
W32API LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                                    PHKEY phkResult);
W32API LSTATUS WINAPI RegCloseKey(HKEY hKey);
// A null or empty name is the key's default value. A buffer too small for
// the data answers ERROR_MORE_DATA with the size needed in *lpcbData.
W32API LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                                     const BYTE* lpData, DWORD cbData);
W32API LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved,
                                       LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
W32API LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);
// Subkeys come in the order of their names without regard to case;
// ERROR_NO_MORE_ITEMS past the last one.
W32API LSTATUS WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                                    LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcchClass,
                                    PFILETIME lpftLastWriteTime);
W32API LSTATUS WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName,
                                    LPDWORD lpcchValueName, LPDWORD lpReserved, LPDWORD lpType,
                                    LPBYTE lpData, LPDWORD lpcbData);
W32API LSTATUS WINAPI RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass,
                                       LPDWORD lpReserved, LPDWORD lpcSubKeys,
                                       LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                                       LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen,
                                       LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                                       PFILETIME lpftLastWriteTime);
// Deletes a key without subkeys (ERROR_ACCESS_DENIED for one with subkeys).
W32API LSTATUS WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);
// Deletes a key with everything under it; a null lpSubKey deletes what is
// under hKey and keeps the key.
W32API LSTATUS WINAPI RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey);

// Test hook of the stand-in: the machine's hive read-only for this process,
// as for a user without administrator rights. A process also starts with it
// read-only when W32_REGISTRY_MACHINE_READONLY is 1 in its environment.
W32API void WINAPI W32SetMachineRegistryReadOnly(BOOL readOnly);
