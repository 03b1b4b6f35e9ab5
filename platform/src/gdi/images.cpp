// Images from module resources: icons, cursors and bitmaps. Each load finds
// the resource of its kind in the module and hands out a handle of its own.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "gdi/objects.h"
#include "internal/handles.h"
#include "w32/kernel.h"
#include "w32/module.h"

namespace {

struct IconTable {
    std::mutex lock;
    std::vector<uint32_t> icons;
};

IconTable& Icons() {
    static IconTable* table = new IconTable;
    return *table;
}

HANDLE NewImage() {
    uint32_t value = w32::AllocateHandleValue();
    IconTable& table = Icons();
    std::lock_guard<std::mutex> guard(table.lock);
    table.icons.push_back(value);
    return w32::HandleFromValue<HANDLE>(value);
}

}  // namespace

namespace w32::gdi {

HBITMAP CreateBitmapFromPackedDib(const void* data, size_t size) {
    if (data == nullptr || size < sizeof(BITMAPINFOHEADER)) {
        return nullptr;
    }
    BITMAPINFOHEADER header;
    memcpy(&header, data, sizeof header);
    int bits = header.biBitCount;
    if (header.biSize < sizeof header || header.biCompression != BI_RGB || header.biWidth <= 0 ||
        header.biWidth > kMaxSide || header.biHeight == 0 || header.biHeight > kMaxSide ||
        header.biHeight < -kMaxSide || (bits != 1 && bits != 8 && bits != 24 && bits != 32)) {
        return nullptr;
    }
    size_t colours =
        bits <= 8 ? (header.biClrUsed != 0 && header.biClrUsed < (1u << bits) ? header.biClrUsed
                                                                              : (1u << bits))
                  : 0;
    int height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
    std::shared_ptr<Bitmap> bitmap = NewBitmap(header.biWidth, height, bits, header.biHeight < 0);
    if (!bitmap) {
        return nullptr;
    }
    size_t tableOffset = header.biSize;
    size_t rowsOffset = tableOffset + colours * sizeof(RGBQUAD);
    size_t rowsSize = static_cast<size_t>(bitmap->stride) * height;
    if (rowsOffset > size || size - rowsOffset < rowsSize) {
        return nullptr;  // cut short
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    bitmap->palette.resize(colours);
    if (colours > 0) {
        memcpy(bitmap->palette.data(), bytes + tableOffset, colours * sizeof(RGBQUAD));
    }
    memcpy(bitmap->bits, bytes + rowsOffset, rowsSize);
    Table& table = Objects();
    std::lock_guard<std::mutex> guard(table.lock);
    return HandleFromValue<HBITMAP>(
        table.Add(Object{Kind::kBitmap, 0, std::move(bitmap), nullptr}));
}

}  // namespace w32::gdi

namespace {

// A bitmap resource is a packed DIB: the bitmap gets its own copy of the rows.
HANDLE LoadBitmapResource(HINSTANCE hInst, LPCWSTR name) {
    HRSRC resource = FindResourceW(hInst, name, RT_BITMAP);
    if (resource == nullptr) {
        return nullptr;
    }
    HGLOBAL loaded = LoadResource(hInst, resource);
    HBITMAP bitmap =
        w32::gdi::CreateBitmapFromPackedDib(LockResource(loaded), SizeofResource(hInst, resource));
    if (bitmap == nullptr) {
        SetLastError(ERROR_INVALID_DATA);
    }
    return bitmap;
}

}  // namespace

W32API HANDLE WINAPI LoadImageW(HINSTANCE hInst, LPCWSTR name, UINT type, int, int, UINT) {
    if (type == IMAGE_BITMAP) {
        return LoadBitmapResource(hInst, name);
    }
    LPCWSTR resourceType = type == IMAGE_ICON ? RT_GROUP_ICON : RT_CURSOR;
    if (FindResourceW(hInst, name, resourceType) == nullptr) {
        return nullptr;
    }
    return NewImage();
}

W32API HICON WINAPI LoadIconW(HINSTANCE hInstance, LPCWSTR lpIconName) {
    return static_cast<HICON>(LoadImageW(hInstance, lpIconName, IMAGE_ICON, 32, 32, 0));
}

W32API HBITMAP WINAPI LoadBitmapW(HINSTANCE hInstance, LPCWSTR lpBitmapName) {
    return static_cast<HBITMAP>(LoadImageW(hInstance, lpBitmapName, IMAGE_BITMAP, 0, 0, 0));
}

W32API BOOL WINAPI DestroyIcon(HICON hIcon) {
    IconTable& table = Icons();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = std::find(table.icons.begin(), table.icons.end(), w32::ValueFromHandle(hIcon));
    if (it == table.icons.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    table.icons.erase(it);
    return TRUE;
}
