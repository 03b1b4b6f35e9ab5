// The drawing steps of PrintPages on a printer DC whose map mode makes one
// logical unit one printer pixel: page images stretched to the printable
// width, the cut line between two images on one sheet, and whether the next
// image still fits on the open sheet. Positions are device rows from the top
// of the printable area; -1 means that nothing could be drawn.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <string>

namespace vexlo {

// The id of the cut-line bitmap resource: 1728 x 42, a red dash-dot line on
// white.
inline constexpr int kCutLineBitmapId = 400;
inline constexpr int kCutLineWidth = 1728;
inline constexpr int kCutLineHeight = 42;

// A top-down 24-bit DIB section holding the image (three channels). E_FAIL,
// and no bitmap, when the image cannot be loaded or the section made.
HRESULT CreateDibFromImageFile(const std::u16string& imageFile, HBITMAP* bitmap);
// LoadBitmapW of resource 400 of the module.
HRESULT LoadCutLineBitmap(HINSTANCE instance, HBITMAP* bitmap);
// The module that holds the cut-line bitmap.
HINSTANCE ImagingModule();
// StartPage, then MM_ISOTROPIC with window and viewport extents both
// (HORZRES, VERTRES) and the viewport origin at 0. StartPage's result.
int BeginPrintPage(HDC printer);
// Draws the bitmap at y across the printable width; with cropMargins the
// printer's unprintable margins are cut off the image, taken as the whole
// physical sheet. The next y, or -1.
int StretchBitmapToPage(HDC printer, HBITMAP bitmap, int y, bool cropMargins);
int DrawPageImage(HDC printer, const std::u16string& imageFile, int y);
int DrawCutLine(HDC printer, int y);
// Whether the cut line and the next image fit under y, leaving a tenth of
// the sheet free; false when either cannot be loaded.
bool NextImageFits(HDC printer, int y, const std::u16string& nextImageFile);

}  // namespace vexlo
