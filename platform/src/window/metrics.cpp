// The screen: system metrics, the one virtual monitor, the cursor and its
// shapes.
#include <cstdint>

#include "w32/user.h"

// One virtual monitor of 1920 x 1080, the task bar taking the bottom 40 pixels.
W32API int WINAPI GetSystemMetrics(int nIndex) {
    switch (nIndex) {
        case SM_CXSCREEN:
            return 1920;
        case SM_CYSCREEN:
            return 1080;
        case SM_CXICON:
        case SM_CYICON:
            return 32;
        case SM_CXSMICON:
        case SM_CYSMICON:
            return 16;
        default:
            return 0;
    }
}

namespace {
POINT cursor = {960, 540};
}

W32API BOOL WINAPI GetCursorPos(LPPOINT lpPoint) {
    if (lpPoint == nullptr) {
        return FALSE;
    }
    *lpPoint = cursor;
    return TRUE;
}

W32API HMONITOR WINAPI MonitorFromPoint(POINT pt, DWORD dwFlags) {
    bool inside = pt.x >= 0 && pt.y >= 0 && pt.x < 1920 && pt.y < 1080;
    if (!inside && dwFlags == MONITOR_DEFAULTTONULL) {
        return nullptr;
    }
    return reinterpret_cast<HMONITOR>(static_cast<uintptr_t>(0x10004));
}

W32API BOOL WINAPI GetMonitorInfoW(HMONITOR hMonitor, LPMONITORINFO lpmi) {
    if (hMonitor == nullptr || lpmi == nullptr) {
        return FALSE;
    }
    lpmi->rcMonitor = {0, 0, 1920, 1080};
    lpmi->rcWork = {0, 0, 1920, 1040};
    lpmi->dwFlags = 1;  // MONITORINFOF_PRIMARY
    return TRUE;
}

W32API HCURSOR WINAPI LoadCursorW(HINSTANCE, LPCWSTR lpCursorName) {
    // System cursors are shared handles; the stand-in draws nothing with them.
    if (IS_INTRESOURCE(lpCursorName)) {
        return reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(0x10008));
    }
    return nullptr;
}
