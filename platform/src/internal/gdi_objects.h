// The GDI object table shared by the GDI and printing parts of the stand-in:
// bitmaps with real pixel memory and device contexts, by handle value.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "w32/gdi.h"

namespace w32::gdi {

// A bitmap's pixels: rows of 1, 8, 24 or 32 bits per pixel, each row padded
// to whole 32-bit words, stored top row first or bottom row first.
struct Bitmap {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 24;
    bool topDown = false;
    int stride = 0;
    std::vector<RGBQUAD> palette;  // 1 and 8 bits per pixel
    uint8_t* bits = nullptr;       // owned: freed with the bitmap
    uint32_t selectedInto = 0;     // the DC that holds it, 0 for none

    ~Bitmap();
    // The colour of (x, y), top row 0, as red, green, blue.
    void Read(int x, int y, uint8_t rgb[3]) const;
    void Write(int x, int y, const uint8_t rgb[3]);
};

// What a printer DC draws on: the open sheet of a document.
class DeviceSurface {
public:
    virtual ~DeviceSurface() = default;
    virtual int Caps(int index) = 0;
    // Copies srcRect of the bitmap to the device rectangle, scaled; the
    // surface clips to its printable area and keeps a record of the call.
    virtual void Stretch(const RECT& device, const Bitmap& source, const RECT& srcRect) = 0;
};

// A new printer DC drawing on the surface.
HDC CreateDeviceDc(std::shared_ptr<DeviceSurface> surface);
// The surface of a printer DC; null for any other handle.
std::shared_ptr<DeviceSurface> SurfaceOf(HDC dc);
// Resets the DC's drawing state (map mode, extents, origins), as StartPage
// and ResetDC do on a printer.
void ResetDrawingState(HDC dc);

// A bitmap object made from a packed DIB (the layout of an RT_BITMAP
// resource: BITMAPINFOHEADER, colour table, rows); null when it is not one.
HBITMAP CreateBitmapFromPackedDib(const void* data, size_t size);

}  // namespace w32::gdi
