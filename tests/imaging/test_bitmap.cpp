#include "test_bitmap.h"

#include <random>

namespace vexlo::test {
namespace {

void PutLe16(std::string& out, uint16_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8);
}

void PutLe32(std::string& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out += static_cast<char>((value >> shift) & 0xFF);
    }
}

size_t RowBytes(int width, int bitsPerPixel) {
    return ((static_cast<size_t>(width) * bitsPerPixel + 31) / 32) * 4;
}

std::string EncodeRow(const TestBitmap& bitmap, int y) {
    std::string row(RowBytes(bitmap.width, bitmap.bitsPerPixel), '\0');
    for (int x = 0; x < bitmap.width; ++x) {
        size_t at = static_cast<size_t>(y) * bitmap.width + x;
        if (bitmap.bitsPerPixel == 24) {
            const Bgr& p = bitmap.pixels[at];
            row[3 * x] = static_cast<char>(p.b);
            row[3 * x + 1] = static_cast<char>(p.g);
            row[3 * x + 2] = static_cast<char>(p.r);
        } else {
            int perByte = 8 / bitmap.bitsPerPixel;
            int shift = 8 - bitmap.bitsPerPixel * (x % perByte + 1);
            row[x / perByte] = static_cast<char>(static_cast<uint8_t>(row[x / perByte]) |
                                                 (bitmap.indices[at] << shift));
        }
    }
    return row;
}

}  // namespace

Bgr TestBitmap::At(int x, int y) const {
    size_t at = static_cast<size_t>(y) * width + x;
    return bitsPerPixel == 24 ? pixels[at] : palette[indices[at]];
}

std::string EncodeBmp(const TestBitmap& bitmap, const BmpLayout& layout) {
    uint32_t entries = 0;
    if (bitmap.bitsPerPixel <= 8) {
        entries = layout.colorsUsed != 0 ? layout.colorsUsed : (1u << bitmap.bitsPerPixel);
    }
    size_t rowBytes = RowBytes(bitmap.width, bitmap.bitsPerPixel);
    uint32_t imageBytes = static_cast<uint32_t>(rowBytes * bitmap.height);
    uint32_t offset = 14 + 40 + 4 * entries;

    std::string out;
    out.reserve(offset + imageBytes);
    out += "BM";
    PutLe32(out, offset + imageBytes);
    PutLe16(out, 0);
    PutLe16(out, 0);
    PutLe32(out, offset);
    PutLe32(out, 40);
    PutLe32(out, static_cast<uint32_t>(bitmap.width));
    PutLe32(out, static_cast<uint32_t>(layout.topDown ? -bitmap.height : bitmap.height));
    PutLe16(out, 1);
    PutLe16(out, static_cast<uint16_t>(bitmap.bitsPerPixel));
    PutLe32(out, 0);  // BI_RGB
    PutLe32(out, layout.sizeImageSet ? imageBytes : 0);
    PutLe32(out, 7874);  // 200 dpi in pixels per metre
    PutLe32(out, 7874);
    PutLe32(out, layout.colorsUsed);
    PutLe32(out, 0);
    for (uint32_t i = 0; i < entries; ++i) {
        Bgr c = i < bitmap.palette.size() ? bitmap.palette[i] : Bgr{};
        out += static_cast<char>(c.b);
        out += static_cast<char>(c.g);
        out += static_cast<char>(c.r);
        out += '\0';
    }
    for (int i = 0; i < bitmap.height; ++i) {
        out += EncodeRow(bitmap, layout.topDown ? i : bitmap.height - 1 - i);
    }
    return out;
}

TestBitmap PatternBitmap(int width, int height, int bitsPerPixel, uint32_t seed, int colourCount) {
    std::mt19937 random(seed);
    auto byte = [&] { return static_cast<uint8_t>(random() & 0xFF); };
    TestBitmap bitmap;
    bitmap.width = width;
    bitmap.height = height;
    bitmap.bitsPerPixel = bitsPerPixel;
    size_t count = static_cast<size_t>(width) * height;
    if (bitsPerPixel == 24) {
        bitmap.pixels.resize(count);
        for (Bgr& p : bitmap.pixels) {
            p = {byte(), byte(), byte()};
        }
        return bitmap;
    }
    int colours = colourCount != 0 ? colourCount : (1 << bitsPerPixel);
    bitmap.palette.resize(static_cast<size_t>(colours));
    for (Bgr& c : bitmap.palette) {
        c = {byte(), byte(), byte()};
    }
    bitmap.indices.resize(count);
    for (uint8_t& index : bitmap.indices) {
        index = static_cast<uint8_t>(random() % static_cast<unsigned>(colours));
    }
    return bitmap;
}

TestBitmap UniformBitmap(int width, int height, Bgr colour) {
    TestBitmap bitmap;
    bitmap.width = width;
    bitmap.height = height;
    bitmap.pixels.assign(static_cast<size_t>(width) * height, colour);
    return bitmap;
}

TestBitmap DocumentBitmap(int width, int height, uint32_t seed) {
    std::mt19937 random(seed);
    TestBitmap bitmap = UniformBitmap(width, height, {250, 250, 250});
    constexpr int kLineHeight = 40;
    constexpr int kGlyphHeight = 24;
    for (int top = 150; top + kLineHeight < height - 150; top += kLineHeight) {
        for (int x = 120; x < width - 120;) {
            int glyph = 8 + static_cast<int>(random() % 18);
            bool space = random() % 6 == 0;
            if (!space) {
                for (int y = top; y < top + kGlyphHeight; ++y) {
                    for (int dx = 0; dx < glyph && x + dx < width - 120; ++dx) {
                        if ((dx + y) % 5 != 0) {
                            bitmap.pixels[static_cast<size_t>(y) * width + x + dx] = {30, 25, 20};
                        }
                    }
                }
            }
            x += glyph + 4;
        }
    }
    for (int i = 0; i < width * height / 200; ++i) {
        size_t at = random() % bitmap.pixels.size();
        bitmap.pixels[at] = {200, 205, 210};
    }
    return bitmap;
}

}  // namespace vexlo::test
