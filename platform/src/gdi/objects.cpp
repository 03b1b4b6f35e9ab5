// The GDI object table: brushes, bitmaps and device contexts in the handle
// space, with selection, deletion and the live count. A bitmap is selected
// into one DC at a time and cannot be deleted while it is; a fresh memory DC
// holds the 1x1 stock bitmap, which SelectObject hands back.
#include "gdi/objects.h"

#include <cstdlib>
#include <cstring>

#include "internal/handles.h"
#include "w32/kernel.h"

namespace w32::gdi {

Bitmap::~Bitmap() {
    free(bits);
}

void Bitmap::Read(int x, int y, uint8_t rgb[3]) const {
    int row = topDown ? y : height - 1 - y;
    const uint8_t* p = bits + static_cast<size_t>(row) * stride;
    switch (bitsPerPixel) {
        case 1:
        case 8: {
            size_t index = bitsPerPixel == 8 ? p[x] : (p[x / 8] >> (7 - x % 8)) & 1;
            RGBQUAD q = index < palette.size() ? palette[index] : RGBQUAD{0, 0, 0, 0};
            rgb[0] = q.rgbRed;
            rgb[1] = q.rgbGreen;
            rgb[2] = q.rgbBlue;
            return;
        }
        default: {
            const uint8_t* px = p + static_cast<size_t>(x) * (bitsPerPixel / 8);
            rgb[0] = px[2];
            rgb[1] = px[1];
            rgb[2] = px[0];
        }
    }
}

void Bitmap::Write(int x, int y, const uint8_t rgb[3]) {
    int row = topDown ? y : height - 1 - y;
    uint8_t* p = bits + static_cast<size_t>(row) * stride;
    if (bitsPerPixel == 24 || bitsPerPixel == 32) {
        uint8_t* px = p + static_cast<size_t>(x) * (bitsPerPixel / 8);
        px[0] = rgb[2];
        px[1] = rgb[1];
        px[2] = rgb[0];
    } else if (bitsPerPixel == 8) {
        p[x] = static_cast<uint8_t>((rgb[0] * 30 + rgb[1] * 59 + rgb[2] * 11) / 100);
    } else {
        bool white = rgb[0] + rgb[1] + rgb[2] >= 3 * 128;
        uint8_t mask = static_cast<uint8_t>(0x80 >> (x % 8));
        p[x / 8] = white ? (p[x / 8] | mask) : (p[x / 8] & ~mask);
    }
}

Table& Objects() {
    static Table* table = new Table;
    return *table;
}

Object* Table::Find(uint32_t value) {
    auto it = objects.find(value);
    return it == objects.end() ? nullptr : &it->second;
}

Dc* Table::FindDc(HDC dc) {
    Object* object = Find(ValueFromHandle(dc));
    return object != nullptr && object->kind == Kind::kDc ? object->dc.get() : nullptr;
}

uint32_t Table::Add(Object object) {
    uint32_t value = AllocateHandleValue();
    objects.emplace(value, std::move(object));
    return value;
}

uint32_t StockBitmapValue() {
    return kStockBase + kStockDefaultBitmap * 4;
}

bool IsStock(uint32_t value) {
    return value >= kStockBase && value <= kStockBase + kStockLast * 4;
}

std::shared_ptr<Bitmap> NewBitmap(int width, int height, int bitsPerPixel, bool topDown) {
    auto bitmap = std::make_shared<Bitmap>();
    bitmap->width = width;
    bitmap->height = height;
    bitmap->bitsPerPixel = bitsPerPixel;
    bitmap->topDown = topDown;
    bitmap->stride = ((width * bitsPerPixel + 31) / 32) * 4;
    bitmap->bits = static_cast<uint8_t*>(calloc(static_cast<size_t>(bitmap->stride) * height, 1));
    if (bitmap->bits == nullptr) {
        return nullptr;
    }
    return bitmap;
}

std::shared_ptr<Bitmap> Table::BitmapOf(uint32_t value) {
    if (value == StockBitmapValue()) {
        if (!stockBitmap) {
            stockBitmap = NewBitmap(1, 1, 1, false);
            stockBitmap->palette = {{0, 0, 0, 0}, {255, 255, 255, 0}};
        }
        return stockBitmap;
    }
    Object* object = Find(value);
    return object != nullptr && object->kind == Kind::kBitmap ? object->bitmap : nullptr;
}

HDC CreateDeviceDc(std::shared_ptr<DeviceSurface> surface) {
    Object object{Kind::kDc, 0, nullptr, std::make_shared<Dc>()};
    object.dc->surface = std::move(surface);
    Table& table = Objects();
    std::lock_guard<std::mutex> guard(table.lock);
    return HandleFromValue<HDC>(table.Add(std::move(object)));
}

std::shared_ptr<DeviceSurface> SurfaceOf(HDC dc) {
    Table& table = Objects();
    std::lock_guard<std::mutex> guard(table.lock);
    Dc* found = table.FindDc(dc);
    return found != nullptr ? found->surface : nullptr;
}

void ResetDrawingState(HDC dc) {
    Table& table = Objects();
    std::lock_guard<std::mutex> guard(table.lock);
    if (Dc* found = table.FindDc(dc)) {
        found->mapMode = MM_TEXT;
        found->windowExt = {1, 1};
        found->viewportExt = {1, 1};
        found->windowOrg = {0, 0};
        found->viewportOrg = {0, 0};
    }
}

}  // namespace w32::gdi

using namespace w32::gdi;

W32API HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
    Table& table = Objects();
    std::lock_guard<std::mutex> guard(table.lock);
    return w32::HandleFromValue<HBRUSH>(table.Add(Object{Kind::kBrush, color, nullptr, nullptr}));
}

W32API HGDIOBJ WINAPI GetStockObject(int i) {
    if (i < 0 || i > kStockLast || i == kStockDefaultBitmap) {
        return nullptr;  // the default bitmap is no public stock object
    }
    return w32::HandleFromValue<HGDIOBJ>(kStockBase + static_cast<uint32_t>(i) * 4);
}

W32API BOOL WINAPI DeleteObject(HGDIOBJ ho) {
    uint32_t value = w32::ValueFromHandle(ho);
    if (IsStock(value)) {
        return TRUE;  // stock objects are never deleted
    }
    Table& table = Objects();
    std::lock_guard<std::mutex> guard(table.lock);
    Object* object = table.Find(value);
    if (object == nullptr || object->kind == Kind::kDc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (object->kind == Kind::kBitmap && object->bitmap->selectedInto != 0) {
        return FALSE;  // still selected into a DC
    }
    table.objects.erase(value);
    return TRUE;
}

W32API HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
    Table& table = Objects();
    std::lock_guard<std::mutex> guard(table.lock);
    Dc* dc = table.FindDc(hdc);
    uint32_t value = w32::ValueFromHandle(h);
    if (dc == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (Object* object = table.Find(value); object != nullptr && object->kind == Kind::kBrush) {
        uint32_t previous = dc->brush;
        dc->brush = value;
        return w32::HandleFromValue<HGDIOBJ>(previous);
    }
    if (IsStock(value) && value != StockBitmapValue()) {
        uint32_t previous = dc->brush;
        dc->brush = value;
        return w32::HandleFromValue<HGDIOBJ>(previous);
    }
    std::shared_ptr<Bitmap> bitmap = table.BitmapOf(value);
    if (!bitmap) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // Bitmaps go into memory DCs only, and into one DC at a time.
    uint32_t dcValue = w32::ValueFromHandle(hdc);
    bool stock = value == StockBitmapValue();
    if (dc->surface || (!stock && bitmap->selectedInto != 0 && bitmap->selectedInto != dcValue)) {
        return nullptr;
    }
    uint32_t previous = dc->bitmap;
    if (std::shared_ptr<Bitmap> old = table.BitmapOf(previous);
        old && previous != value && previous != StockBitmapValue()) {
        old->selectedInto = 0;
    }
    if (!stock) {
        bitmap->selectedInto = dcValue;
    }
    dc->bitmap = value;
    return w32::HandleFromValue<HGDIOBJ>(previous);
}

W32API int WINAPI GetObjectW(HANDLE h, int c, LPVOID pv) {
    Table& table = Objects();
    std::lock_guard<std::mutex> guard(table.lock);
    std::shared_ptr<Bitmap> bitmap = table.BitmapOf(w32::ValueFromHandle(h));
    if (!bitmap) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (pv == nullptr) {
        return sizeof(BITMAP);
    }
    if (c < static_cast<int>(sizeof(BITMAP))) {
        return 0;
    }
    BITMAP bm{};
    bm.bmWidth = bitmap->width;
    bm.bmHeight = bitmap->height;  // positive for a top-down section too
    bm.bmWidthBytes = bitmap->stride;
    bm.bmPlanes = 1;
    bm.bmBitsPixel = static_cast<WORD>(bitmap->bitsPerPixel);
    bm.bmBits = bitmap->bits;
    memcpy(pv, &bm, sizeof bm);
    return sizeof(BITMAP);
}

W32API HDC WINAPI CreateCompatibleDC(HDC hdc) {
    Table& table = Objects();
    std::lock_guard<std::mutex> guard(table.lock);
    if (hdc != nullptr && table.FindDc(hdc) == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    Object object{Kind::kDc, 0, nullptr, std::make_shared<Dc>()};
    object.dc->bitmap = StockBitmapValue();
    return w32::HandleFromValue<HDC>(table.Add(std::move(object)));
}

W32API BOOL WINAPI DeleteDC(HDC hdc) {
    Table& table = Objects();
    std::lock_guard<std::mutex> guard(table.lock);
    Dc* dc = table.FindDc(hdc);
    if (dc == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // The bitmap still selected is freed from the DC, not deleted.
    if (std::shared_ptr<Bitmap> bitmap = table.BitmapOf(dc->bitmap);
        bitmap && dc->bitmap != StockBitmapValue()) {
        bitmap->selectedInto = 0;
    }
    table.objects.erase(w32::ValueFromHandle(hdc));
    return TRUE;
}

W32API HBITMAP WINAPI CreateDIBSection(HDC, const BITMAPINFO* pbmi, UINT usage, void** ppvBits,
                                       HANDLE hSection, DWORD) {
    if (ppvBits != nullptr) {
        *ppvBits = nullptr;
    }
    if (pbmi == nullptr || usage != DIB_RGB_COLORS || hSection != nullptr ||
        pbmi->bmiHeader.biSize < sizeof(BITMAPINFOHEADER) ||
        pbmi->bmiHeader.biCompression != BI_RGB || pbmi->bmiHeader.biPlanes != 1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const BITMAPINFOHEADER& header = pbmi->bmiHeader;
    int bits = header.biBitCount;
    LONG height = header.biHeight;
    if ((bits != 1 && bits != 8 && bits != 24 && bits != 32) || header.biWidth <= 0 ||
        header.biWidth > kMaxSide || height == 0 || height > kMaxSide || height < -kMaxSide) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::shared_ptr<Bitmap> bitmap =
        NewBitmap(header.biWidth, height < 0 ? -height : height, bits, height < 0);
    if (!bitmap) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (bits <= 8) {
        size_t entries = header.biClrUsed != 0 && header.biClrUsed < (1u << bits) ? header.biClrUsed
                                                                                  : (1u << bits);
        const RGBQUAD* colours = pbmi->bmiColors;
        bitmap->palette.assign(colours, colours + entries);
    }
    if (ppvBits != nullptr) {
        *ppvBits = bitmap->bits;
    }
    Table& table = Objects();
    std::lock_guard<std::mutex> guard(table.lock);
    return w32::HandleFromValue<HBITMAP>(
        table.Add(Object{Kind::kBitmap, 0, std::move(bitmap), nullptr}));
}

W32API DWORD WINAPI GetGuiResources(HANDLE, DWORD uiFlags) {
    if (uiFlags != GR_GDIOBJECTS) {
        return 0;
    }
    Table& table = Objects();
    std::lock_guard<std::mutex> guard(table.lock);
    return static_cast<DWORD>(table.objects.size());
}

W32API COLORREF WINAPI W32GetBrushColor(HBRUSH brush) {
    Table& table = Objects();
    std::lock_guard<std::mutex> guard(table.lock);
    Object* object = table.Find(w32::ValueFromHandle(brush));
    return object != nullptr && object->kind == Kind::kBrush ? object->colour : CLR_INVALID;
}

W32API COLORREF WINAPI W32GetBitmapPixel(HBITMAP handle, int x, int y) {
    Table& table = Objects();
    std::lock_guard<std::mutex> guard(table.lock);
    std::shared_ptr<Bitmap> bitmap = table.BitmapOf(w32::ValueFromHandle(handle));
    if (!bitmap || x < 0 || y < 0 || x >= bitmap->width || y >= bitmap->height) {
        return CLR_INVALID;
    }
    uint8_t rgb[3];
    bitmap->Read(x, y, rgb);
    return rgb[0] | (rgb[1] << 8) | (rgb[2] << 16);
}
