// Dialogs from dialog-template resources, the dialog manager's keyboard
// rules, and the Button and Static controls.
#pragma once

#include "w32/types.h"
#include "w32/user.h"

// A control of a dialog template (positions in dialog units).
struct W32_DIALOG_CONTROL {
    int id;
    LPCWSTR className;  // "Button", "Static", "SysListView32", ...
    LPCWSTR text;
    short x, y, cx, cy;
    DWORD style;
    DWORD exStyle;
};

// A dialog template, the data of an RT_DIALOG resource.
struct W32_DIALOG_TEMPLATE {
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
    LPCWSTR caption;
    LPCWSTR fontName;
    WORD pointSize;
    const W32_DIALOG_CONTROL* controls;
    int controlCount;
};

// Dialog styles.
#define DS_SETFONT 0x40L
#define DS_MODALFRAME 0x80L
#define DS_FIXEDSYS 0x0008L
#define DS_CENTER 0x0800L

#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#define IDCLOSE 8

#define DM_GETDEFID (WM_USER + 0)
#define DC_HASDEFID 0x534B

// Buttons.
#define BS_PUSHBUTTON 0x00000000L
#define BS_DEFPUSHBUTTON 0x00000001L
#define BN_CLICKED 0
#define BM_CLICK 0x00F5

// Statics.
#define SS_LEFT 0x00000000L
#define SS_CENTER 0x00000001L
#define SS_BITMAP 0x0000000EL
#define SS_NOTIFY 0x00000100L
#define STN_CLICKED 0
#define STM_SETIMAGE 0x0172
#define STM_GETIMAGE 0x0173

// Keys.
#define VK_RETURN 0x0D
#define VK_ESCAPE 0x1B
#define VK_TAB 0x09
#define VK_SPACE 0x20

// Runs the dialog modally: the owner is disabled while it runs, and the loop
// keeps handling the thread's sent and posted messages. -1 when the dialog
// cannot be made.
W32API INT_PTR WINAPI DialogBoxParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent,
                                      DLGPROC lpDialogFunc, LPARAM dwInitParam);
W32API HWND WINAPI CreateDialogParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent,
                                      DLGPROC lpDialogFunc, LPARAM dwInitParam);
W32API BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult);
// Enter presses the default button (IDOK without one), Escape gives IDCANCEL.
W32API BOOL WINAPI IsDialogMessageW(HWND hDlg, LPMSG lpMsg);
W32API LRESULT WINAPI DefDlgProcW(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam);
