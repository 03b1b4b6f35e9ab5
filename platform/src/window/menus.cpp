// Menus and the modal popup menu.
#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "internal/handles.h"
#include "w32/dialog.h"
#include "w32/menu.h"
#include "w32/module.h"
#include "w32/shell.h"

namespace {

struct MenuItem {
    UINT id = 0;
    std::u16string text;
    uint32_t popup = 0;  // handle of the item's submenu, or 0
};

struct Menu {
    std::vector<MenuItem> items;
};

struct Menus {
    std::mutex lock;
    std::map<uint32_t, Menu> menus;
};

Menus& TheMenus() {
    static Menus* menus = new Menus;
    return *menus;
}

uint32_t Build(const W32_MENU_ITEM* items, int count) {
    Menu menu;
    for (int i = 0; i < count; ++i) {
        MenuItem item;
        item.id = items[i].id;
        item.text = items[i].text != nullptr ? items[i].text : u"";
        if (items[i].popup != nullptr) {
            item.popup = Build(items[i].popup, items[i].popupCount);
        }
        menu.items.push_back(item);
    }
    uint32_t handle = w32::AllocateHandleValue();
    Menus& menus = TheMenus();
    std::lock_guard<std::mutex> guard(menus.lock);
    menus.menus[handle] = std::move(menu);
    return handle;
}

bool Find(HMENU handle, Menu* out) {
    Menus& menus = TheMenus();
    std::lock_guard<std::mutex> guard(menus.lock);
    auto it = menus.menus.find(w32::ValueFromHandle(handle));
    if (it == menus.menus.end()) {
        return false;
    }
    *out = it->second;
    return true;
}

struct Tracking {
    bool done = false;
    UINT chosen = 0;
};
thread_local Tracking* tracking = nullptr;

constexpr int kItemBase = 0x7000;  // control ids of item windows: kItemBase + position

LRESULT CALLBACK PopupProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (tracking != nullptr && HIWORD(wParam) == BN_CLICKED) {
                HWND item = reinterpret_cast<HWND>(lParam);
                tracking->chosen = static_cast<UINT>(GetWindowLongPtrW(item, GWLP_USERDATA));
                tracking->done = true;
            }
            return 0;
        case WM_KEYDOWN:
            if (wParam == VK_ESCAPE && tracking != nullptr) {
                tracking->done = true;
            }
            return 0;
        case WM_CLOSE:
        case WM_DESTROY:
            // Closed, or gone with its owner: the menu ends without a choice.
            if (tracking != nullptr) {
                tracking->done = true;
            }
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

LRESULT CALLBACK ItemProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == BM_CLICK || message == WM_LBUTTONUP) {
        SendMessageW(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), BN_CLICKED),
                     reinterpret_cast<LPARAM>(hwnd));
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void RegisterClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = PopupProc;
        wc.lpszClassName = u"#32768";
        RegisterClassExW(&wc);
        wc.lpfnWndProc = ItemProc;
        wc.lpszClassName = u"MenuItem";
        RegisterClassExW(&wc);
    });
}

}  // namespace

W32API HMENU WINAPI LoadMenuW(HINSTANCE hInstance, LPCWSTR lpMenuName) {
    HRSRC resource = FindResourceW(hInstance, lpMenuName, RT_MENU);
    if (resource == nullptr || SizeofResource(hInstance, resource) < sizeof(W32_MENU_TEMPLATE)) {
        return nullptr;
    }
    const auto* form =
        static_cast<const W32_MENU_TEMPLATE*>(LockResource(LoadResource(hInstance, resource)));
    return w32::HandleFromValue<HMENU>(Build(form->items, form->count));
}

W32API HMENU WINAPI GetSubMenu(HMENU hMenu, int nPos) {
    Menu menu;
    if (!Find(hMenu, &menu) || nPos < 0 || nPos >= static_cast<int>(menu.items.size())) {
        return nullptr;
    }
    return w32::HandleFromValue<HMENU>(menu.items[static_cast<size_t>(nPos)].popup);
}

W32API int WINAPI GetMenuItemCount(HMENU hMenu) {
    Menu menu;
    return Find(hMenu, &menu) ? static_cast<int>(menu.items.size()) : -1;
}

W32API UINT WINAPI GetMenuItemID(HMENU hMenu, int nPos) {
    Menu menu;
    if (!Find(hMenu, &menu) || nPos < 0 || nPos >= static_cast<int>(menu.items.size()) ||
        menu.items[static_cast<size_t>(nPos)].popup != 0) {
        return static_cast<UINT>(-1);
    }
    return menu.items[static_cast<size_t>(nPos)].id;
}

W32API int WINAPI GetMenuStringW(HMENU hMenu, UINT uIDItem, LPWSTR lpString, int cchMax,
                                 UINT flags) {
    Menu menu;
    if (!Find(hMenu, &menu)) {
        return 0;
    }
    for (size_t i = 0; i < menu.items.size(); ++i) {
        bool match = (flags & MF_BYPOSITION) ? i == uIDItem : menu.items[i].id == uIDItem;
        if (match) {
            const std::u16string& text = menu.items[i].text;
            if (lpString == nullptr || cchMax <= 0) {
                return static_cast<int>(text.size());
            }
            size_t count = std::min(text.size(), static_cast<size_t>(cchMax - 1));
            text.copy(lpString, count);
            lpString[count] = 0;
            return static_cast<int>(count);
        }
    }
    return 0;
}

W32API BOOL WINAPI DestroyMenu(HMENU hMenu) {
    Menus& menus = TheMenus();
    std::lock_guard<std::mutex> guard(menus.lock);
    // Submenus that the menu holds go with it, as on Windows.
    std::vector<uint32_t> pending{w32::ValueFromHandle(hMenu)};
    bool found = false;
    while (!pending.empty()) {
        uint32_t handle = pending.back();
        pending.pop_back();
        auto it = menus.menus.find(handle);
        if (it == menus.menus.end()) {
            continue;
        }
        found = true;
        for (const auto& item : it->second.items) {
            if (item.popup != 0) {
                pending.push_back(item.popup);
            }
        }
        menus.menus.erase(it);
    }
    return found ? TRUE : FALSE;
}

W32API BOOL WINAPI TrackPopupMenu(HMENU hMenu, UINT uFlags, int x, int y, int, HWND hWnd,
                                  const RECT*) {
    Menu menu;
    if (!Find(hMenu, &menu) || !IsWindow(hWnd)) {
        return FALSE;
    }
    RegisterClasses();
    // The menu stays inside the work area of the monitor nearest the point,
    // moved back from an edge it would cross.
    const int width = 160;
    const int height = 20 * static_cast<int>(menu.items.size());
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    if (GetMonitorInfoW(MonitorFromPoint(POINT{x, y}, MONITOR_DEFAULTTONEAREST), &monitor)) {
        const RECT& work = monitor.rcWork;
        x = std::max(static_cast<int>(work.left),
                     std::min(x, static_cast<int>(work.right) - width));
        y = std::max(static_cast<int>(work.top),
                     std::min(y, static_cast<int>(work.bottom) - height));
    }
    // Shown only once its items exist, so that whoever sees it sees them too.
    HWND popup = CreateWindowExW(WS_EX_TOPMOST, u"#32768", nullptr, WS_POPUP, x, y, width, height,
                                 hWnd, nullptr, nullptr, nullptr);
    if (popup == nullptr) {
        return FALSE;
    }
    for (size_t i = 0; i < menu.items.size(); ++i) {
        HWND item = CreateWindowExW(
            0, u"MenuItem", menu.items[i].text.c_str(), WS_CHILD | WS_VISIBLE, 0,
            static_cast<int>(20 * i), 160, 20, popup,
            reinterpret_cast<HMENU>(static_cast<intptr_t>(kItemBase + i)), nullptr, nullptr);
        SetWindowLongPtrW(item, GWLP_USERDATA, static_cast<LONG_PTR>(menu.items[i].id));
    }
    ShowWindow(popup, SW_SHOW);
    Tracking state;
    Tracking* outer = tracking;
    tracking = &state;
    MSG msg;
    while (!state.done) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            if (got == 0) {
                PostQuitMessage(static_cast<int>(msg.wParam));
            }
            break;
        }
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE &&
            (msg.hwnd == popup || GetParent(msg.hwnd) == popup)) {
            state.done = true;
            continue;
        }
        DispatchMessageW(&msg);
    }
    tracking = outer;
    DestroyWindow(popup);
    if (uFlags & TPM_RETURNCMD) {
        return static_cast<BOOL>(state.chosen);
    }
    if (state.chosen != 0 && (uFlags & TPM_NONOTIFY) == 0) {
        PostMessageW(hWnd, WM_COMMAND, MAKEWPARAM(state.chosen, 0), 0);
    }
    return TRUE;
}
