// Code-page conversion. The ANSI code page (CP_ACP, CP_THREAD_ACP) is set by
// the environment variable W32_ACP (default 65001, UTF-8, which keeps file
// names valid on Linux); 1251 and 1252 are supported single-byte pages.
#pragma once

#include "w32/types.h"

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_MACCP 2
#define CP_THREAD_ACP 3
#define CP_UTF7 65000
#define CP_UTF8 65001

#define MB_PRECOMPOSED 0x00000001
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_COMPOSITECHECK 0x00000200
#define WC_DEFAULTCHAR 0x00000040
#define WC_NO_BEST_FIT_CHARS 0x00000400
#define WC_ERR_INVALID_CHARS 0x00000080

// cchWideChar / cbMultiByte of -1 means "up to and including the terminator".
// An output size of 0 asks for the size needed. Characters without a mapping
// become the default character ('?' unless lpDefaultChar gives one) and set
// *lpUsedDefaultChar. UTF-8 output ignores the default-character arguments and
// writes U+FFFD for an unpaired surrogate.
W32API int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr,
                                      int cchWideChar, LPSTR lpMultiByteStr, int cbMultiByte,
                                      LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar);
W32API int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr,
                                      int cbMultiByte, LPWSTR lpWideCharStr, int cchWideChar);
W32API UINT WINAPI GetACP(void);
W32API UINT WINAPI GetOEMCP(void);
W32API BOOL WINAPI IsValidCodePage(UINT CodePage);
