#include "page_images.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace twain_dsm {
namespace {

// The fields of a BITMAPINFOHEADER, written byte by byte in little-endian
// order so that the layout does not depend on any header of the platform.
constexpr size_t kInfoHeaderSize = 40;

void Put16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void Put32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

int ColourEntries(int bitsPerPixel) {
    return bitsPerPixel == 1 ? 2 : bitsPerPixel == 8 ? 256 : 0;
}

double Dpi(const CapValue& value) {
    return value.whole + value.frac / 65536.0;
}

uint32_t PixelsPerMetre(const CapValue& dpi) {
    double ppm = Dpi(dpi) / 0.0254;
    return ppm > 0 ? static_cast<uint32_t>(std::lround(ppm)) : 0;
}

// The test pattern: light paper with dark blocks whose arrangement shifts
// with the page number, so that pages of one run differ.
uint8_t PatternGrey(int x, int y, int width, int height, int pageNumber) {
    if (x < 8 || y < 8 || x >= width - 8 || y >= height - 8) {
        return 0;  // a dark frame
    }
    bool dark = ((x / 64) + (y / 64) + pageNumber) % 5 == 0;
    return dark ? 32 : static_cast<uint8_t>(200 + (x * 55) / std::max(1, width));
}

void SetBit(uint8_t* row, int x, bool white) {
    uint8_t mask = static_cast<uint8_t>(0x80 >> (x % 8));
    if (white) {
        row[x / 8] |= mask;
    } else {
        row[x / 8] &= static_cast<uint8_t>(~mask);
    }
}

PageImage Blank(int width, int height, int bitsPerPixel) {
    PageImage page;
    page.width = width;
    page.height = height;
    page.bitsPerPixel = bitsPerPixel;
    page.rows.assign(page.RowBytes() * static_cast<size_t>(height), 0);
    return page;
}

// Row y from the top is DIB row (height - 1 - y).
uint8_t* RowFromTop(PageImage& page, int y) {
    return page.rows.data() + page.RowBytes() * static_cast<size_t>(page.height - 1 - y);
}

PageImage Synthetic(const PageSpec& spec, int pageNumber) {
    PageImage page = Blank(spec.width, spec.height, spec.bitsPerPixel);
    for (int y = 0; y < page.height; ++y) {
        uint8_t* row = RowFromTop(page, y);
        for (int x = 0; x < page.width; ++x) {
            uint8_t grey = PatternGrey(x, y, page.width, page.height, pageNumber);
            switch (page.bitsPerPixel) {
                case 1:
                    SetBit(row, x, grey >= 128);
                    break;
                case 8:
                    row[x] = grey;
                    break;
                default: {
                    // Blue, green, red: tinted by position and page.
                    uint8_t* pixel = row + 3 * x;
                    pixel[0] = static_cast<uint8_t>(grey * (pageNumber % 3 + 1) / 3);
                    pixel[1] = static_cast<uint8_t>(grey * y / std::max(1, page.height));
                    pixel[2] = grey;
                    break;
                }
            }
        }
    }
    return page;
}

std::optional<PageImage> FromFile(const PageSpec& spec) {
    cv::Mat image;
    try {
        image = cv::imread(spec.file,
                           spec.bitsPerPixel == 24 ? cv::IMREAD_COLOR : cv::IMREAD_GRAYSCALE);
    } catch (const cv::Exception&) {
        return std::nullopt;
    }
    if (image.empty() || image.cols > 20000 || image.rows > 30000) {
        return std::nullopt;
    }
    PageImage page = Blank(image.cols, image.rows, spec.bitsPerPixel);
    for (int y = 0; y < page.height; ++y) {
        uint8_t* row = RowFromTop(page, y);
        const uint8_t* source = image.ptr<uint8_t>(y);
        if (page.bitsPerPixel == 1) {
            for (int x = 0; x < page.width; ++x) {
                SetBit(row, x, source[x] >= 128);
            }
        } else {
            // OpenCV keeps colour pixels as blue, green, red, as a DIB does.
            std::memcpy(row, source, static_cast<size_t>(page.width) * page.bitsPerPixel / 8);
        }
    }
    return page;
}

}  // namespace

size_t PageImage::RowBytes() const {
    return ((static_cast<size_t>(width) * bitsPerPixel + 31) / 32) * 4;
}

std::optional<PageImage> RenderPage(const PageSpec& spec, int pageNumber) {
    if (!spec.file.empty()) {
        return FromFile(spec);
    }
    return Synthetic(spec, pageNumber);
}

TW_IMAGEINFO DescribePage(const PageImage& page, const CapValue& xResolution,
                          const CapValue& yResolution) {
    TW_IMAGEINFO info = {};
    info.XResolution.Whole = static_cast<TW_INT16>(xResolution.whole);
    info.XResolution.Frac = xResolution.frac;
    info.YResolution.Whole = static_cast<TW_INT16>(yResolution.whole);
    info.YResolution.Frac = yResolution.frac;
    info.ImageWidth = page.width;
    info.ImageLength = page.height;
    info.Planar = FALSE;
    info.Compression = TWCP_NONE;
    info.BitsPerPixel = static_cast<TW_INT16>(page.bitsPerPixel);
    if (page.bitsPerPixel == 24) {
        info.SamplesPerPixel = 3;
        info.BitsPerSample[0] = info.BitsPerSample[1] = info.BitsPerSample[2] = 8;
        info.PixelType = TWPT_RGB;
    } else {
        info.SamplesPerPixel = 1;
        info.BitsPerSample[0] = static_cast<TW_INT16>(page.bitsPerPixel);
        info.PixelType = page.bitsPerPixel == 1 ? TWPT_BW : TWPT_GRAY;
    }
    return info;
}

HGLOBAL MakeDib(const PageImage& page, const CapValue& xResolution, const CapValue& yResolution) {
    const int entries = ColourEntries(page.bitsPerPixel);
    const size_t tableBytes = 4 * static_cast<size_t>(entries);
    const size_t total = kInfoHeaderSize + tableBytes + page.rows.size();
    HGLOBAL dib = GlobalAlloc(GMEM_MOVEABLE, total);
    if (dib == nullptr) {
        return nullptr;
    }
    auto* memory = static_cast<uint8_t*>(GlobalLock(dib));
    if (memory == nullptr) {
        GlobalFree(dib);
        return nullptr;
    }
    std::memset(memory, 0, kInfoHeaderSize);
    Put32(memory + 0, kInfoHeaderSize);                            // biSize
    Put32(memory + 4, static_cast<uint32_t>(page.width));          // biWidth
    Put32(memory + 8, static_cast<uint32_t>(page.height));         // biHeight: bottom-up
    Put16(memory + 12, 1);                                         // biPlanes
    Put16(memory + 14, static_cast<uint16_t>(page.bitsPerPixel));  // biBitCount
    Put32(memory + 16, 0);                                         // biCompression BI_RGB
    Put32(memory + 20, static_cast<uint32_t>(page.rows.size()));   // biSizeImage
    Put32(memory + 24, PixelsPerMetre(xResolution));               // biXPelsPerMeter
    Put32(memory + 28, PixelsPerMetre(yResolution));               // biYPelsPerMeter
    Put32(memory + 32, static_cast<uint32_t>(entries));            // biClrUsed
    uint8_t* table = memory + kInfoHeaderSize;
    for (int i = 0; i < entries; ++i) {
        // Index 0 black, the last white, greys between.
        uint8_t level = static_cast<uint8_t>(entries == 2 ? i * 255 : i);
        table[4 * i + 0] = level;
        table[4 * i + 1] = level;
        table[4 * i + 2] = level;
        table[4 * i + 3] = 0;
    }
    std::memcpy(table + tableBytes, page.rows.data(), page.rows.size());
    GlobalUnlock(dib);
    return dib;
}

}  // namespace twain_dsm
