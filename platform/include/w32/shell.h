// Shell folders and ShellExecuteW.
#pragma once

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
// (default xdg-open). A result greater than 32 is success.
W32API HINSTANCE WINAPI ShellExecuteW(HWND hwnd, LPCWSTR lpOperation, LPCWSTR lpFile,
                                      LPCWSTR lpParameters, LPCWSTR lpDirectory, INT nShowCmd);
