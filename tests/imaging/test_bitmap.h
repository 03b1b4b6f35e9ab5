// Scanned bitmaps for the imaging tests, built byte by byte as the scanners
// write them: 14-byte file header, 40-byte information header, a colour table
// for 1, 4 and 8 bits per pixel, rows padded to 32-bit words, bottom-up or
// top-down.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vexlo::test {

struct Bgr {
    uint8_t b = 0;
    uint8_t g = 0;
    uint8_t r = 0;
    bool operator==(const Bgr&) const = default;
};

struct TestBitmap {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 24;
    std::vector<Bgr> palette;      // 1, 4 and 8 bits per pixel
    std::vector<uint8_t> indices;  // 1, 4 and 8 bits: colour table index per pixel, top row first
    std::vector<Bgr> pixels;       // 24 bits: top row first

    // The colour that the pixel shows.
    Bgr At(int x, int y) const;
};

struct BmpLayout {
    bool topDown = false;       // negative height, first row on top
    uint32_t colorsUsed = 0;    // biClrUsed; 0 writes the full colour table
    bool sizeImageSet = false;  // biSizeImage filled in (scanners often leave 0)
};

std::string EncodeBmp(const TestBitmap& bitmap, const BmpLayout& layout = {});

// Pixels from a fixed pseudo-random sequence; the colour table (up to
// colourCount entries, 0 = full) is random too.
TestBitmap PatternBitmap(int width, int height, int bitsPerPixel, uint32_t seed,
                         int colourCount = 0);
// A 24-bit bitmap of one colour.
TestBitmap UniformBitmap(int width, int height, Bgr colour);
// A 24-bit page as a scanner sees a printed sheet: white paper with dark
// lines of text and a little noise.
TestBitmap DocumentBitmap(int width, int height, uint32_t seed);

}  // namespace vexlo::test
