#include "tray_icons.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "desktop_user.h"

namespace desktop_user {

std::vector<TrayIcon> TrayIcons() {
    std::vector<W32_NOTIFY_ICON> raw(64);
    int count = W32ListNotifyIcons(raw.data(), static_cast<int>(raw.size()));
    if (count > static_cast<int>(raw.size())) {
        raw.resize(static_cast<size_t>(count));
        count = W32ListNotifyIcons(raw.data(), count);
    }
    std::vector<TrayIcon> icons;
    for (int i = 0; i < count && i < static_cast<int>(raw.size()); ++i) {
        const W32_NOTIFY_ICON& icon = raw[static_cast<size_t>(i)];
        icons.push_back({icon.pid, icon.hWnd, icon.uID, icon.uCallbackMessage, icon.szTip});
    }
    return icons;
}

bool FindTrayIcon(const std::string& spec, TrayIcon* found) {
    bool byPid = spec.rfind("pid=", 0) == 0;
    DWORD pid = byPid ? static_cast<DWORD>(strtoul(spec.c_str() + 4, nullptr, 10)) : 0;
    for (const auto& icon : TrayIcons()) {
        if (byPid ? icon.pid == pid : icon.tooltip == Wide(spec)) {
            *found = icon;
            return true;
        }
    }
    return false;
}

bool ClickTrayIcon(const TrayIcon& icon, TrayClick click) {
    if (icon.callbackMessage == 0) {
        return false;  // an icon without a callback message hears no clicks
    }
    std::vector<UINT> messages;
    switch (click) {
        case TrayClick::kLeft:
            messages = {WM_LBUTTONDOWN, WM_LBUTTONUP};
            break;
        case TrayClick::kRight:
            messages = {WM_RBUTTONDOWN, WM_RBUTTONUP};
            break;
        case TrayClick::kDouble:
            messages = {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP};
            break;
        case TrayClick::kMove:
            messages = {WM_MOUSEMOVE};
            break;
    }
    for (UINT message : messages) {
        if (!PostMessageW(icon.hwnd, icon.callbackMessage, icon.id, message)) {
            return false;
        }
    }
    return true;
}

bool MoveCursor(int x, int y) {
    return SetCursorPos(x, y) != FALSE;
}

bool OpenMenuRect(RECT* rect, DWORD timeoutMs) {
    HWND menu = WaitForWindow(u"#32768", u"", std::chrono::milliseconds(timeoutMs));
    return menu != nullptr && GetWindowRect(menu, rect) != FALSE;
}

bool IsTrayCommand(const std::string& command) {
    return command == "tray" || command == "tray-click" || command == "cursor" ||
           command == "menu-rect";
}

int RunTrayCommand(int argc, char** argv) {
    std::string command = argv[1];
    if (command == "tray" && argc == 2) {
        for (const auto& icon : TrayIcons()) {
            printf("pid %u window %08X id %u message 0x%04X tooltip \"%s\"\n", icon.pid,
                   static_cast<unsigned>(reinterpret_cast<uintptr_t>(icon.hwnd)), icon.id,
                   icon.callbackMessage, Narrow(icon.tooltip).c_str());
        }
        return 0;
    }
    if (command == "tray-click" && argc == 4) {
        std::string how = argv[3];
        TrayClick click;
        if (how == "left") {
            click = TrayClick::kLeft;
        } else if (how == "right") {
            click = TrayClick::kRight;
        } else if (how == "double") {
            click = TrayClick::kDouble;
        } else if (how == "move") {
            click = TrayClick::kMove;
        } else {
            fprintf(stderr, "desktop-user: clicks are left, right, double and move\n");
            return 2;
        }
        TrayIcon icon;
        if (!FindTrayIcon(argv[2], &icon)) {
            fprintf(stderr, "desktop-user: no tray icon \"%s\"\n", argv[2]);
            return 1;
        }
        return ClickTrayIcon(icon, click) ? 0 : 1;
    }
    if (command == "cursor" && argc == 4) {
        char* endX = nullptr;
        char* endY = nullptr;
        long x = strtol(argv[2], &endX, 10);
        long y = strtol(argv[3], &endY, 10);
        if (*endX != 0 || *endY != 0 || x < -100000 || x > 100000 || y < -100000 || y > 100000) {
            fprintf(stderr, "desktop-user: cursor X Y takes two whole numbers\n");
            return 2;
        }
        return MoveCursor(static_cast<int>(x), static_cast<int>(y)) ? 0 : 1;
    }
    if (command == "menu-rect" && argc == 2) {
        RECT rect;
        if (!OpenMenuRect(&rect, 5000)) {
            fprintf(stderr, "desktop-user: no menu is open\n");
            return 1;
        }
        printf("%ld %ld %ld %ld\n", static_cast<long>(rect.left), static_cast<long>(rect.top),
               static_cast<long>(rect.right), static_cast<long>(rect.bottom));
        return 0;
    }
    fprintf(stderr,
            "usage: desktop-user tray | tray-click TOOLTIP|pid=N left|right|double|move |\n"
            "       cursor X Y | menu-rect\n");
    return 2;
}

}  // namespace desktop_user
