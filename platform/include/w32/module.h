// Modules and their resources.
//
// Module names: the Windows system modules ("USER32.dll", "KERNEL32.dll",
// "ADVAPI32.dll", "SHELL32.dll", "OLE32.dll", "OLEAUT32.dll", "GDI32.dll",
// "COMCTL32.dll", "COMDLG32.dll") are the stand-in's runtime library itself.
// Any other "Name.dll" is the shared library "libname.so" (lower case, the
// extension dropped; "name.so" is tried too), looked for in the folder of the
// module that asks, then in the folder of the runtime library, then by the
// dynamic loader's own search. A path with a folder is taken as it stands.
//
// Exports by ordinal: a module exports ordinal N under the symbol name
// "w32_ordinal_N" (W32_EXPORT_ORDINAL), which GetProcAddress finds for
// MAKEINTRESOURCEA(N).
//
// Resources are C++ data compiled into their module and registered by a
// static initialiser (W32_RESOURCE), looked up by module handle, type and id.
#pragma once

#include "w32/types.h"

typedef struct tagRESOURCE_ENTRY* HRSRC_ENTRY;

#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x00000001
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x00000002
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x00000004

W32API HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName);
W32API HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName);
W32API BOOL WINAPI FreeLibrary(HMODULE hLibModule);
W32API FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
// Null gives the program's own module.
W32API HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName);
W32API BOOL WINAPI GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule);
W32API DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);

// Resource types.
#define RT_CURSOR MAKEINTRESOURCEW(1)
#define RT_BITMAP MAKEINTRESOURCEW(2)
#define RT_ICON MAKEINTRESOURCEW(3)
#define RT_MENU MAKEINTRESOURCEW(4)
#define RT_DIALOG MAKEINTRESOURCEW(5)
#define RT_STRING MAKEINTRESOURCEW(6)
#define RT_RCDATA MAKEINTRESOURCEW(10)
#define RT_GROUP_ICON MAKEINTRESOURCEW(14)
#define RT_VERSION MAKEINTRESOURCEW(16)
#define RT_REGISTRY_SCRIPT MAKEINTRESOURCEW(0x7F00)  // the registry scripts' own type

W32API HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType);
W32API HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo);
W32API LPVOID WINAPI LockResource(HGLOBAL hResData);
W32API DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo);

// Registers one resource of the module that holds moduleAddress.
W32API void WINAPI W32RegisterResource(const void* moduleAddress, LPCWSTR type, LPCWSTR name,
                                       const void* data, DWORD size);

// Icons and images.
#define IMAGE_BITMAP 0
#define IMAGE_ICON 1
#define IMAGE_CURSOR 2
#define LR_DEFAULTCOLOR 0x00000000
#define LR_DEFAULTSIZE 0x00000040
#define LR_SHARED 0x00008000

W32API HANDLE WINAPI LoadImageW(HINSTANCE hInst, LPCWSTR name, UINT type, int cx, int cy,
                                UINT fuLoad);
W32API HICON WINAPI LoadIconW(HINSTANCE hInstance, LPCWSTR lpIconName);
W32API BOOL WINAPI DestroyIcon(HICON hIcon);
W32API HBITMAP WINAPI LoadBitmapW(HINSTANCE hInstance, LPCWSTR lpBitmapName);

#define W32_CONCAT_INNER(a, b) a##b
#define W32_CONCAT(a, b) W32_CONCAT_INNER(a, b)

// Registers a resource of the module this line is compiled into.
#define W32_RESOURCE(type, id, data, size)                                                  \
    namespace {                                                                             \
    struct W32_CONCAT(ResourceRegistration, __LINE__) {                                     \
        W32_CONCAT(ResourceRegistration, __LINE__)() {                                      \
            W32RegisterResource(                                                            \
                reinterpret_cast<const void*>(&W32_CONCAT(ResourceAnchor, __LINE__)), type, \
                MAKEINTRESOURCEW(id), data, size);                                          \
        }                                                                                   \
        static void W32_CONCAT(ResourceAnchor, __LINE__)() {}                               \
    } W32_CONCAT(resourceRegistration, __LINE__);                                           \
    }

// Exports function under ordinal n (an extern "C" function of the module).
#define W32_EXPORT_ORDINAL(n, function)                                         \
    extern "C" __attribute__((visibility("default"))) void* w32_ordinal_##n() { \
        return reinterpret_cast<void*>(&function);                              \
    }
