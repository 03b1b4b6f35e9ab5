// The object table behind the GDI calls of this folder.
#pragma once

#include <map>
#include <mutex>

#include "internal/gdi_objects.h"

namespace w32::gdi {

constexpr uint32_t kStockBase = 0x10020;  // reserved below the handle counter
constexpr int kStockLast = 21;
constexpr int kStockDefaultBitmap = 21;  // the 1x1 bitmap of a fresh memory DC
constexpr int kMaxSide = 16384;

struct Dc {
    uint32_t bitmap = 0;  // memory DCs: the selected bitmap
    uint32_t brush = kStockBase;
    int bkMode = OPAQUE;
    COLORREF textColor = 0;
    int mapMode = MM_TEXT;
    SIZE windowExt{1, 1};
    SIZE viewportExt{1, 1};
    POINT windowOrg{0, 0};
    POINT viewportOrg{0, 0};
    std::shared_ptr<DeviceSurface> surface;  // printer DCs
};

enum class Kind { kBrush, kBitmap, kDc };

struct Object {
    Kind kind;
    COLORREF colour;
    std::shared_ptr<Bitmap> bitmap;
    std::shared_ptr<Dc> dc;
};

struct Table {
    std::mutex lock;
    std::map<uint32_t, Object> objects;
    std::shared_ptr<Bitmap> stockBitmap;

    Object* Find(uint32_t value);
    Dc* FindDc(HDC dc);
    uint32_t Add(Object object);
    // The bitmap of a handle value, the stock bitmap included.
    std::shared_ptr<Bitmap> BitmapOf(uint32_t value);
};

Table& Objects();
uint32_t StockBitmapValue();
std::shared_ptr<Bitmap> NewBitmap(int width, int height, int bitsPerPixel, bool topDown);

}  // namespace w32::gdi
