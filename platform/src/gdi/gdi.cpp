// Brushes and stock objects, as handles of the session's handle space.
#include <map>
#include <mutex>

#include "internal/handles.h"
#include "w32/gdi.h"
#include "w32/kernel.h"

namespace {

struct Brushes {
    std::mutex lock;
    std::map<uint32_t, COLORREF> colours;
};

Brushes& TheBrushes() {
    static Brushes* brushes = new Brushes;
    return *brushes;
}

constexpr uint32_t kStockBase = 0x10020;  // reserved below the handle counter

}  // namespace

W32API HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
    uint32_t value = w32::AllocateHandleValue();
    Brushes& brushes = TheBrushes();
    std::lock_guard<std::mutex> guard(brushes.lock);
    brushes.colours[value] = color;
    return w32::HandleFromValue<HBRUSH>(value);
}

W32API HGDIOBJ WINAPI GetStockObject(int i) {
    if (i < 0 || i > 18) {
        return nullptr;
    }
    return w32::HandleFromValue<HGDIOBJ>(kStockBase + static_cast<uint32_t>(i) * 4);
}

W32API BOOL WINAPI DeleteObject(HGDIOBJ ho) {
    uint32_t value = w32::ValueFromHandle(ho);
    if (value >= kStockBase && value <= kStockBase + 18 * 4) {
        return TRUE;  // stock objects are never deleted
    }
    Brushes& brushes = TheBrushes();
    std::lock_guard<std::mutex> guard(brushes.lock);
    if (brushes.colours.erase(value) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

W32API COLORREF WINAPI W32GetBrushColor(HBRUSH brush) {
    Brushes& brushes = TheBrushes();
    std::lock_guard<std::mutex> guard(brushes.lock);
    auto it = brushes.colours.find(w32::ValueFromHandle(brush));
    return it == brushes.colours.end() ? CLR_INVALID : it->second;
}

W32API int WINAPI SetBkMode(HDC, int mode) {
    return mode == TRANSPARENT ? OPAQUE : TRANSPARENT;
}

W32API COLORREF WINAPI SetTextColor(HDC, COLORREF) {
    return 0;
}
