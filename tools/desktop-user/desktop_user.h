// The person at the screen: another process of the session that looks at the
// windows of the desktop and presses buttons and keys in them.
#pragma once

#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

namespace desktop_user {

struct WindowInfo {
    HWND hwnd = nullptr;
    std::u16string className;
    std::u16string title;
    DWORD pid = 0;
    bool visible = false;
    bool topmost = false;
};

struct ControlInfo {
    HWND hwnd = nullptr;
    int id = 0;
    std::u16string className;
    std::u16string text;
    // How its last paint went (W32GetPaintRecord); answered is false before one.
    W32_PAINT_RECORD paint{};
};

std::vector<WindowInfo> TopLevelWindows();
std::vector<ControlInfo> Controls(HWND window);

// The first visible top-level window with this class and/or title (either
// may be empty, meaning any), waiting up to timeout.
HWND WaitForWindow(const std::u16string& className, const std::u16string& title,
                   std::chrono::milliseconds timeout);

// Presses the button whose text (without '&') or decimal id is `button`.
bool PressButton(HWND window, const std::u16string& button);
// Enter (the default button) or Escape (Cancel) in a dialog.
bool PressKey(HWND window, WPARAM virtualKey);
bool CloseWindow(HWND window);
// Clicks a control that is not a button (a static with SS_NOTIFY, a link):
// the left button goes down and up on it. The control is named by its text
// or decimal id.
bool ClickControl(HWND window, const std::u16string& control);
// Picks the item with this text of the open popup menu, or dismisses it.
bool PickMenuItem(const std::u16string& item, std::chrono::milliseconds timeout);
bool DismissMenu(std::chrono::milliseconds timeout);

// A rule: when a window of this class and/or title appears, do the action
// after a delay. Actions: "press <button>", "key enter", "key escape", "close",
// "click <control>" and, in a popup menu (class=#32768), "menu <item>".
struct Rule {
    std::u16string className;
    std::u16string title;
    std::u16string action;
    std::u16string argument;
    std::chrono::milliseconds delay{0};
};

// Lines "when [class=C] [title=T] <action> [argument] [after N]"; a word
// starting with '#' begins a comment; values with blanks are quoted. Throws std::runtime_error for
// a line it cannot read, naming the line.
std::vector<Rule> ParseRules(const std::string& text);

// Applies the rules to every visible window that appears (each window once per rule)
// until `until` passes; returns how many actions were done.
int RunRules(const std::vector<Rule>& rules, std::chrono::steady_clock::time_point until,
             bool verbose);

std::string Narrow(const std::u16string& text);
std::u16string Wide(const std::string& text);

}  // namespace desktop_user
