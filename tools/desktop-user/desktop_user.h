// The simulated user: another process of the session acting as the person at
// the screen. It reads what a person would read off the screen (windows,
// their titles and their controls' texts, the items of an open popup menu)
// and acts as a person would (presses buttons, presses Enter or Escape,
// closes windows, picks menu items). It reaches other processes only through
// the window system: posted messages and the session's window table.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "w32/desktop.h"

namespace desktop_user {

struct WindowEntry {
    HWND hwnd = nullptr;
    HWND owner = nullptr;
    std::u16string className;
    std::u16string title;
    DWORD processId = 0;
    DWORD threadId = 0;
    bool visible = false;
    bool enabled = false;
    bool topmost = false;
    int controlId = 0;
    DWORD style = 0;
};

struct MenuEntry {
    UINT id = 0;
    std::u16string text;
    bool separator = false;
    bool grayed = false;
    bool checked = false;
};

// Top-level windows of the session (message-only windows are not on the screen).
std::vector<WindowEntry> ListTopLevelWindows();
// The child windows (controls) of a window, in creation order.
std::vector<WindowEntry> ListControls(HWND window);
std::optional<WindowEntry> Describe(HWND window);

// A window matches when its class (if given) and title (if given) are equal
// to the asked ones, without regard to case.
struct Match {
    std::u16string className;
    std::u16string title;
    bool Matches(const WindowEntry& w) const;
};
std::optional<WindowEntry> FindWindow(const Match& match);
// Polls until a visible matching top-level window appears.
std::optional<WindowEntry> WaitForWindow(const Match& match, std::chrono::milliseconds timeout);
bool WaitUntilGone(HWND window, std::chrono::milliseconds timeout);

// The control of a dialog whose text (without '&') or control id equals what
// is asked: "OK", "Закрыть", or "#1" / "1" for the id.
std::optional<WindowEntry> FindControl(HWND dialog, const std::u16string& textOrId);
// Presses a button as a click would (it notifies its dialog with BN_CLICKED).
bool PressButton(HWND dialog, const std::u16string& textOrId);
// Clicks a control (a static with SS_NOTIFY reports STN_CLICKED).
bool Click(HWND control);
// Presses a key in a window (VK_RETURN, VK_ESCAPE, VK_TAB, ...): the dialog
// manager of the window's modal loop handles it.
bool PressKey(HWND window, UINT virtualKey);
// The close box of the caption.
bool CloseWindow(HWND window);

// The open popup menu, if any (a window of class "#32768").
std::optional<WindowEntry> FindOpenMenu();
std::optional<WindowEntry> WaitForMenu(std::chrono::milliseconds timeout);
std::vector<MenuEntry> ReadMenu(HWND menuWindow);
// Picks the item whose text (without '&') or id equals what is asked.
bool PickMenuItem(HWND menuWindow, const std::u16string& textOrId);
bool DismissMenu(HWND menuWindow);

// Rules: "when a window of class C / title T appears, do A after N ms".
struct Rule {
    Match match;
    enum class Action { Press, Enter, Escape, Close, PickMenu, DismissMenu } action = Action::Press;
    std::u16string argument;  // button text or id, or menu item
    std::chrono::milliseconds delay{0};
    bool repeat = false;  // act on every matching window, not only the first
};
// Lines of the form (one rule a line, '#' starts a comment):
//   when class "C" [title "T"] press "B" [after N]
//   when title "T" enter|escape|close [after N]
//   when menu pick "Item" [after N]      (any open popup menu)
//   when menu dismiss [after N]
// with "every" before "when" to act on every matching window. Throws
// std::runtime_error with the line number on a malformed line.
std::vector<Rule> ParseRules(const std::string& text);
// Runs the rules until each non-repeating rule has acted once or the time is
// up; the log callback gets one line per act. Returns the number of acts.
int RunRules(const std::vector<Rule>& rules, std::chrono::milliseconds timeout,
             const std::function<void(const std::string&)>& log);

std::string ToUtf8(const std::u16string& s);
std::u16string FromUtf8(const std::string& s);

}  // namespace desktop_user
