// Menus from menu resources and the modal popup menu.
#pragma once

#include "w32/types.h"
#include "w32/user.h"

// An item of a menu template: a command (id, text), a separator (no text),
// or a popup with items of its own.
struct W32_MENU_ITEM {
    UINT id;
    LPCWSTR text;
    const W32_MENU_ITEM* popup;
    int popupCount;
};

// A menu template, the data of an RT_MENU resource: its top-level items.
struct W32_MENU_TEMPLATE {
    const W32_MENU_ITEM* items;
    int count;
};

#define TPM_LEFTALIGN 0x0000L
#define TPM_RIGHTBUTTON 0x0002L
#define TPM_TOPALIGN 0x0000L
#define TPM_RETURNCMD 0x0100L
#define TPM_NONOTIFY 0x0080L
#define MF_BYPOSITION 0x00000400L

W32API HMENU WINAPI LoadMenuW(HINSTANCE hInstance, LPCWSTR lpMenuName);
W32API HMENU WINAPI GetSubMenu(HMENU hMenu, int nPos);
W32API int WINAPI GetMenuItemCount(HMENU hMenu);
W32API UINT WINAPI GetMenuItemID(HMENU hMenu, int nPos);
W32API int WINAPI GetMenuStringW(HMENU hMenu, UINT uIDItem, LPWSTR lpString, int cchMax,
                                 UINT flags);
W32API BOOL WINAPI DestroyMenu(HMENU hMenu);
// Shows the menu as a window of class "#32768" whose items are child windows
// of class "MenuItem" (their texts and ids readable by other processes) and
// runs until an item is chosen (clicked) or the menu is dismissed (Escape, or
// closed). The chosen item's id is posted to the owner as WM_COMMAND, or
// returned with TPM_RETURNCMD.
W32API BOOL WINAPI TrackPopupMenu(HMENU hMenu, UINT uFlags, int x, int y, int nReserved, HWND hWnd,
                                  const RECT* prcRect);
