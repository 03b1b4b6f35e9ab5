// The session as the simulated user sees it: every window of every process of
// the session with the facts a person reads off the screen, the items of an
// open popup menu, and the few acts that need a way into another process.
// Extensions of the stand-in (no Windows counterpart); the system's own code
// never uses them, tools/desktop-user and the tests do.
#pragma once

#include "w32/types.h"
#include "w32/user.h"

#define W32_CLASS_CHARS 128
#define W32_TEXT_CHARS 512

// One window as the session's window table holds it. Texts longer than the
// table's fields are cut (W32_TEXT_CHARS - 1 characters).
struct W32_WINDOW_INFO {
    HWND hwnd;
    HWND parent;  // null for a top-level window (also one made with the desktop as parent)
    HWND owner;
    DWORD processId;
    DWORD threadId;
    DWORD style;
    DWORD exStyle;
    int controlId;
    BOOL visible;
    BOOL enabled;
    BOOL topmost;
    BOOL messageOnly;
    WCHAR className[W32_CLASS_CHARS];
    WCHAR text[W32_TEXT_CHARS];
};

// The window's facts; FALSE (ERROR_INVALID_WINDOW_HANDLE) when it is no
// window of a live process.
W32API BOOL WINAPI W32GetWindowInfo(HWND hwnd, W32_WINDOW_INFO* info);
// Every window of the session (top-level and child, in creation order); the
// number of windows there are, of which at most max are written.
W32API UINT WINAPI W32ListWindows(W32_WINDOW_INFO* windows, UINT max);

// An item of an open popup menu (a window of class "#32768").
struct W32_POPUP_ITEM {
    UINT id;
    UINT flags;  // MF_SEPARATOR, MF_GRAYED, MF_CHECKED, MF_POPUP, MF_DEFAULT
    WCHAR text[256];
};
// Asks the menu's thread for its items; -1 when the window is no open popup
// menu or its thread did not answer within timeoutMs.
W32API int WINAPI W32GetPopupMenuItems(HWND menuWindow, W32_POPUP_ITEM* items, int max,
                                       DWORD timeoutMs);
// Chooses the item with this command id (it then reaches the owner as
// WM_COMMAND), or with id 0 dismisses the menu. FALSE when the window is no
// open popup menu.
W32API BOOL WINAPI W32ChoosePopupMenuItem(HWND menuWindow, UINT id);

// The session folder in use by this process.
W32API DWORD WINAPI W32GetSessionDirectory(LPWSTR buffer, DWORD size);

// Private messages of the stand-in's own window classes.
#define W32_MN_CHOOSE 0x01E5  // to a "#32768" window: wParam command id, 0 dismisses
