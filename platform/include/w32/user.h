// Windows, window classes, messages, timers and the message loop of the
// stand-in's window system. Every process of one user desktop shares a
// session directory ($W32_SESSION, else ${XDG_RUNTIME_DIR:-/tmp}/w32-session-<uid>):
// window handles, registered message ids and top-level windows are the same
// for all of them, and messages cross processes through it.
#pragma once

#include "w32/types.h"

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);
typedef void(CALLBACK* TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);
typedef BOOL(CALLBACK* WNDENUMPROC)(HWND, LPARAM);

#define MAKEINTATOM(i) ((LPWSTR)((ULONG_PTR)((WORD)(i))))

typedef struct tagMSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
} MSG, *PMSG, *LPMSG;

typedef struct tagWNDCLASSEXW {
    UINT cbSize;
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
    HICON hIconSm;
} WNDCLASSEXW, *LPWNDCLASSEXW;

typedef struct tagCREATESTRUCTW {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCWSTR lpszName;
    LPCWSTR lpszClass;
    DWORD dwExStyle;
} CREATESTRUCTW, *LPCREATESTRUCTW;

typedef struct tagCOPYDATASTRUCT {
    ULONG_PTR dwData;
    DWORD cbData;
    PVOID lpData;
} COPYDATASTRUCT, *PCOPYDATASTRUCT;

typedef struct tagNMHDR {
    HWND hwndFrom;
    UINT_PTR idFrom;
    UINT code;
} NMHDR, *LPNMHDR;

typedef struct tagMONITORINFO {
    DWORD cbSize;
    RECT rcMonitor;
    RECT rcWork;
    DWORD dwFlags;
} MONITORINFO, *LPMONITORINFO;

// Special window handles.
#define HWND_BROADCAST ((HWND)0xffff)
#define HWND_MESSAGE ((HWND)-3)
#define HWND_DESKTOP ((HWND)0)
#define HWND_TOP ((HWND)0)
#define HWND_BOTTOM ((HWND)1)
#define HWND_TOPMOST ((HWND)-1)
#define HWND_NOTOPMOST ((HWND)-2)

#define CW_USEDEFAULT ((int)0x80000000)

// Window styles.
#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_MINIMIZE 0x20000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CLIPSIBLINGS 0x04000000L
#define WS_CLIPCHILDREN 0x02000000L
#define WS_MAXIMIZE 0x01000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_DLGFRAME 0x00400000L
#define WS_VSCROLL 0x00200000L
#define WS_HSCROLL 0x00100000L
#define WS_SYSMENU 0x00080000L
#define WS_THICKFRAME 0x00040000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L
#define WS_MINIMIZEBOX 0x00020000L
#define WS_MAXIMIZEBOX 0x00010000L
#define WS_OVERLAPPEDWINDOW \
    (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)
#define WS_POPUPWINDOW (WS_POPUP | WS_BORDER | WS_SYSMENU)

#define WS_EX_DLGMODALFRAME 0x00000001L
#define WS_EX_TOPMOST 0x00000008L
#define WS_EX_TOOLWINDOW 0x00000080L
#define WS_EX_WINDOWEDGE 0x00000100L
#define WS_EX_CLIENTEDGE 0x00000200L
#define WS_EX_CONTROLPARENT 0x00010000L
#define WS_EX_APPWINDOW 0x00040000L
#define WS_EX_LAYERED 0x00080000L
#define WS_EX_LEFTSCROLLBAR 0x00004000L

// Class styles.
#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define CS_DBLCLKS 0x0008

// Window longs.
#define GWLP_WNDPROC (-4)
#define GWLP_HINSTANCE (-6)
#define GWLP_HWNDPARENT (-8)
#define GWLP_ID (-12)
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
#define GWLP_USERDATA (-21)
#define DWLP_MSGRESULT 0
#define DWLP_DLGPROC 8
#define DWLP_USER 16

// SetWindowPos.
#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define SWP_NOREDRAW 0x0008
#define SWP_NOACTIVATE 0x0010
#define SWP_SHOWWINDOW 0x0040
#define SWP_HIDEWINDOW 0x0080

#define LWA_COLORKEY 0x00000001
#define LWA_ALPHA 0x00000002

// Messages.
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_MOVE 0x0003
#define WM_SIZE 0x0005
#define WM_ACTIVATE 0x0006
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_ENABLE 0x000A
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_ERASEBKGND 0x0014
#define WM_SHOWWINDOW 0x0018
#define WM_ACTIVATEAPP 0x001C
#define WM_SETFONT 0x0030
#define WM_GETFONT 0x0031
#define WM_COPYDATA 0x004A
#define WM_NOTIFY 0x004E
#define WM_NCCREATE 0x0081
#define WM_NCDESTROY 0x0082
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_SYSCOMMAND 0x0112
#define WM_TIMER 0x0113
#define WM_CTLCOLORMSGBOX 0x0132
#define WM_CTLCOLOREDIT 0x0133
#define WM_CTLCOLORLISTBOX 0x0134
#define WM_CTLCOLORBTN 0x0135
#define WM_CTLCOLORDLG 0x0136
#define WM_CTLCOLORSCROLLBAR 0x0137
#define WM_CTLCOLORSTATIC 0x0138
#define WM_COMPAREITEM 0x0039
#define WM_VKEYTOITEM 0x002E
#define WM_CHARTOITEM 0x002F
#define WM_QUERYDRAGICON 0x0037
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_LBUTTONDBLCLK 0x0203
#define WM_RBUTTONDOWN 0x0204
#define WM_RBUTTONUP 0x0205
#define WM_RBUTTONDBLCLK 0x0206
#define WM_USER 0x0400
#define WM_APP 0x8000

#define SC_CLOSE 0xF060

// PeekMessage.
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001
#define PM_NOYIELD 0x0002

// GetQueueStatus: the kinds of input in the calling thread's queue. The high
// word tells what waits now, the low word what has arrived since the thread
// last looked (GetQueueStatus, GetMessageW or PeekMessageW).
#define QS_KEY 0x0001
#define QS_MOUSEMOVE 0x0002
#define QS_MOUSEBUTTON 0x0004
#define QS_POSTMESSAGE 0x0008
#define QS_TIMER 0x0010
#define QS_PAINT 0x0020
#define QS_SENDMESSAGE 0x0040
#define QS_HOTKEY 0x0080
#define QS_ALLPOSTMESSAGE 0x0100
#define QS_RAWINPUT 0x0400
#define QS_MOUSE (QS_MOUSEMOVE | QS_MOUSEBUTTON)
#define QS_INPUT (QS_MOUSE | QS_KEY | QS_RAWINPUT)
#define QS_ALLEVENTS (QS_INPUT | QS_POSTMESSAGE | QS_TIMER | QS_PAINT | QS_HOTKEY)
#define QS_ALLINPUT (QS_ALLEVENTS | QS_SENDMESSAGE)
W32API DWORD WINAPI GetQueueStatus(UINT flags);

// PeekMessage: with any of these, only the kinds named are processed.
#define PM_QS_INPUT (QS_INPUT << 16)
#define PM_QS_POSTMESSAGE ((QS_POSTMESSAGE | QS_HOTKEY | QS_TIMER) << 16)
#define PM_QS_PAINT (QS_PAINT << 16)
#define PM_QS_SENDMESSAGE (QS_SENDMESSAGE << 16)

// MsgWaitForMultipleObjectsEx: waits for objects and for input of the kinds
// in the wake mask. Without MWMO_INPUTAVAILABLE only input that arrived since
// the thread last looked at its queue ends the wait. It does not handle sent
// messages itself: the caller does, with PeekMessageW.
#define MWMO_WAITALL 0x0001
#define MWMO_ALERTABLE 0x0002
#define MWMO_INPUTAVAILABLE 0x0004
W32API DWORD WINAPI MsgWaitForMultipleObjectsEx(DWORD nCount, const HANDLE* pHandles,
                                                DWORD dwMilliseconds, DWORD dwWakeMask,
                                                DWORD dwFlags);
W32API DWORD WINAPI MsgWaitForMultipleObjects(DWORD nCount, const HANDLE* pHandles, BOOL fWaitAll,
                                              DWORD dwMilliseconds, DWORD dwWakeMask);

// System metrics.
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define SM_CXICON 11
#define SM_CYICON 12
#define SM_CXSMICON 49
#define SM_CYSMICON 50
#define SM_XVIRTUALSCREEN 76
#define SM_YVIRTUALSCREEN 77
#define SM_CXVIRTUALSCREEN 78
#define SM_CYVIRTUALSCREEN 79
#define SM_CMONITORS 80

#define MONITOR_DEFAULTTONULL 0x00000000
#define MONITOR_DEFAULTTOPRIMARY 0x00000001
#define MONITOR_DEFAULTTONEAREST 0x00000002

#define MSGFLT_ADD 1
#define MSGFLT_REMOVE 2

#define COLOR_WINDOW 5
#define COLOR_BTNFACE 15

// Cursors.
#define IDC_ARROW MAKEINTRESOURCEW(32512)

// Classes and windows.
W32API ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* lpwcx);
W32API BOOL WINAPI UnregisterClassW(LPCWSTR lpClassName, HINSTANCE hInstance);
W32API BOOL WINAPI GetClassInfoExW(HINSTANCE hInstance, LPCWSTR lpszClass, LPWNDCLASSEXW lpwcx);
W32API int WINAPI GetClassNameW(HWND hWnd, LPWSTR lpClassName, int nMaxCount);
W32API HWND WINAPI CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName,
                                   DWORD dwStyle, int X, int Y, int nWidth, int nHeight,
                                   HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                                   LPVOID lpParam);
W32API BOOL WINAPI DestroyWindow(HWND hWnd);
W32API BOOL WINAPI IsWindow(HWND hWnd);
W32API BOOL WINAPI IsWindowVisible(HWND hWnd);
W32API BOOL WINAPI IsWindowEnabled(HWND hWnd);
W32API HWND WINAPI GetDesktopWindow(void);
W32API HWND WINAPI GetParent(HWND hWnd);
W32API HWND WINAPI GetWindow(HWND hWnd, UINT uCmd);
W32API HWND WINAPI FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName);
W32API HWND WINAPI FindWindowExW(HWND hWndParent, HWND hWndChildAfter, LPCWSTR lpszClass,
                                 LPCWSTR lpszWindow);
W32API BOOL WINAPI EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam);
W32API BOOL WINAPI EnumChildWindows(HWND hWndParent, WNDENUMPROC lpEnumFunc, LPARAM lParam);
W32API DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId);
W32API BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow);
W32API BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy,
                                UINT uFlags);
W32API BOOL WINAPI SetLayeredWindowAttributes(HWND hwnd, COLORREF crKey, BYTE bAlpha,
                                              DWORD dwFlags);
W32API LONG_PTR WINAPI GetWindowLongPtrW(HWND hWnd, int nIndex);
W32API LONG_PTR WINAPI SetWindowLongPtrW(HWND hWnd, int nIndex, LONG_PTR dwNewLong);
W32API BOOL WINAPI SetWindowTextW(HWND hWnd, LPCWSTR lpString);
W32API int WINAPI GetWindowTextW(HWND hWnd, LPWSTR lpString, int nMaxCount);
W32API int WINAPI GetWindowTextLengthW(HWND hWnd);
W32API BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable);
W32API HWND WINAPI SetActiveWindow(HWND hWnd);
W32API HWND WINAPI GetActiveWindow(void);
W32API BOOL WINAPI SetForegroundWindow(HWND hWnd);
W32API HWND WINAPI GetForegroundWindow(void);
W32API HWND WINAPI SetFocus(HWND hWnd);
W32API HWND WINAPI GetFocus(void);
W32API int WINAPI GetDlgCtrlID(HWND hWnd);
W32API HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem);
W32API BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect);
W32API BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect);
W32API BOOL WINAPI InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL bErase);
W32API int WINAPI GetSystemMetrics(int nIndex);
W32API BOOL WINAPI GetCursorPos(LPPOINT lpPoint);
W32API HMONITOR WINAPI MonitorFromPoint(POINT pt, DWORD dwFlags);
W32API BOOL WINAPI GetMonitorInfoW(HMONITOR hMonitor, LPMONITORINFO lpmi);
W32API BOOL WINAPI ChangeWindowMessageFilter(UINT message, DWORD dwFlag);

#define GW_OWNER 4
#define GW_CHILD 5

// Messages.
W32API UINT WINAPI RegisterWindowMessageW(LPCWSTR lpString);
W32API LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
#define SMTO_NORMAL 0x0000
#define SMTO_BLOCK 0x0001
#define SMTO_ABORTIFHUNG 0x0002
W32API LRESULT WINAPI SendMessageTimeoutW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam,
                                          UINT fuFlags, UINT uTimeout, PDWORD_PTR lpdwResult);
W32API BOOL WINAPI PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
W32API BOOL WINAPI PostThreadMessageW(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam);
W32API void WINAPI PostQuitMessage(int nExitCode);
W32API BOOL WINAPI GetMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);
W32API BOOL WINAPI PeekMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                                UINT wRemoveMsg);
W32API BOOL WINAPI WaitMessage(void);
W32API BOOL WINAPI TranslateMessage(const MSG* lpMsg);
W32API LRESULT WINAPI DispatchMessageW(const MSG* lpMsg);
W32API LRESULT WINAPI DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
W32API LRESULT WINAPI CallWindowProcW(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam,
                                      LPARAM lParam);
W32API BOOL WINAPI InSendMessage(void);
W32API DWORD WINAPI GetMessageTime(void);
W32API UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc);
W32API BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent);
W32API LRESULT WINAPI SendDlgItemMessageW(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam,
                                          LPARAM lParam);
W32API BOOL WINAPI SetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPCWSTR lpString);
W32API UINT WINAPI GetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPWSTR lpString, int cchMax);

// Painting.
typedef struct tagPAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
} PAINTSTRUCT, *LPPAINTSTRUCT;

#define DT_LEFT 0x00000000
#define DT_CENTER 0x00000001
#define DT_SINGLELINE 0x00000020
#define DT_NOPREFIX 0x00000800
#define DT_CALCRECT 0x00000400

// A window's DC (null: the screen's); released with ReleaseDC.
W32API HDC WINAPI GetDC(HWND hWnd);
W32API int WINAPI ReleaseDC(HWND hWnd, HDC hDC);
W32API HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint);
W32API BOOL WINAPI EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint);
W32API BOOL WINAPI UpdateWindow(HWND hWnd);
W32API int WINAPI DrawTextW(HDC hdc, LPCWSTR lpchText, int cchText, LPRECT lprc, UINT format);
W32API BOOL WINAPI SetCursorPos(int X, int Y);

// What the last paint of a window showed, for the simulated user and tests
// in any process of the session: the answer to the window's WM_CTLCOLOR*
// message (the solid brush's colour, or CLR_INVALID; whether it was the
// hollow stock brush) and the DC's background mode and text colour when the
// paint ended.
typedef struct W32_PAINT_RECORD {
    BOOL answered;
    COLORREF brushColour;
    BOOL hollowBrush;
    int bkMode;
    COLORREF textColour;
} W32_PAINT_RECORD;
W32API BOOL WINAPI W32GetPaintRecord(HWND hWnd, W32_PAINT_RECORD* record);

// Cursors and icons.
W32API HCURSOR WINAPI LoadCursorW(HINSTANCE hInstance, LPCWSTR lpCursorName);
