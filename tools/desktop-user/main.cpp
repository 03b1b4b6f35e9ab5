// desktop-user: the simulated person at the screen.
//   desktop-user list                       top-level windows of the session
//   desktop-user controls <handle>          a window's controls and their texts
//   desktop-user press <title> <button>     press a button of a window
//                                           (a window is a title, or class=NAME)
//   desktop-user key <title> enter|escape   press a key in a dialog
//   desktop-user close <title>              close a window
//   desktop-user menu <item> | menu-dismiss pick an item of the open popup menu
//   desktop-user run <rules file> [seconds] follow a rule file (default 60 s)
//   desktop-user twain-select|twain-scan|twain-close NAME, twain-cancel   TWAIN dialogs
//   desktop-user wia-scan|wia-cancel NAME   press Scan or Cancel in a WIA device's dialog
//   desktop-user click <title> <control>   click a control that is no button (a link)
//   desktop-user tray                       the notification area's icons
//   desktop-user tray-click TOOLTIP|pid=N left|right|double|move
//   desktop-user cursor X Y                 move the cursor (the menu opens there)
//   desktop-user menu-rect                  where the open popup menu is
//   desktop-user list-click TITLE ROW|empty [ctrl] [right] [double]
//                                           click a row of the list in a window
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "desktop_user.h"
#include "print_dialogs.h"
#include "tray_icons.h"
#include "twain_dialogs.h"
#include "wia_dialogs.h"

namespace {

int Usage() {
    fprintf(stderr,
            "usage: desktop-user list | controls HANDLE | press TITLE BUTTON |\n"
            "       key TITLE enter|escape | close TITLE | click TITLE CONTROL |\n"
            "       menu ITEM | menu-dismiss | menu-rect | tray |\n"
            "       tray-click TOOLTIP|pid=N left|right|double|move | cursor X Y |\n"
            "       run RULES [SECONDS] | print-pick TITLE PRINTER\n");
    return 2;
}

// A window named by its title, or by "class=NAME" (then hidden windows too,
// such as the agent's own).
HWND Window(const char* spec) {
    std::string name = spec;
    HWND hwnd = nullptr;
    if (name.rfind("class=", 0) == 0) {
        hwnd = FindWindowW(desktop_user::Wide(name.substr(6)).c_str(), nullptr);
    } else {
        hwnd = desktop_user::WaitForWindow(u"", desktop_user::Wide(name), std::chrono::seconds(5));
    }
    if (hwnd == nullptr) {
        fprintf(stderr, "desktop-user: no window \"%s\"\n", spec);
    }
    return hwnd;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return Usage();
    }
    std::string command = argv[1];
    if (command == "list") {
        for (const auto& window : desktop_user::TopLevelWindows()) {
            printf("%08X pid %u %s%s class \"%s\" title \"%s\"\n",
                   static_cast<unsigned>(reinterpret_cast<uintptr_t>(window.hwnd)), window.pid,
                   window.visible ? "visible" : "hidden", window.topmost ? " topmost" : "",
                   desktop_user::Narrow(window.className).c_str(),
                   desktop_user::Narrow(window.title).c_str());
        }
        return 0;
    }
    if (command == "controls" && argc == 3) {
        HWND hwnd = reinterpret_cast<HWND>(strtoul(argv[2], nullptr, 16));
        for (const auto& control : desktop_user::Controls(hwnd)) {
            printf("%5d %-14s \"%s\"", control.id, desktop_user::Narrow(control.className).c_str(),
                   desktop_user::Narrow(control.text).c_str());
            const W32_PAINT_RECORD& paint = control.paint;
            if (paint.answered) {
                if (paint.hollowBrush) {
                    printf(" brush hollow");
                } else if (paint.brushColour == CLR_INVALID) {
                    printf(" brush none");
                } else {
                    printf(" brush rgb(%u,%u,%u)", GetRValue(paint.brushColour),
                           GetGValue(paint.brushColour), GetBValue(paint.brushColour));
                }
                printf(" text rgb(%u,%u,%u) %s", GetRValue(paint.textColour),
                       GetGValue(paint.textColour), GetBValue(paint.textColour),
                       paint.bkMode == TRANSPARENT ? "transparent" : "opaque");
            }
            printf("\n");
        }
        return 0;
    }
    if (command == "press" && argc == 4) {
        HWND hwnd = Window(argv[2]);
        return hwnd != nullptr && desktop_user::PressButton(hwnd, desktop_user::Wide(argv[3])) ? 0
                                                                                               : 1;
    }
    if (command == "key" && argc == 4) {
        HWND hwnd = Window(argv[2]);
        std::string key = argv[3];
        if (key != "enter" && key != "escape") {
            return Usage();
        }
        return hwnd != nullptr &&
                       desktop_user::PressKey(hwnd, key == "enter" ? VK_RETURN : VK_ESCAPE)
                   ? 0
                   : 1;
    }
    if (command == "close" && argc == 3) {
        HWND hwnd = Window(argv[2]);
        return hwnd != nullptr && desktop_user::CloseWindow(hwnd) ? 0 : 1;
    }
    if (command == "click" && argc == 4) {
        HWND hwnd = Window(argv[2]);
        return hwnd != nullptr && desktop_user::ClickControl(hwnd, desktop_user::Wide(argv[3])) ? 0
                                                                                                : 1;
    }
    if (desktop_user::IsTrayCommand(command)) {
        return desktop_user::RunTrayCommand(argc, argv);
    }
    if (command == "menu" && argc == 3) {
        return desktop_user::PickMenuItem(desktop_user::Wide(argv[2]), std::chrono::seconds(5)) ? 0
                                                                                                : 1;
    }
    if (command == "menu-dismiss") {
        return desktop_user::DismissMenu(std::chrono::seconds(5)) ? 0 : 1;
    }
    if (command == "run" && (argc == 3 || argc == 4)) {
        std::ifstream file(argv[2]);
        if (!file) {
            fprintf(stderr, "desktop-user: cannot read %s\n", argv[2]);
            return 1;
        }
        std::stringstream text;
        text << file.rdbuf();
        try {
            auto rules = desktop_user::ParseRules(text.str());
            int seconds = argc == 4 ? atoi(argv[3]) : 60;
            desktop_user::RunRules(
                rules, std::chrono::steady_clock::now() + std::chrono::seconds(seconds), true);
        } catch (const std::runtime_error& error) {
            fprintf(stderr, "desktop-user: %s\n", error.what());
            return 1;
        }
        return 0;
    }
    if (desktop_user::IsTwainCommand(command)) {
        return desktop_user::RunTwainCommand(argc, argv);
    }
    if (desktop_user::IsWiaCommand(command)) {
        return desktop_user::RunWiaCommand(argc, argv);
    }
    if (desktop_user::IsPrintCommand(command)) {
        return desktop_user::RunPrintCommand(argc, argv);
    }
    return Usage();
}
