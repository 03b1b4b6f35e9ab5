// Drawing state of a DC (background mode, text colour, map mode with its
// extents and origins), its capabilities, and StretchBlt with real scaling.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "gdi/objects.h"
#include "internal/handles.h"
#include "w32/kernel.h"

using namespace w32::gdi;

namespace {

// Runs f on the DC under the table's lock; fallback when it is no DC.
template <typename R, typename F>
R WithDc(HDC hdc, R fallback, F f) {
    Table& table = Objects();
    std::lock_guard<std::mutex> guard(table.lock);
    Dc* dc = table.FindDc(hdc);
    if (dc == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return fallback;
    }
    return f(*dc);
}

// The scale of one axis from logical to device units. In MM_ISOTROPIC both
// axes take the smaller of the two scales, each keeping its own sign.
void Scales(const Dc& dc, double* sx, double* sy) {
    if (dc.mapMode == MM_TEXT) {
        *sx = *sy = 1.0;
        return;
    }
    *sx = static_cast<double>(dc.viewportExt.cx) / dc.windowExt.cx;
    *sy = static_cast<double>(dc.viewportExt.cy) / dc.windowExt.cy;
    if (dc.mapMode == MM_ISOTROPIC) {
        double s = std::min(std::fabs(*sx), std::fabs(*sy));
        *sx = std::copysign(s, *sx);
        *sy = std::copysign(s, *sy);
    }
}

RECT ToDevice(const Dc& dc, int x, int y, int w, int h) {
    double sx = 0;
    double sy = 0;
    Scales(dc, &sx, &sy);
    auto mapX = [&](int v) {
        return static_cast<LONG>(std::lround((v - dc.windowOrg.x) * sx + dc.viewportOrg.x));
    };
    auto mapY = [&](int v) {
        return static_cast<LONG>(std::lround((v - dc.windowOrg.y) * sy + dc.viewportOrg.y));
    };
    return RECT{mapX(x), mapY(y), mapX(x + w), mapY(y + h)};
}

}  // namespace

W32API int WINAPI SetBkMode(HDC hdc, int mode) {
    if (mode != TRANSPARENT && mode != OPAQUE) {
        return 0;
    }
    return WithDc(hdc, 0, [&](Dc& dc) { return std::exchange(dc.bkMode, mode); });
}

W32API int WINAPI GetBkMode(HDC hdc) {
    return WithDc(hdc, 0, [&](Dc& dc) { return dc.bkMode; });
}

W32API COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color) {
    return WithDc(hdc, static_cast<COLORREF>(CLR_INVALID),
                  [&](Dc& dc) { return std::exchange(dc.textColor, color); });
}

W32API COLORREF WINAPI GetTextColor(HDC hdc) {
    return WithDc(hdc, static_cast<COLORREF>(CLR_INVALID), [&](Dc& dc) { return dc.textColor; });
}

W32API int WINAPI SetMapMode(HDC hdc, int iMode) {
    if (iMode != MM_TEXT && iMode != MM_ISOTROPIC && iMode != MM_ANISOTROPIC) {
        return 0;  // the metric modes are not drawn with here
    }
    return WithDc(hdc, 0, [&](Dc& dc) {
        int previous = dc.mapMode;
        dc.mapMode = iMode;
        if (iMode == MM_TEXT) {
            dc.windowExt = dc.viewportExt = {1, 1};
        }
        return previous;
    });
}

W32API int WINAPI GetMapMode(HDC hdc) {
    return WithDc(hdc, 0, [&](Dc& dc) { return dc.mapMode; });
}

namespace {

// Extents are ignored in MM_TEXT (the call still succeeds) and a zero extent
// is refused, as Windows does.
BOOL SetExtent(HDC hdc, int x, int y, LPSIZE lpsz, SIZE Dc::*extent) {
    return WithDc(hdc, FALSE, [&](Dc& dc) -> BOOL {
        if (lpsz != nullptr) {
            *lpsz = dc.*extent;
        }
        if (dc.mapMode == MM_TEXT) {
            return TRUE;
        }
        if (x == 0 || y == 0) {
            return FALSE;
        }
        dc.*extent = {x, y};
        return TRUE;
    });
}

}  // namespace

W32API BOOL WINAPI SetWindowExtEx(HDC hdc, int x, int y, LPSIZE lpsz) {
    return SetExtent(hdc, x, y, lpsz, &Dc::windowExt);
}

W32API BOOL WINAPI SetViewportExtEx(HDC hdc, int x, int y, LPSIZE lpsz) {
    return SetExtent(hdc, x, y, lpsz, &Dc::viewportExt);
}

W32API BOOL WINAPI SetWindowOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
    return WithDc(hdc, FALSE, [&](Dc& dc) -> BOOL {
        if (lppt != nullptr) {
            *lppt = dc.windowOrg;
        }
        dc.windowOrg = {x, y};
        return TRUE;
    });
}

W32API BOOL WINAPI SetViewportOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
    return WithDc(hdc, FALSE, [&](Dc& dc) -> BOOL {
        if (lppt != nullptr) {
            *lppt = dc.viewportOrg;
        }
        dc.viewportOrg = {x, y};
        return TRUE;
    });
}

W32API int WINAPI GetDeviceCaps(HDC hdc, int index) {
    std::shared_ptr<DeviceSurface> surface;
    bool found = WithDc(hdc, false, [&](Dc& dc) {
        surface = dc.surface;
        return true;
    });
    if (!found) {
        return 0;
    }
    if (surface) {
        return surface->Caps(index);
    }
    // A memory DC answers for the screen; the physical figures belong to
    // printers only.
    switch (index) {
        case HORZRES:
            return 1920;
        case VERTRES:
            return 1080;
        case BITSPIXEL:
            return 32;
        case PLANES:
            return 1;
        case LOGPIXELSX:
        case LOGPIXELSY:
            return 96;
        case HORZSIZE:
            return 508;
        case VERTSIZE:
            return 286;
        default:
            return 0;
    }
}

W32API BOOL WINAPI StretchBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc,
                              int xSrc, int ySrc, int wSrc, int hSrc, DWORD rop) {
    if (rop != SRCCOPY) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Table& table = Objects();
    std::unique_lock<std::mutex> guard(table.lock);
    Dc* dest = table.FindDc(hdcDest);
    Dc* src = table.FindDc(hdcSrc);
    if (dest == nullptr || src == nullptr || src->surface) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::shared_ptr<Bitmap> source = table.BitmapOf(src->bitmap);
    if (!source) {
        return FALSE;
    }
    RECT device = ToDevice(*dest, xDest, yDest, wDest, hDest);
    RECT srcRect = ToDevice(*src, xSrc, ySrc, wSrc, hSrc);
    if (std::shared_ptr<DeviceSurface> surface = dest->surface) {
        guard.unlock();  // the surface has a lock of its own; the source is held by reference
        surface->Stretch(device, *source, srcRect);
        return TRUE;
    }
    std::shared_ptr<Bitmap> target = table.BitmapOf(dest->bitmap);
    if (!target) {
        return FALSE;
    }
    // Nearest-neighbour scaling (the default stretch mode's result for
    // colour bitmaps), clipped to both bitmaps.
    long dw = device.right - device.left;
    long dh = device.bottom - device.top;
    long sw = srcRect.right - srcRect.left;
    long sh = srcRect.bottom - srcRect.top;
    if (dw == 0 || dh == 0) {
        return TRUE;
    }
    for (long y = std::min(device.top, device.bottom); y < std::max(device.top, device.bottom);
         ++y) {
        if (y < 0 || y >= target->height) {
            continue;
        }
        long sy = srcRect.top + (y - device.top) * sh / dh;
        for (long x = std::min(device.left, device.right); x < std::max(device.left, device.right);
             ++x) {
            long sx = srcRect.left + (x - device.left) * sw / dw;
            if (x < 0 || x >= target->width || sx < 0 || sy < 0 || sx >= source->width ||
                sy >= source->height) {
                continue;
            }
            uint8_t rgb[3];
            source->Read(static_cast<int>(sx), static_cast<int>(sy), rgb);
            target->Write(static_cast<int>(x), static_cast<int>(y), rgb);
        }
    }
    return TRUE;
}
