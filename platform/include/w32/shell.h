// Shell folders and ShellExecuteW.
#pragma once

#include "w32/com.h"
#include "w32/types.h"

#define CSIDL_APPDATA 0x001a
#define CSIDL_LOCAL_APPDATA 0x001c
#define CSIDL_PERSONAL 0x0005
#define CSIDL_FLAG_CREATE 0x8000
#define SHGFP_TYPE_CURRENT 0
#define SHGFP_TYPE_DEFAULT 1

// CSIDL_APPDATA is $APPDATA when set, else $XDG_CONFIG_HOME, else ~/.config.
// E_FAIL when none of them gives an absolute path.
W32API HRESULT WINAPI SHGetFolderPathW(HWND hwnd, int csidl, HANDLE hToken, DWORD dwFlags,
                                       LPWSTR pszPath);

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOWMAXIMIZED 3
#define SW_MAXIMIZE 3
#define SW_SHOWNOACTIVATE 4
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_SHOWMINNOACTIVE 7
#define SW_SHOWNA 8
#define SW_RESTORE 9
#define SW_SHOWDEFAULT 10

#define SE_ERR_FNF 2
#define SE_ERR_PNF 3
#define SE_ERR_ACCESSDENIED 5
#define SE_ERR_OOM 8
#define SE_ERR_NOASSOC 31

// "open" of a program name starts it as a new process of the same session
// (found in the calling module's folder, then on PATH; "x.exe" also finds
// "x"); "open" of a URL hands it to the opener named by $W32_URL_OPENER
// (default xdg-open). Addresses are what the Windows shell takes as such:
// "http:", "https:", "mailto:" and a bare "www." name (opened as
// "http://www."); another scheme has no handler here (SE_ERR_NOASSOC). A
// result greater than 32 is success.
W32API HINSTANCE WINAPI ShellExecuteW(HWND hwnd, LPCWSTR lpOperation, LPCWSTR lpFile,
                                      LPCWSTR lpParameters, LPCWSTR lpDirectory, INT nShowCmd);

// The notification area. An icon is identified by its window and uID; every
// process of the session sees the same area.
#define NIM_ADD 0x00000000
#define NIM_MODIFY 0x00000001
#define NIM_DELETE 0x00000002
#define NIM_SETFOCUS 0x00000003
#define NIM_SETVERSION 0x00000004

#define NIF_MESSAGE 0x00000001
#define NIF_ICON 0x00000002
#define NIF_TIP 0x00000004
#define NIF_STATE 0x00000008
#define NIF_INFO 0x00000010

typedef struct _NOTIFYICONDATAW {
    DWORD cbSize;
    HWND hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    HICON hIcon;
    WCHAR szTip[128];
    DWORD dwState;
    DWORD dwStateMask;
    WCHAR szInfo[256];
    union {
        UINT uTimeout;
        UINT uVersion;
    } DUMMYUNIONNAME;
    WCHAR szInfoTitle[64];
    DWORD dwInfoFlags;
    GUID guidItem;
    HICON hBalloonIcon;
} NOTIFYICONDATAW, *PNOTIFYICONDATAW;

// The documented earlier sizes: before the 128-character tip, before
// guidItem, before hBalloonIcon.
#define NOTIFYICONDATAW_V1_SIZE (__builtin_offsetof(NOTIFYICONDATAW, szTip) + 64 * sizeof(WCHAR))
#define NOTIFYICONDATAW_V2_SIZE __builtin_offsetof(NOTIFYICONDATAW, guidItem)
#define NOTIFYICONDATAW_V3_SIZE __builtin_offsetof(NOTIFYICONDATAW, hBalloonIcon)

W32API BOOL WINAPI Shell_NotifyIconW(DWORD dwMessage, PNOTIFYICONDATAW lpData);

// What the session's notification area shows of one icon (the simulated
// user's view of it).
typedef struct W32_NOTIFY_ICON {
    DWORD pid;  // the process that owns the icon's window
    HWND hWnd;
    UINT uID;
    UINT uCallbackMessage;  // 0 when none was set
    HICON hIcon;
    WCHAR szTip[128];
} W32_NOTIFY_ICON;

// The icons of the session, oldest first; icons whose window no longer
// exists are dropped on the way. Copies at most max of them and returns how
// many there are.
W32API int WINAPI W32ListNotifyIcons(W32_NOTIFY_ICON* icons, int max);
