// The five exports of the in-process server.
#include <windows.h>

#include "plugins/ie/browser_helper_key.h"
#include "plugins/ie/module.h"

#define VEXLO_EXPORT extern "C" __attribute__((visibility("default")))

VEXLO_EXPORT HRESULT WINAPI DllCanUnloadNow() {
    return vexlo::TheModule().DllCanUnloadNow();
}

VEXLO_EXPORT HRESULT WINAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return vexlo::TheModule().DllGetClassObject(rclsid, riid, ppv);
}

VEXLO_EXPORT HRESULT WINAPI DllRegisterServer() {
    // Without the right to write the machine's keys (a per-user
    // registration) the helper key is left out and registration goes on.
    vexlo::RegisterBrowserHelperObjectKey();
    return vexlo::TheModule().DllRegisterServer();
}

// The Browser Helper Objects key stays.
VEXLO_EXPORT HRESULT WINAPI DllUnregisterServer() {
    return vexlo::TheModule().DllUnregisterServer();
}

// "user" (in any case, the whole word) switches per-user registration on for
// the process; a failed installation is undone.
VEXLO_EXPORT HRESULT WINAPI DllInstall(BOOL bInstall, LPCWSTR pszCmdLine) {
    if (pszCmdLine != nullptr && ::_wcsicmp(pszCmdLine, u"user") == 0) {
        fw::AtlSetPerUserRegistration(true);
    }
    if (!bInstall) {
        return DllUnregisterServer();
    }
    HRESULT hr = DllRegisterServer();
    if (FAILED(hr)) {
        DllUnregisterServer();
    }
    return hr;
}
