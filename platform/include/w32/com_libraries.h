// In-process servers found through the registry: CoCreateInstance and
// CoGetClassObject look up HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32,
// load the library it names (which exports DllGetClassObject and
// DllCanUnloadNow) and keep it loaded until CoFreeUnusedLibraries finds that
// its DllCanUnloadNow answers S_OK.
#pragma once

#include "w32/com.h"

#define CO_E_DLLNOTFOUND ((HRESULT)0x800401F8)
#define CO_E_ERRORINDLL ((HRESULT)0x800401F9)

// An exported function of a library. Windows names a library's exports in
// its module-definition file; here they are the symbols of default
// visibility (the runtime hides everything else).
#define STDAPI extern "C" __attribute__((visibility("default"))) HRESULT STDAPICALLTYPE

// The exports of an in-process server.
typedef HRESULT(WINAPI* LPFNGETCLASSOBJECT)(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
typedef HRESULT(WINAPI* LPFNCANUNLOADNOW)(void);

W32API void WINAPI CoFreeUnusedLibraries(void);
W32API void WINAPI CoFreeUnusedLibrariesEx(DWORD dwUnloadDelay, DWORD dwReserved);
