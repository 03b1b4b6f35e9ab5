// GDI of the stand-in, as far as the dialogs need it: brushes, stock
// objects, device-context colours and modes, bitmaps. Objects are handles of
// the session's handle space, freed with DeleteObject; stock objects are
// never freed. Drawing itself paints nothing (there is no screen).
#pragma once

#include "w32/types.h"

// Stock objects.
#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define HOLLOW_BRUSH NULL_BRUSH
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8
#define OEM_FIXED_FONT 10
#define ANSI_FIXED_FONT 11
#define ANSI_VAR_FONT 12
#define SYSTEM_FONT 13
#define DEVICE_DEFAULT_FONT 14
#define DEFAULT_PALETTE 15
#define SYSTEM_FIXED_FONT 16
#define DEFAULT_GUI_FONT 17
#define DC_BRUSH 18
#define DC_PEN 19

// Background modes.
#define TRANSPARENT 1
#define OPAQUE 2

// Brush styles (LOGBRUSH).
#define BS_SOLID 0
#define BS_NULL 1
#define BS_HOLLOW BS_NULL
#define BS_HATCHED 2
#define BS_PATTERN 3

// Object types (GetObjectType).
#define OBJ_PEN 1
#define OBJ_BRUSH 2
#define OBJ_DC 3
#define OBJ_PAL 5
#define OBJ_FONT 6
#define OBJ_BITMAP 7
#define OBJ_MEMDC 10

#define CLR_INVALID 0xFFFFFFFF

#define BI_RGB 0L
#define BI_RLE8 1L
#define BI_RLE4 2L
#define BI_BITFIELDS 3L
#define DIB_RGB_COLORS 0
#define DIB_PAL_COLORS 1

#define SRCCOPY (DWORD)0x00CC0020

typedef struct tagLOGBRUSH {
    UINT lbStyle;
    COLORREF lbColor;
    ULONG_PTR lbHatch;
} LOGBRUSH, *PLOGBRUSH, *LPLOGBRUSH;

typedef struct tagBITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
} BITMAP, *PBITMAP, *LPBITMAP;

#pragma pack(push, 2)
typedef struct tagBITMAPFILEHEADER {
    WORD bfType;
    DWORD bfSize;
    WORD bfReserved1;
    WORD bfReserved2;
    DWORD bfOffBits;
} BITMAPFILEHEADER, *LPBITMAPFILEHEADER, *PBITMAPFILEHEADER;
#pragma pack(pop)

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
} BITMAPINFOHEADER, *LPBITMAPINFOHEADER, *PBITMAPINFOHEADER;

typedef struct tagRGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
} RGBQUAD, *LPRGBQUAD;

typedef struct tagBITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
} BITMAPINFO, *LPBITMAPINFO, *PBITMAPINFO;

W32API HBRUSH WINAPI CreateSolidBrush(COLORREF color);
W32API HBRUSH WINAPI CreateBrushIndirect(const LOGBRUSH* plbrush);
W32API HGDIOBJ WINAPI GetStockObject(int i);
W32API BOOL WINAPI DeleteObject(HGDIOBJ ho);
W32API DWORD WINAPI GetObjectType(HGDIOBJ h);
// LOGBRUSH for a brush, BITMAP for a bitmap; the size written, 0 on failure.
W32API int WINAPI GetObjectW(HANDLE h, int c, LPVOID pv);
W32API HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h);

// Device contexts.
W32API HDC WINAPI CreateCompatibleDC(HDC hdc);
W32API BOOL WINAPI DeleteDC(HDC hdc);
W32API int WINAPI SetBkMode(HDC hdc, int mode);
W32API int WINAPI GetBkMode(HDC hdc);
W32API COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color);
W32API COLORREF WINAPI GetBkColor(HDC hdc);
W32API COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color);
W32API COLORREF WINAPI GetTextColor(HDC hdc);

// Bitmaps: 32 bits a pixel, top-down rows, held in memory.
W32API HBITMAP WINAPI CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount,
                                   const void* lpBits);
W32API HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int cx, int cy);
W32API LONG WINAPI GetBitmapBits(HBITMAP hbit, LONG cb, LPVOID lpvBits);
W32API int WINAPI GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, LPVOID lpvBits,
                            LPBITMAPINFO lpbmi, UINT usage);
