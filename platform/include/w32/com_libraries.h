// In-process servers found through the registry: CoCreateInstance and
// CoGetClassObject look up HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32,
// load the library it names (which exports DllGetClassObject and
// DllCanUnloadNow) and keep it loaded until CoFreeUnusedLibraries finds that
// its DllCanUnloadNow answers S_OK.
#pragma once

#include "w32/com.h"

#define CO_E_DLLNOTFOUND ((HRESULT)0x800401F8)
#define CO_E_ERRORINDLL ((HRESULT)0x800401F9)

// The exports of an in-process server.
typedef HRESULT(WINAPI* LPFNGETCLASSOBJECT)(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
typedef HRESULT(WINAPI* LPFNCANUNLOADNOW)(void);

W32API void WINAPI CoFreeUnusedLibraries(void);
W32API void WINAPI CoFreeUnusedLibrariesEx(DWORD dwUnloadDelay, DWORD dwReserved);
