// GDI: brushes, bitmaps (DIB sections and bitmaps from resources), memory and
// printer device contexts, map modes and StretchBlt.
#pragma once

#include "w32/types.h"

#define TRANSPARENT 1
#define OPAQUE 2

#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define HOLLOW_BRUSH NULL_BRUSH

#define CLR_INVALID 0xFFFFFFFF
#define HGDI_ERROR ((HGDIOBJ)(LONG_PTR)-1)

typedef struct tagBITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
} BITMAP, *PBITMAP, *LPBITMAP;

typedef struct tagRGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
} RGBQUAD;

typedef struct tagBITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
} BITMAPINFOHEADER, *PBITMAPINFOHEADER, *LPBITMAPINFOHEADER;

typedef struct tagBITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
} BITMAPINFO, *PBITMAPINFO, *LPBITMAPINFO;

#define BI_RGB 0
#define DIB_RGB_COLORS 0

// GetDeviceCaps indices.
#define HORZSIZE 4
#define VERTSIZE 6
#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define PLANES 14
#define LOGPIXELSX 88
#define LOGPIXELSY 90
#define PHYSICALWIDTH 110
#define PHYSICALHEIGHT 111
#define PHYSICALOFFSETX 112
#define PHYSICALOFFSETY 113

// Map modes.
#define MM_TEXT 1
#define MM_ISOTROPIC 7
#define MM_ANISOTROPIC 8

// Raster operations.
#define SRCCOPY 0x00CC0020

W32API HBRUSH WINAPI CreateSolidBrush(COLORREF color);
W32API HGDIOBJ WINAPI GetStockObject(int i);
W32API BOOL WINAPI DeleteObject(HGDIOBJ ho);
W32API HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h);
W32API int WINAPI GetObjectW(HANDLE h, int c, LPVOID pv);

W32API HDC WINAPI CreateCompatibleDC(HDC hdc);
W32API BOOL WINAPI DeleteDC(HDC hdc);
W32API HBITMAP WINAPI CreateDIBSection(HDC hdc, const BITMAPINFO* pbmi, UINT usage, void** ppvBits,
                                       HANDLE hSection, DWORD offset);
W32API int WINAPI GetDeviceCaps(HDC hdc, int index);

W32API int WINAPI SetBkMode(HDC hdc, int mode);
W32API int WINAPI GetBkMode(HDC hdc);
W32API COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color);
W32API COLORREF WINAPI GetTextColor(HDC hdc);

W32API int WINAPI SetMapMode(HDC hdc, int iMode);
W32API int WINAPI GetMapMode(HDC hdc);
W32API BOOL WINAPI SetWindowExtEx(HDC hdc, int x, int y, LPSIZE lpsz);
W32API BOOL WINAPI SetViewportExtEx(HDC hdc, int x, int y, LPSIZE lpsz);
W32API BOOL WINAPI SetWindowOrgEx(HDC hdc, int x, int y, LPPOINT lppt);
W32API BOOL WINAPI SetViewportOrgEx(HDC hdc, int x, int y, LPPOINT lppt);
W32API BOOL WINAPI StretchBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc,
                              int xSrc, int ySrc, int wSrc, int hSrc, DWORD rop);

// The number of GDI objects the process holds.
#define GR_GDIOBJECTS 0
#define GR_USEROBJECTS 1
W32API DWORD WINAPI GetGuiResources(HANDLE hProcess, DWORD uiFlags);

// The colour of a brush made by CreateSolidBrush; CLR_INVALID for others.
W32API COLORREF WINAPI W32GetBrushColor(HBRUSH brush);
// Tests read pixels of a bitmap: the colour at (x, y), top row 0;
// CLR_INVALID outside the bitmap or for a handle that is no bitmap.
W32API COLORREF WINAPI W32GetBitmapPixel(HBITMAP bitmap, int x, int y);
