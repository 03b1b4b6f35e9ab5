// The Button, Static and Edit controls.
#include "user/window.h"

using namespace w32::user;

namespace w32::user {

// Asks the parent for the control's colours, as painting does.
void SendCtlColor(HWND control, UINT msg) {
    auto w = FindLocal(control);
    if (!w || !w->parent)
        return;
    HDC dc = GetDC(control);
    LRESULT brush = SendMessageW(w->parent, msg, reinterpret_cast<WPARAM>(dc),
                                 reinterpret_cast<LPARAM>(control));
    ReleaseDC(control, dc);
    std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
    w->ctlBrush = reinterpret_cast<HBRUSH>(brush);
}

}  // namespace w32::user

namespace {

void Notify(HWND hwnd, WORD code) {
    auto w = FindLocal(hwnd);
    if (!w || !w->parent)
        return;
    SendMessageW(w->parent, WM_COMMAND, MAKEWPARAM(w->id, code), reinterpret_cast<LPARAM>(hwnd));
}

bool Enabled(HWND hwnd) {
    auto w = FindLocal(hwnd);
    if (!w)
        return false;
    // A control of a disabled dialog takes no clicks either.
    for (HWND h = hwnd; h;) {
        auto x = FindLocal(h);
        if (!x)
            break;
        if (x->style & WS_DISABLED)
            return false;
        h = x->parent;
    }
    return true;
}

}  // namespace

namespace w32::user {

LRESULT CALLBACK ButtonProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto w = FindLocal(hwnd);
    if (!w)
        return 0;
    DWORD type = w->style & BS_TYPEMASK;
    switch (msg) {
        case WM_GETDLGCODE:
            if (type == BS_DEFPUSHBUTTON)
                return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
            if (type == BS_PUSHBUTTON)
                return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
            if (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON)
                return DLGC_BUTTON | DLGC_RADIOBUTTON;
            return DLGC_BUTTON;
        case WM_LBUTTONDOWN:
            if (!Enabled(hwnd))
                return 0;
            w->pressed = true;
            SetFocus(hwnd);
            return 0;
        case WM_LBUTTONUP:
            if (!w->pressed)
                return 0;
            w->pressed = false;
            [[fallthrough]];
        case BM_CLICK:
            if (!Enabled(hwnd))
                return 0;
            if (type == BS_AUTOCHECKBOX)
                w->check = w->check ? BST_UNCHECKED : BST_CHECKED;
            if (type == BS_AUTORADIOBUTTON)
                w->check = BST_CHECKED;
            if (type == BS_AUTO3STATE)
                w->check = (w->check + 1) % 3;
            Notify(hwnd, BN_CLICKED);
            return 0;
        case WM_KEYDOWN:
            if (wp == VK_SPACE)
                return ButtonProc(hwnd, BM_CLICK, 0, 0);
            return 0;
        case BM_GETCHECK:
            return w->check;
        case BM_SETCHECK:
            w->check = static_cast<UINT>(wp);
            return 0;
        case BM_GETSTATE:
            return w->check | (w->pressed ? BST_PUSHED : 0);
        case BM_SETSTATE:
            w->pressed = wp != 0;
            return 0;
        case BM_SETSTYLE: {
            std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
            w->style = (w->style & ~0xFFFFu) | static_cast<DWORD>(wp & 0xFFFF);
            return 0;
        }
        case BM_GETIMAGE:
            return reinterpret_cast<LRESULT>(w->image);
        case BM_SETIMAGE: {
            HANDLE old = w->image;
            w->image = reinterpret_cast<HANDLE>(lp);
            w->imageType = static_cast<UINT>(wp);
            return reinterpret_cast<LRESULT>(old);
        }
        case WM_PAINT:
            SendCtlColor(hwnd, WM_CTLCOLORBTN);
            return 0;
        default:
            return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto w = FindLocal(hwnd);
    if (!w)
        return 0;
    switch (msg) {
        case WM_NCHITTEST:
            return (w->style & SS_NOTIFY) ? 1 /* HTCLIENT */ : -1 /* HTTRANSPARENT */;
        case WM_GETDLGCODE:
            return DLGC_STATIC;
        case WM_LBUTTONUP:
            if ((w->style & SS_NOTIFY) && Enabled(hwnd))
                Notify(hwnd, STN_CLICKED);
            return 0;
        case WM_LBUTTONDBLCLK:
            if ((w->style & SS_NOTIFY) && Enabled(hwnd))
                Notify(hwnd, STN_DBLCLK);
            return 0;
        case STM_GETIMAGE:
            return reinterpret_cast<LRESULT>(w->image);
        case STM_GETICON:
            return reinterpret_cast<LRESULT>(w->image);
        case STM_SETICON:
        case STM_SETIMAGE: {
            HANDLE old = w->image;
            w->image =
                msg == STM_SETICON ? reinterpret_cast<HANDLE>(wp) : reinterpret_cast<HANDLE>(lp);
            w->imageType = msg == STM_SETICON ? IMAGE_ICON : static_cast<UINT>(wp);
            return reinterpret_cast<LRESULT>(old);
        }
        case WM_PAINT:
            SendCtlColor(hwnd, WM_CTLCOLORSTATIC);
            return 0;
        default:
            return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_GETDLGCODE:
            return DLGC_HASSETSEL | DLGC_WANTCHARS | DLGC_WANTARROWS;
        case WM_CHAR: {
            auto w = FindLocal(hwnd);
            if (!w)
                return 0;
            {
                std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
                if (wp == VK_BACK) {
                    if (!w->text.empty())
                        w->text.pop_back();
                } else if (wp >= 0x20) {
                    w->text += static_cast<char16_t>(wp);
                }
            }
            Republish(hwnd);
            return 0;
        }
        case WM_PAINT:
            SendCtlColor(hwnd, WM_CTLCOLOREDIT);
            return 0;
        default:
            return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

}  // namespace w32::user
