// The Button and Static controls, and the registration of the system's
// control classes.
#include "w32/commctrl.h"
#include "w32/dialog.h"
#include "w32/user.h"
#include "w32/gdi.h"
#include "w32/module.h"
#include "window/controls.h"
#include "window/painting.h"

#include <map>
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
        case WM_PAINT:
            w32::window::PaintWithColours(hwnd, WM_CTLCOLORBTN, GetParent(hwnd));
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

// The images bitmap statics loaded from their templates: theirs to delete.
std::mutex ownedLock;
std::map<HWND, HANDLE>& OwnedImages() {
    static auto* images = new std::map<HWND, HANDLE>;
    return *images;
}

bool IsBitmapStatic(HWND hwnd) {
    return (GetWindowLongPtrW(hwnd, GWL_STYLE) & 0x1F) == SS_BITMAP;
}

LRESULT CALLBACK StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: {
            // A bitmap static of a template names its image by ordinal, as the
            // resource compiler writes it; the image comes from the module the
            // window was made for. Never read as a pointer.
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            if (IsBitmapStatic(hwnd) && create != nullptr && IS_INTRESOURCE(create->lpszName) &&
                create->lpszName != nullptr) {
                HANDLE image = LoadImageW(create->hInstance, create->lpszName, IMAGE_BITMAP, 0, 0,
                                          LR_DEFAULTCOLOR);
                SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(image));
                if (image != nullptr) {
                    std::lock_guard<std::mutex> guard(ownedLock);
                    OwnedImages()[hwnd] = image;
                }
            }
            return 0;
        }
        case WM_NCDESTROY:
            // The image the static loaded itself goes with it.
            {
                HANDLE image = nullptr;
                {
                    std::lock_guard<std::mutex> guard(ownedLock);
                    auto it = OwnedImages().find(hwnd);
                    if (it != OwnedImages().end()) {
                        image = it->second;
                        OwnedImages().erase(it);
                    }
                }
                if (image != nullptr) {
                    DeleteObject(image);
                }
            }
            return DefWindowProcW(hwnd, message, wParam, lParam);
        case WM_PAINT:
            w32::window::PaintWithColours(hwnd, WM_CTLCOLORSTATIC, GetParent(hwnd));
            return 0;
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
