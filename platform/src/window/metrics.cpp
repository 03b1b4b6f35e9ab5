// The screen: system metrics, two virtual monitors, the session-wide cursor
// and its shapes.
#include <algorithm>
#include <cstdint>

#include "w32/user.h"
#include "window/session.h"

namespace {

// The primary monitor of 1920 x 1080 with the task bar taking its bottom 40
// pixels, and a second one of 1280 x 1024 to its right, top-aligned: the
// strip below the second one (x 1920..3199, y 1024..1079) lies on no monitor.
struct Monitor {
    uint32_t handle;
    RECT area;
    RECT work;
    DWORD flags;
};
constexpr Monitor kMonitors[] = {
    {0x10004, {0, 0, 1920, 1080}, {0, 0, 1920, 1040}, 1 /* MONITORINFOF_PRIMARY */},
    {0x1000C, {1920, 0, 3200, 1024}, {1920, 0, 3200, 1024}, 0},
};
constexpr RECT kVirtualScreen = {0, 0, 3200, 1080};

bool Inside(const RECT& r, POINT pt) {
    return pt.x >= r.left && pt.x < r.right && pt.y >= r.top && pt.y < r.bottom;
}

// Squared distance from the point to the rectangle.
long long Distance(const RECT& r, POINT pt) {
    long long dx = pt.x < r.left ? r.left - pt.x : pt.x >= r.right ? pt.x - (r.right - 1) : 0;
    long long dy = pt.y < r.top ? r.top - pt.y : pt.y >= r.bottom ? pt.y - (r.bottom - 1) : 0;
    return dx * dx + dy * dy;
}

HMONITOR HandleOf(const Monitor& monitor) {
    return reinterpret_cast<HMONITOR>(static_cast<uintptr_t>(monitor.handle));
}

}  // namespace

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
        case SM_XVIRTUALSCREEN:
            return kVirtualScreen.left;
        case SM_YVIRTUALSCREEN:
            return kVirtualScreen.top;
        case SM_CXVIRTUALSCREEN:
            return kVirtualScreen.right - kVirtualScreen.left;
        case SM_CYVIRTUALSCREEN:
            return kVirtualScreen.bottom - kVirtualScreen.top;
        case SM_CMONITORS:
            return 2;
        default:
            return 0;
    }
}

W32API BOOL WINAPI GetCursorPos(LPPOINT lpPoint) {
    if (lpPoint == nullptr) {
        return FALSE;
    }
    int32_t x = 0;
    int32_t y = 0;
    w32::session::ReadCursor(&x, &y);
    *lpPoint = {x, y};
    return TRUE;
}

// The cursor stays inside the virtual screen, as on Windows; a point there
// that lies on no monitor is kept.
W32API BOOL WINAPI SetCursorPos(int X, int Y) {
    int x = std::clamp(X, static_cast<int>(kVirtualScreen.left),
                       static_cast<int>(kVirtualScreen.right) - 1);
    int y = std::clamp(Y, static_cast<int>(kVirtualScreen.top),
                       static_cast<int>(kVirtualScreen.bottom) - 1);
    w32::session::WriteCursor(x, y);
    return TRUE;
}

W32API HMONITOR WINAPI MonitorFromPoint(POINT pt, DWORD dwFlags) {
    for (const auto& monitor : kMonitors) {
        if (Inside(monitor.area, pt)) {
            return HandleOf(monitor);
        }
    }
    if (dwFlags == MONITOR_DEFAULTTOPRIMARY) {
        return HandleOf(kMonitors[0]);
    }
    if (dwFlags == MONITOR_DEFAULTTONEAREST) {
        const Monitor* nearest = &kMonitors[0];
        for (const auto& monitor : kMonitors) {
            if (Distance(monitor.area, pt) < Distance(nearest->area, pt)) {
                nearest = &monitor;
            }
        }
        return HandleOf(*nearest);
    }
    return nullptr;
}

W32API BOOL WINAPI GetMonitorInfoW(HMONITOR hMonitor, LPMONITORINFO lpmi) {
    if (lpmi == nullptr || lpmi->cbSize < sizeof(MONITORINFO)) {
        return FALSE;
    }
    for (const auto& monitor : kMonitors) {
        if (HandleOf(monitor) == hMonitor) {
            lpmi->rcMonitor = monitor.area;
            lpmi->rcWork = monitor.work;
            lpmi->dwFlags = monitor.flags;
            return TRUE;
        }
    }
    return FALSE;
}

W32API HCURSOR WINAPI LoadCursorW(HINSTANCE, LPCWSTR lpCursorName) {
    // System cursors are shared handles; the stand-in draws nothing with them.
    if (IS_INTRESOURCE(lpCursorName)) {
        return reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(0x10008));
    }
    return nullptr;
}
