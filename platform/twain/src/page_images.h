// The images a virtual source scans: synthetic test pages (a pattern that
// differs from page to page) or image files, turned into packed DIBs.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "source_description.h"
#include "twain.h"

namespace twain_dsm {

// One page ready for transfer: bottom-up rows padded to 32-bit words, as a
// DIB holds them.
struct PageImage {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 8;
    std::vector<uint8_t> rows;

    size_t RowBytes() const;
};

// The page's pixels: the synthetic pattern for `pageNumber` (from 1), or the
// named image file turned to the page's depth; nothing when the file cannot
// be read.
std::optional<PageImage> RenderPage(const PageSpec& spec, int pageNumber);

// The image information of a page scanned at that resolution.
TW_IMAGEINFO DescribePage(const PageImage& page, const CapValue& xResolution,
                          const CapValue& yResolution);

// A packed DIB (40-byte BITMAPINFOHEADER, the full colour table for 1 and 8
// bits, the rows) in moveable global memory; null when memory runs out.
HGLOBAL MakeDib(const PageImage& page, const CapValue& xResolution, const CapValue& yResolution);

}  // namespace twain_dsm
