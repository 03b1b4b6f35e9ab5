// Images from module resources: icons, cursors and bitmaps. Each load finds
// the resource of its kind in the module and hands out a handle of its own.
#include <algorithm>
#include <mutex>
#include <vector>

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

W32API HANDLE WINAPI LoadImageW(HINSTANCE hInst, LPCWSTR name, UINT type, int, int, UINT) {
    LPCWSTR resourceType = type == IMAGE_ICON     ? RT_GROUP_ICON
                           : type == IMAGE_BITMAP ? RT_BITMAP
                                                  : RT_CURSOR;
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
