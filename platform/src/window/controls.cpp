// The Button and Static controls, and the registration of the system's
// control classes.
#include "w32/commctrl.h"
#include "w32/dialog.h"
#include "w32/user.h"
#include "window/controls.h"

#include <mutex>

namespace {

void NotifyParent(HWND hwnd, WORD code) {
    HWND parent = GetParent(hwnd);
    if (parent != nullptr) {
        SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), code),
                     reinterpret_cast<LPARAM>(hwnd));
    }
}

LRESULT CALLBACK ButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case BM_CLICK:
        case WM_LBUTTONUP:
            if (IsWindowEnabled(hwnd)) {
                NotifyParent(hwnd, BN_CLICKED);
            }
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

LRESULT CALLBACK StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_LBUTTONUP:
            if (GetWindowLongPtrW(hwnd, GWL_STYLE) & SS_NOTIFY) {
                NotifyParent(hwnd, STN_CLICKED);
            }
            return 0;
        case STM_SETIMAGE: {
            LONG_PTR previous = GetWindowLongPtrW(hwnd, GWLP_USERDATA);
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
            return previous;
        }
        case STM_GETIMAGE:
            return GetWindowLongPtrW(hwnd, GWLP_USERDATA);
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

void Register(LPCWSTR name, WNDPROC proc) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = proc;
    wc.lpszClassName = name;
    RegisterClassExW(&wc);
}

}  // namespace

namespace w32::window {

void RegisterStandardControls() {
    static std::once_flag once;
    std::call_once(once, [] {
        Register(u"Button", ButtonProc);
        Register(u"Static", StaticProc);
        Register(WC_LISTVIEWW, ListViewProcedure());
    });
}

}  // namespace w32::window
