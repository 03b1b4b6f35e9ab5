#include <cstring>
#include <map>
#include <mutex>

#include "gdi/objects.h"
#include "internal/handles.h"

namespace w32::gdi {

namespace {
std::mutex gMutex;
std::map<uint32_t, std::shared_ptr<Object>>& Objects() {
    static auto* objects = new std::map<uint32_t, std::shared_ptr<Object>>;
    return *objects;
}
}  // namespace

HANDLE Add(std::shared_ptr<Object> object) {
    uint32_t value = AllocateHandleValue();
    std::lock_guard<std::mutex> guard(gMutex);
    Objects()[value] = std::move(object);
    return HandleFromValue<HANDLE>(value);
}

std::shared_ptr<Object> Find(HANDLE handle) {
    std::lock_guard<std::mutex> guard(gMutex);
    auto it = Objects().find(ValueFromHandle(handle));
    return it == Objects().end() ? nullptr : it->second;
}

bool Remove(HANDLE handle) {
    std::lock_guard<std::mutex> guard(gMutex);
    return Objects().erase(ValueFromHandle(handle)) > 0;
}

}  // namespace w32::gdi

using namespace w32::gdi;

namespace {

HANDLE MakeBrush(UINT style, COLORREF color, bool stock) {
    auto o = std::make_shared<Object>();
    o->kind = Kind::Brush;
    o->style = style;
    o->color = color;
    o->stock = stock;
    return Add(o);
}

HGDIOBJ StockObject(int i) {
    static HGDIOBJ stock[DC_PEN + 1] = {};
    static std::once_flag once;
    std::call_once(once, [] {
        stock[WHITE_BRUSH] = MakeBrush(BS_SOLID, RGB(255, 255, 255), true);
        stock[LTGRAY_BRUSH] = MakeBrush(BS_SOLID, RGB(192, 192, 192), true);
        stock[GRAY_BRUSH] = MakeBrush(BS_SOLID, RGB(128, 128, 128), true);
        stock[DKGRAY_BRUSH] = MakeBrush(BS_SOLID, RGB(64, 64, 64), true);
        stock[BLACK_BRUSH] = MakeBrush(BS_SOLID, RGB(0, 0, 0), true);
        stock[NULL_BRUSH] = MakeBrush(BS_NULL, 0, true);
        stock[DC_BRUSH] = MakeBrush(BS_SOLID, RGB(255, 255, 255), true);
        for (int pen : {WHITE_PEN, BLACK_PEN, NULL_PEN, DC_PEN}) {
            auto o = std::make_shared<Object>();
            o->kind = Kind::Pen;
            o->stock = true;
            o->color = pen == WHITE_PEN ? RGB(255, 255, 255) : 0;
            stock[pen] = Add(o);
        }
        for (int font : {OEM_FIXED_FONT, ANSI_FIXED_FONT, ANSI_VAR_FONT, SYSTEM_FONT,
                         DEVICE_DEFAULT_FONT, SYSTEM_FIXED_FONT, DEFAULT_GUI_FONT}) {
            auto o = std::make_shared<Object>();
            o->kind = Kind::Font;
            o->stock = true;
            stock[font] = Add(o);
        }
        auto pal = std::make_shared<Object>();
        pal->kind = Kind::Palette;
        pal->stock = true;
        stock[DEFAULT_PALETTE] = Add(pal);
    });
    if (i < 0 || i > DC_PEN)
        return nullptr;
    return stock[i];
}

}  // namespace

W32API HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
    return static_cast<HBRUSH>(MakeBrush(BS_SOLID, color, false));
}

W32API HBRUSH WINAPI CreateBrushIndirect(const LOGBRUSH* lb) {
    if (!lb)
        return nullptr;
    return static_cast<HBRUSH>(MakeBrush(lb->lbStyle, lb->lbColor, false));
}

W32API HGDIOBJ WINAPI GetStockObject(int i) {
    return StockObject(i);
}

W32API HBRUSH WINAPI GetSysColorBrush(int index) {
    static std::mutex mutex;
    static std::map<int, HBRUSH> brushes;
    std::lock_guard<std::mutex> guard(mutex);
    auto& b = brushes[index];
    if (!b)
        b = static_cast<HBRUSH>(MakeBrush(BS_SOLID, GetSysColor(index), true));
    return b;
}

W32API BOOL WINAPI DeleteObject(HGDIOBJ h) {
    auto o = Find(h);
    if (!o || o->kind == Kind::DC || o->kind == Kind::Icon || o->kind == Kind::Cursor)
        return FALSE;
    if (o->stock)
        return TRUE;  // stock objects are never freed
    return Remove(h) ? TRUE : FALSE;
}

W32API DWORD WINAPI GetObjectType(HGDIOBJ h) {
    auto o = Find(h);
    if (!o)
        return 0;
    switch (o->kind) {
        case Kind::Brush:
            return OBJ_BRUSH;
        case Kind::Pen:
            return OBJ_PEN;
        case Kind::Font:
            return OBJ_FONT;
        case Kind::Palette:
            return OBJ_PAL;
        case Kind::Bitmap:
            return OBJ_BITMAP;
        case Kind::DC:
            return OBJ_DC;
        default:
            return 0;
    }
}

W32API int WINAPI GetObjectW(HANDLE h, int c, LPVOID pv) {
    auto o = Find(h);
    if (!o)
        return 0;
    if (o->kind == Kind::Brush) {
        if (!pv)
            return sizeof(LOGBRUSH);
        if (c < static_cast<int>(sizeof(LOGBRUSH)))
            return 0;
        LOGBRUSH lb{o->style, o->color, 0};
        std::memcpy(pv, &lb, sizeof lb);
        return sizeof lb;
    }
    if (o->kind == Kind::Bitmap) {
        if (!pv)
            return sizeof(BITMAP);
        if (c < static_cast<int>(sizeof(BITMAP)))
            return 0;
        BITMAP bm{0, o->width, o->height, o->width * 4, 1, 32, nullptr};
        std::memcpy(pv, &bm, sizeof bm);
        return sizeof bm;
    }
    return 0;
}

W32API HDC WINAPI CreateCompatibleDC(HDC) {
    auto o = std::make_shared<Object>();
    o->kind = Kind::DC;
    return static_cast<HDC>(Add(o));
}

W32API BOOL WINAPI DeleteDC(HDC hdc) {
    auto o = Find(hdc);
    if (!o || o->kind != Kind::DC)
        return FALSE;
    return Remove(hdc) ? TRUE : FALSE;
}

W32API HDC WINAPI GetDC(HWND) {
    return CreateCompatibleDC(nullptr);
}

W32API int WINAPI ReleaseDC(HWND, HDC hdc) {
    return DeleteDC(hdc) ? 1 : 0;
}

W32API HDC WINAPI BeginPaint(HWND hwnd, LPPAINTSTRUCT ps) {
    if (!ps)
        return nullptr;
    std::memset(ps, 0, sizeof *ps);
    ps->hdc = GetDC(hwnd);
    GetClientRect(hwnd, &ps->rcPaint);
    return ps->hdc;
}

W32API BOOL WINAPI EndPaint(HWND hwnd, const PAINTSTRUCT* ps) {
    if (ps)
        ReleaseDC(hwnd, ps->hdc);
    return TRUE;
}

W32API int WINAPI FillRect(HDC hdc, const RECT*, HBRUSH hbr) {
    return Find(hdc) && (Find(hbr) || reinterpret_cast<uintptr_t>(hbr) <= 31) ? 1 : 0;
}

namespace {
std::shared_ptr<Object> DC(HDC hdc) {
    auto o = Find(hdc);
    return o && o->kind == Kind::DC ? o : nullptr;
}
}  // namespace

W32API HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
    auto dc = DC(hdc);
    auto o = Find(h);
    if (!dc || !o)
        return nullptr;
    HGDIOBJ* slot = nullptr;
    switch (o->kind) {
        case Kind::Brush:
            slot = &dc->selectedBrush;
            break;
        case Kind::Bitmap:
            slot = &dc->selectedBitmap;
            break;
        case Kind::Font:
            slot = &dc->selectedFont;
            break;
        case Kind::Pen:
            slot = &dc->selectedPen;
            break;
        default:
            return nullptr;
    }
    HGDIOBJ old = *slot;
    *slot = h;
    if (!old) {
        if (o->kind == Kind::Brush)
            old = GetStockObject(WHITE_BRUSH);
        if (o->kind == Kind::Font)
            old = GetStockObject(SYSTEM_FONT);
        if (o->kind == Kind::Pen)
            old = GetStockObject(BLACK_PEN);
    }
    return old;
}

W32API int WINAPI SetBkMode(HDC hdc, int mode) {
    auto dc = DC(hdc);
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE))
        return 0;
    int old = dc->bkMode;
    dc->bkMode = mode;
    return old;
}

W32API int WINAPI GetBkMode(HDC hdc) {
    auto dc = DC(hdc);
    return dc ? dc->bkMode : 0;
}

W32API COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color) {
    auto dc = DC(hdc);
    if (!dc)
        return CLR_INVALID;
    COLORREF old = dc->bkColor;
    dc->bkColor = color;
    return old;
}

W32API COLORREF WINAPI GetBkColor(HDC hdc) {
    auto dc = DC(hdc);
    return dc ? dc->bkColor : CLR_INVALID;
}

W32API COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color) {
    auto dc = DC(hdc);
    if (!dc)
        return CLR_INVALID;
    COLORREF old = dc->textColor;
    dc->textColor = color;
    return old;
}

W32API COLORREF WINAPI GetTextColor(HDC hdc) {
    auto dc = DC(hdc);
    return dc ? dc->textColor : CLR_INVALID;
}

W32API HBITMAP WINAPI CreateBitmap(int w, int h, UINT planes, UINT bits, const void* data) {
    if (w <= 0 || h <= 0 || planes != 1 || (bits != 32 && bits != 1 && bits != 24 && bits != 8))
        return nullptr;
    if (static_cast<long long>(w) * h > (1LL << 28))
        return nullptr;
    auto o = std::make_shared<Object>();
    o->kind = Kind::Bitmap;
    o->width = w;
    o->height = h;
    o->pixels.assign(static_cast<size_t>(w) * h, 0);
    if (data && bits == 32)
        std::memcpy(o->pixels.data(), data, o->pixels.size() * 4);
    return static_cast<HBITMAP>(Add(o));
}

W32API HBITMAP WINAPI CreateCompatibleBitmap(HDC, int cx, int cy) {
    return CreateBitmap(cx, cy, 1, 32, nullptr);
}

W32API LONG WINAPI GetBitmapBits(HBITMAP h, LONG cb, LPVOID bits) {
    auto o = Find(h);
    if (!o || o->kind != Kind::Bitmap || !bits || cb <= 0)
        return 0;
    LONG n = std::min<LONG>(cb, static_cast<LONG>(o->pixels.size() * 4));
    std::memcpy(bits, o->pixels.data(), static_cast<size_t>(n));
    return n;
}

W32API int WINAPI GetDIBits(HDC, HBITMAP h, UINT start, UINT lines, LPVOID bits, LPBITMAPINFO bmi,
                            UINT) {
    auto o = Find(h);
    if (!o || o->kind != Kind::Bitmap || !bmi)
        return 0;
    BITMAPINFOHEADER& bh = bmi->bmiHeader;
    if (!bits) {
        bh.biWidth = o->width;
        bh.biHeight = o->height;
        bh.biPlanes = 1;
        bh.biBitCount = 32;
        bh.biCompression = BI_RGB;
        bh.biSizeImage = static_cast<DWORD>(o->width * o->height * 4);
        return o->height;
    }
    if (bh.biBitCount != 32)
        return 0;
    bool bottomUp = bh.biHeight > 0;
    UINT copied = 0;
    for (UINT i = 0; i < lines && start + i < static_cast<UINT>(o->height); ++i) {
        UINT row = start + i;  // scan line, counted from the bottom for a bottom-up DIB
        UINT src = bottomUp ? static_cast<UINT>(o->height) - 1 - row : row;
        std::memcpy(static_cast<uint8_t*>(bits) + static_cast<size_t>(i) * o->width * 4,
                    o->pixels.data() + static_cast<size_t>(src) * o->width,
                    static_cast<size_t>(o->width) * 4);
        ++copied;
    }
    return static_cast<int>(copied);
}
