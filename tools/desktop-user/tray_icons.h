// The notification area as the person at the screen uses it: list the icons,
// click one, move the cursor.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace desktop_user {

struct TrayIcon {
    DWORD pid = 0;
    HWND hwnd = nullptr;
    UINT id = 0;
    UINT callbackMessage = 0;
    std::u16string tooltip;
};

std::vector<TrayIcon> TrayIcons();

// An icon named by its tooltip, or by "pid=N" (the first icon of that
// process); false when there is none.
bool FindTrayIcon(const std::string& spec, TrayIcon* icon);

enum class TrayClick { kLeft, kRight, kDouble, kMove };
// Sends the icon's owner the mouse messages of the click in the order the
// shell sends them (button down, up; a double click adds the double-click
// message and a second up), each as the icon's callback message with the
// icon's id in wParam. The cursor is not moved: set it first with MoveCursor.
bool ClickTrayIcon(const TrayIcon& icon, TrayClick click);

bool MoveCursor(int x, int y);

// The rectangle of the popup menu that is open, waiting up to timeout.
bool OpenMenuRect(RECT* rect, DWORD timeoutMs);

int RunTrayCommand(int argc, char** argv);
bool IsTrayCommand(const std::string& command);

}  // namespace desktop_user
