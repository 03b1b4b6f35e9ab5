// The little of GDI that dialogs' colour answers need.
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

W32API HBRUSH WINAPI CreateSolidBrush(COLORREF color);
W32API HGDIOBJ WINAPI GetStockObject(int i);
W32API BOOL WINAPI DeleteObject(HGDIOBJ ho);
W32API int WINAPI SetBkMode(HDC hdc, int mode);
W32API COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color);
// The colour of a brush made by CreateSolidBrush; CLR_INVALID for others.
W32API COLORREF WINAPI W32GetBrushColor(HBRUSH brush);
#define CLR_INVALID 0xFFFFFFFF
