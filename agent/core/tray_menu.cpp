#include "agent/core/tray_menu.h"

#include "agent/core/resource_ids.h"
#include "framework/modal_loop.h"
#include "framework/raii.h"

namespace vexlo {
namespace {

constexpr char16_t kTrayTooltip[] = u"Агент Vexlo";
// The icon's id: the same in every call for the tray's life.
constexpr UINT kTrayIconUid = 1;

void SetTip(NOTIFYICONDATAW& data) {
    size_t i = 0;
    for (; kTrayTooltip[i] != 0 && i + 1 < std::size(data.szTip); ++i) {
        data.szTip[i] = kTrayTooltip[i];
    }
    data.szTip[i] = 0;
}

// A point on no monitor is moved into the work area of the nearest one, at
// its left or right edge; y stays.
POINT OntoAMonitor(POINT point) {
    if (MonitorFromPoint(point, MONITOR_DEFAULTTONULL) != nullptr) {
        return point;
    }
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    if (GetMonitorInfoW(MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST), &info)) {
        if (point.x < info.rcWork.left) {
            point.x = info.rcWork.left;
        } else if (point.x >= info.rcWork.right) {
            point.x = info.rcWork.right - 1;
        }
    }
    return point;
}

}  // namespace

CTrayMenu::CTrayMenu(HWND parent, IHost* trayHost) : host(trayHost) {
    trayMessage = RegisterWindowMessageW(u"WM_TRAYICON");
    notifyIconData.uID = kTrayIconUid;
    if (Create(parent, fw::CWindow::rcDefault, nullptr, CTrayWinTraits::GetWndStyle(0), 0) !=
        nullptr) {
        notifyIconData.cbSize = sizeof(NOTIFYICONDATAW);
        notifyIconData.hWnd = m_hWnd;
        notifyIconData.uCallbackMessage = trayMessage;
    }
}

CTrayMenu::~CTrayMenu() {
    notifyIconData.uFlags = 0;
    Shell_NotifyIconW(NIM_DELETE, &notifyIconData);
}

bool CTrayMenu::SetIcon(HICON icon) {
    if (icon == nullptr) {
        notifyIconData.uFlags = 0;
        return Shell_NotifyIconW(NIM_DELETE, &notifyIconData) != FALSE;
    }
    notifyIconData.hIcon = icon;
    notifyIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    SetTip(notifyIconData);
    // The first call adds the icon, later ones change it.
    return Shell_NotifyIconW(NIM_MODIFY, &notifyIconData) != FALSE ||
           Shell_NotifyIconW(NIM_ADD, &notifyIconData) != FALSE;
}

LRESULT CTrayMenu::OnCommand(UINT, WPARAM wParam, LPARAM, BOOL& handled) {
    switch (LOWORD(wParam)) {
        case kCommandExit:
            host->Close();
            return 0;
        case kCommandAbout: {
            // The about dialog's modal loop runs on this object's stack.
            fw::CModalLoopScope loop(this);
            host->ShowAbout();
            return 0;
        }
        default:
            handled = FALSE;
            return 0;
    }
}

LRESULT CTrayMenu::OnTrayMessage(UINT, WPARAM, LPARAM lParam, BOOL&) {
    OnTrayIcon(lParam);
    return 0;
}

void CTrayMenu::OnTrayIcon(LPARAM lParam) {
    switch (LOWORD(lParam)) {
        case WM_LBUTTONDBLCLK: {
            fw::CModalLoopScope loop(this);
            host->ShowAbout();
            break;
        }
        case WM_RBUTTONUP:
            ShowMenu();
            break;
        default:
            break;  // single clicks, button downs and moves do nothing
    }
}

void CTrayMenu::ShowMenu() {
    fw::unique_hmenu menu(LoadMenuW(fw::ThisModule(), MAKEINTRESOURCEW(kTrayMenuId)));
    HMENU popup = menu ? GetSubMenu(menu.get(), 0) : nullptr;
    POINT point = {0, 0};
    GetCursorPos(&point);
    point = OntoAMonitor(point);
    ::SetForegroundWindow(m_hWnd);
    {
        // The menu's loop dispatches the thread's messages, a close among them.
        fw::CModalLoopScope loop(this);
        TrackPopupMenu(popup, TPM_RIGHTBUTTON, point.x, point.y, 0, m_hWnd, nullptr);
    }
    if (popup != nullptr) {
        DestroyMenu(popup);
    }
}

}  // namespace vexlo
