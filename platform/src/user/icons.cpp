// Icons, cursors and bitmaps loaded from the modules' resources.
#include <cstdlib>
#include <map>
#include <mutex>

#include "gdi/objects.h"
#include "module/modules.h"

using namespace w32::gdi;

namespace {

std::shared_ptr<Object> FromIcon(const W32_ICON_RESOURCE* res, int cx, int cy, Kind kind) {
    if (!res || !res->images || res->count == 0)
        return nullptr;
    const W32_ICON_IMAGE* best = &res->images[0];
    long bestScore = -1;
    for (size_t i = 0; i < res->count; ++i) {
        const W32_ICON_IMAGE& im = res->images[i];
        long score = std::labs(im.width - cx) + std::labs(im.height - cy);
        if (bestScore < 0 || score < bestScore) {
            best = &im;
            bestScore = score;
        }
    }
    auto o = std::make_shared<Object>();
    o->kind = kind;
    o->width = cx;
    o->height = cy;
    o->hotX = res->xHotspot;
    o->hotY = res->yHotspot;
    // Scaled to the asked size by nearest neighbour.
    o->pixels.assign(static_cast<size_t>(cx) * cy, 0);
    if (best->pixels && best->width > 0 && best->height > 0) {
        for (int y = 0; y < cy; ++y)
            for (int x = 0; x < cx; ++x)
                o->pixels[static_cast<size_t>(y) * cx + x] =
                    best->pixels[static_cast<size_t>(y * best->height / cy) * best->width +
                                 x * best->width / cx];
    }
    return o;
}

std::shared_ptr<Object> FromBitmap(const W32_BITMAP_RESOURCE* res) {
    if (!res || res->width <= 0 || res->height <= 0)
        return nullptr;
    auto o = std::make_shared<Object>();
    o->kind = Kind::Bitmap;
    o->width = res->width;
    o->height = res->height;
    o->pixels.assign(static_cast<size_t>(res->width) * res->height, 0);
    if (res->pixels)
        for (size_t i = 0; i < o->pixels.size(); ++i)
            o->pixels[i] = res->pixels[i];
    return o;
}

// Stock icons and cursors (a null instance), made once and shared.
HANDLE Stock(LPCWSTR name, Kind kind) {
    static std::mutex mutex;
    static std::map<std::pair<int, uintptr_t>, HANDLE> stock;
    if (!IS_INTRESOURCE(name))
        return nullptr;
    uintptr_t id = reinterpret_cast<uintptr_t>(name);
    if (id < 32512 || id > 32651)
        return nullptr;
    std::lock_guard<std::mutex> guard(mutex);
    auto& h = stock[{static_cast<int>(kind), id}];
    if (!h) {
        auto o = std::make_shared<Object>();
        o->kind = kind;
        o->width = o->height = 32;
        o->pixels.assign(32 * 32, 0xFF808080u);
        o->shared = true;
        h = Add(o);
    }
    return h;
}

std::map<std::tuple<HINSTANCE, uintptr_t, UINT, int, int>, HANDLE>& SharedImages() {
    static auto* m = new std::map<std::tuple<HINSTANCE, uintptr_t, UINT, int, int>, HANDLE>;
    return *m;
}
std::mutex gSharedMutex;

}  // namespace

W32API HANDLE WINAPI LoadImageW(HINSTANCE inst, LPCWSTR name, UINT type, int cx, int cy,
                                UINT flags) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Kind kind = type == IMAGE_BITMAP   ? Kind::Bitmap
                : type == IMAGE_CURSOR ? Kind::Cursor
                                       : Kind::Icon;
    if (type != IMAGE_BITMAP && type != IMAGE_ICON && type != IMAGE_CURSOR) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!inst) {
        if (HANDLE h = Stock(name, kind))
            return h;
    }
    if (cx == 0)
        cx = (flags & LR_DEFAULTSIZE) || type != IMAGE_BITMAP ? 32 : 0;
    if (cy == 0)
        cy = (flags & LR_DEFAULTSIZE) || type != IMAGE_BITMAP ? 32 : 0;
    auto key = std::make_tuple(inst, IS_INTRESOURCE(name) ? reinterpret_cast<uintptr_t>(name) : 0,
                               type, cx, cy);
    bool shared = (flags & LR_SHARED) && IS_INTRESOURCE(name);
    if (shared) {
        std::lock_guard<std::mutex> guard(gSharedMutex);
        auto it = SharedImages().find(key);
        if (it != SharedImages().end() && Find(it->second))
            return it->second;
    }
    std::shared_ptr<Object> o;
    if (type == IMAGE_BITMAP) {
        auto* r = w32::module::Find(inst, RT_BITMAP, name);
        if (r)
            o = FromBitmap(static_cast<const W32_BITMAP_RESOURCE*>(r->data));
    } else {
        LPCWSTR group = type == IMAGE_ICON ? RT_GROUP_ICON : RT_GROUP_CURSOR;
        LPCWSTR single = type == IMAGE_ICON ? RT_ICON : RT_CURSOR;
        auto* r = w32::module::Find(inst, group, name);
        if (!r)
            r = w32::module::Find(inst, single, name);
        if (r)
            o = FromIcon(static_cast<const W32_ICON_RESOURCE*>(r->data), cx, cy, kind);
    }
    if (!o) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    o->shared = shared;
    HANDLE h = Add(o);
    if (shared) {
        std::lock_guard<std::mutex> guard(gSharedMutex);
        SharedImages()[key] = h;
    }
    return h;
}

W32API HICON WINAPI LoadIconW(HINSTANCE inst, LPCWSTR name) {
    return static_cast<HICON>(LoadImageW(inst, name, IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
}

W32API HCURSOR WINAPI LoadCursorW(HINSTANCE inst, LPCWSTR name) {
    return static_cast<HCURSOR>(
        LoadImageW(inst, name, IMAGE_CURSOR, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
}

W32API HBITMAP WINAPI LoadBitmapW(HINSTANCE inst, LPCWSTR name) {
    return static_cast<HBITMAP>(LoadImageW(inst, name, IMAGE_BITMAP, 0, 0, 0));
}

W32API HICON WINAPI CopyIcon(HICON icon) {
    auto o = Find(icon);
    if (!o || (o->kind != Kind::Icon && o->kind != Kind::Cursor))
        return nullptr;
    auto copy = std::make_shared<Object>(*o);
    copy->shared = false;
    return static_cast<HICON>(Add(copy));
}

namespace {
BOOL DestroyImage(HANDLE h, Kind kind) {
    auto o = Find(h);
    if (!o || o->kind != kind) {
        SetLastError(1402 /* ERROR_INVALID_CURSOR_HANDLE */);
        return FALSE;
    }
    if (o->shared)
        return TRUE;  // shared images live as long as the process
    return Remove(h) ? TRUE : FALSE;
}
}  // namespace

W32API BOOL WINAPI DestroyIcon(HICON icon) {
    return DestroyImage(icon, Kind::Icon);
}

W32API BOOL WINAPI DestroyCursor(HCURSOR cursor) {
    return DestroyImage(cursor, Kind::Cursor);
}

W32API BOOL WINAPI GetIconInfo(HICON icon, PICONINFO info) {
    auto o = Find(icon);
    if (!o || !info || (o->kind != Kind::Icon && o->kind != Kind::Cursor))
        return FALSE;
    info->fIcon = o->kind == Kind::Icon;
    info->xHotspot = o->kind == Kind::Icon ? static_cast<DWORD>(o->width / 2) : o->hotX;
    info->yHotspot = o->kind == Kind::Icon ? static_cast<DWORD>(o->height / 2) : o->hotY;
    info->hbmColor = CreateBitmap(o->width, o->height, 1, 32, o->pixels.data());
    info->hbmMask = CreateBitmap(o->width, o->height, 1, 32, nullptr);
    return TRUE;
}

W32API HCURSOR WINAPI SetCursor(HCURSOR cursor) {
    thread_local HCURSOR current = nullptr;
    HCURSOR old = current;
    current = cursor;
    return old;
}
