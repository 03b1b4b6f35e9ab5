// The table of GDI and icon objects of this process.
#pragma once

#include <memory>
#include <vector>

#include "w32/gdi.h"
#include "w32/user.h"

namespace w32::gdi {

enum class Kind { Brush, Pen, Font, Palette, Bitmap, Icon, Cursor, DC };

struct Object {
    Kind kind = Kind::Brush;
    bool stock = false;
    bool shared = false;  // LR_SHARED images are never destroyed
    // Brushes and pens.
    UINT style = BS_SOLID;
    COLORREF color = 0;
    // Bitmaps, icons and cursors: 32-bit pixels, top-down.
    int width = 0;
    int height = 0;
    std::vector<DWORD> pixels;
    DWORD hotX = 0;
    DWORD hotY = 0;
    // Device contexts.
    int bkMode = OPAQUE;
    COLORREF bkColor = RGB(255, 255, 255);
    COLORREF textColor = 0;
    HGDIOBJ selectedBrush = nullptr;
    HGDIOBJ selectedBitmap = nullptr;
    HGDIOBJ selectedFont = nullptr;
    HGDIOBJ selectedPen = nullptr;
};

HANDLE Add(std::shared_ptr<Object> object);
std::shared_ptr<Object> Find(HANDLE handle);
bool Remove(HANDLE handle);

}  // namespace w32::gdi
