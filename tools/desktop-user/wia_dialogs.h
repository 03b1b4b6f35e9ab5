// The simulated user at the WIA dialogs: a device's own dialog, titled with
// the device's name ("Scan", "Cancel"), and list views such as the one in
// which the agent lists the WIA devices to choose from. A row is clicked
// where the list says its rows stand (LVM_GETITEMSPACING gives the pitch).
#pragma once

#include <windows.h>

#include <chrono>
#include <string>

namespace desktop_user {

HWND WaitForWiaDeviceDialog(const std::u16string& deviceName, std::chrono::milliseconds timeout);
bool PressWiaScan(HWND deviceDialog);
bool PressWiaCancel(HWND deviceDialog);

// The first list view among the window's controls, or null.
HWND FindListView(HWND window);

struct ListClick {
    bool control = false;  // with Ctrl held
    bool right = false;    // the right button
    bool twice = false;    // a double click
};
// Clicks the row (from 0) of the list, or the empty space under its rows
// when row is -1. The clicks are posted: they reach the list in order.
bool ClickListRow(HWND list, int row, ListClick how = {});

// The desktop-user commands for them:
//   wia-scan NAME | wia-cancel NAME
//   list-click TITLE ROW|empty [ctrl] [right] [double]
bool IsWiaCommand(const std::string& command);
int RunWiaCommand(int argc, char** argv);

}  // namespace desktop_user
