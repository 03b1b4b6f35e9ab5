// The agent's icon in the notification area, with the small window that gets
// the icon's mouse notifications and the commands of its popup menu.
#pragma once

#include <windows.h>

#include "agent/base/host.h"
#include "framework/window_impl.h"

namespace vexlo {

using CTrayWinTraits = fw::CWinTraits<WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0>;

class CTrayMenu : public fw::CWindowImpl<CTrayMenu, fw::CWindow, CTrayWinTraits> {
public:
    // Creates the tray's window as a child of parent; no icon is shown yet.
    CTrayMenu(HWND parent, IHost* host);
    // Removes the icon.
    ~CTrayMenu() override;

    BEGIN_MSG_MAP(CTrayMenu)
    MESSAGE_HANDLER(WM_COMMAND, OnCommand)
    MESSAGE_HANDLER(trayMessage, OnTrayMessage)
    END_MSG_MAP()

    // Shows or changes the icon; a null icon removes it. True when the shell agreed.
    bool SetIcon(HICON icon);

private:
    LRESULT OnCommand(UINT, WPARAM wParam, LPARAM, BOOL& handled);
    LRESULT OnTrayMessage(UINT, WPARAM, LPARAM lParam, BOOL&);
    void OnTrayIcon(LPARAM lParam);
    void ShowMenu();

    UINT trayMessage = 0;
    NOTIFYICONDATAW notifyIconData = {};
    IHost* host = nullptr;
};

}  // namespace vexlo
