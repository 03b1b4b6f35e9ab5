// desktop-user: the person at the screen, from the command line.
//
//   desktop-user list                        top-level windows of the session
//   desktop-user texts WINDOW                a window's text and its controls' texts
//   desktop-user press WINDOW BUTTON         press a button (its text or #id)
//   desktop-user enter|escape WINDOW         press Enter or Escape in a dialog
//   desktop-user close WINDOW                the caption's close box
//   desktop-user menu                        items of the open popup menu
//   desktop-user pick ITEM                   pick an item of the open popup menu
//   desktop-user dismiss                     close the open popup menu
//   desktop-user rules FILE [SECONDS]        run a rule file (default 60 s)
//
// WINDOW is a handle (0x0001A2B0), class=NAME or title=TEXT; a window named by
// class or title is waited for up to 5 seconds.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include "desktop_user.h"

using namespace desktop_user;

namespace {

std::string Hex(HWND h) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(h)));
    return buf;
}

std::optional<HWND> Resolve(const std::string& arg) {
    if (arg.rfind("0x", 0) == 0 || arg.rfind("0X", 0) == 0) {
        char* end = nullptr;
        unsigned long v = std::strtoul(arg.c_str() + 2, &end, 16);
        if (end && !*end)
            return reinterpret_cast<HWND>(static_cast<uintptr_t>(v));
        return std::nullopt;
    }
    Match m;
    if (arg.rfind("class=", 0) == 0)
        m.className = FromUtf8(arg.substr(6));
    else if (arg.rfind("title=", 0) == 0)
        m.title = FromUtf8(arg.substr(6));
    else
        return std::nullopt;
    auto w = WaitForWindow(m, std::chrono::seconds(5));
    if (!w)
        return std::nullopt;
    return w->hwnd;
}

int Usage() {
    std::cerr << "usage: desktop-user list | texts W | press W BUTTON | enter W | escape W | "
                 "close W | menu | pick ITEM | dismiss | rules FILE [SECONDS]\n";
    return 2;
}

void PrintWindow(const WindowEntry& w, const char* indent) {
    std::cout << indent << Hex(w.hwnd) << " pid " << w.processId << " class \""
              << ToUtf8(w.className) << "\" title \"" << ToUtf8(w.title) << "\""
              << (w.visible ? " visible" : " hidden") << (w.topmost ? " topmost" : "")
              << (w.enabled ? "" : " disabled");
    if (w.controlId)
        std::cout << " id " << w.controlId;
    std::cout << "\n";
}

}  // namespace

int main(int argc, char** argv) {
    signal(SIGPIPE, SIG_IGN);
    if (argc < 2)
        return Usage();
    std::string cmd = argv[1];
    if (cmd == "list") {
        for (auto& w : ListTopLevelWindows())
            PrintWindow(w, "");
        return 0;
    }
    if (cmd == "menu" || cmd == "pick" || cmd == "dismiss") {
        auto menu = WaitForMenu(std::chrono::seconds(5));
        if (!menu) {
            std::cerr << "no popup menu is open\n";
            return 1;
        }
        if (cmd == "menu") {
            for (auto& e : ReadMenu(menu->hwnd)) {
                if (e.separator)
                    std::cout << "  ----\n";
                else
                    std::cout << "  " << e.id << " \"" << ToUtf8(e.text) << "\""
                              << (e.grayed ? " grayed" : "") << (e.checked ? " checked" : "")
                              << "\n";
            }
            return 0;
        }
        if (cmd == "dismiss")
            return DismissMenu(menu->hwnd) ? 0 : 1;
        if (argc < 3)
            return Usage();
        return PickMenuItem(menu->hwnd, FromUtf8(argv[2])) ? 0 : 1;
    }
    if (cmd == "rules") {
        if (argc < 3)
            return Usage();
        std::ifstream in(argv[2]);
        if (!in) {
            std::cerr << "cannot read " << argv[2] << "\n";
            return 1;
        }
        std::stringstream text;
        text << in.rdbuf();
        try {
            auto rules = ParseRules(text.str());
            int seconds = argc > 3 ? std::atoi(argv[3]) : 60;
            RunRules(rules, std::chrono::seconds(seconds),
                     [](const std::string& line) { std::cout << line << std::endl; });
        } catch (const std::exception& e) {
            std::cerr << argv[2] << ": " << e.what() << "\n";
            return 2;
        }
        return 0;
    }
    if (argc < 3)
        return Usage();
    auto window = Resolve(argv[2]);
    if (!window || !IsWindow(*window)) {
        std::cerr << "no such window: " << argv[2] << "\n";
        return 1;
    }
    if (cmd == "texts") {
        if (auto w = Describe(*window))
            PrintWindow(*w, "");
        for (auto& c : ListControls(*window))
            PrintWindow(c, "  ");
        return 0;
    }
    if (cmd == "press") {
        if (argc < 4)
            return Usage();
        return PressButton(*window, FromUtf8(argv[3])) ? 0 : 1;
    }
    if (cmd == "enter")
        return PressKey(*window, VK_RETURN) ? 0 : 1;
    if (cmd == "escape")
        return PressKey(*window, VK_ESCAPE) ? 0 : 1;
    if (cmd == "close")
        return CloseWindow(*window) ? 0 : 1;
    return Usage();
}
