#include "page_renderer.h"

#include <png.h>

#include <algorithm>
#include <string>

namespace faxservice {

namespace {

struct Canvas {
    int width;
    int height;
    std::vector<unsigned char> pixels;  // 8-bit grey, top row first

    void Fill(int x, int y, int w, int h, unsigned char value) {
        int x0 = std::clamp(x, 0, width), x1 = std::clamp(x + w, 0, width);
        int y0 = std::clamp(y, 0, height), y1 = std::clamp(y + h, 0, height);
        for (int row = y0; row < y1; ++row) {
            std::fill(pixels.begin() + static_cast<ptrdiff_t>(row) * width + x0,
                      pixels.begin() + static_cast<ptrdiff_t>(row) * width + x1, value);
        }
    }
};

// Segments a..g of a seven-segment digit, bit 0 = a (top), clockwise, g middle.
constexpr unsigned char kSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66,
                                         0x6D, 0x7D, 0x07, 0x7F, 0x6F};

void DrawDigit(Canvas& canvas, int digit, int x, int y, int w, int h) {
    int t = std::max(1, h / 8);
    int half = h / 2;
    unsigned char bits = kSegments[digit];
    auto on = [bits](int segment) { return (bits >> segment) & 1; };
    if (on(0))
        canvas.Fill(x, y, w, t, 0);  // a
    if (on(1))
        canvas.Fill(x + w - t, y, t, half, 0);  // b
    if (on(2))
        canvas.Fill(x + w - t, y + half, t, h - half, 0);  // c
    if (on(3))
        canvas.Fill(x, y + h - t, w, t, 0);  // d
    if (on(4))
        canvas.Fill(x, y + half, t, h - half, 0);  // e
    if (on(5))
        canvas.Fill(x, y, t, half, 0);  // f
    if (on(6))
        canvas.Fill(x, y + half - t / 2, w, t, 0);  // g
}

void DrawNumber(Canvas& canvas, int number) {
    std::string digits = std::to_string(number);
    int count = static_cast<int>(digits.size());
    // Digit cells are 0.6 of their height wide with a gap of a fifth of that.
    int h = std::min(canvas.height / 2, canvas.width * 10 / (count * 7 + 1));
    int w = h * 6 / 10;
    int gap = std::max(1, w / 5);
    if (h < 5 || w < 3) {
        return;  // too small a page for a legible number
    }
    int total = count * w + (count - 1) * gap;
    int x = (canvas.width - total) / 2;
    int y = (canvas.height - h) / 2;
    for (char c : digits) {
        DrawDigit(canvas, c - '0', x, y, w, h);
        x += w + gap;
    }
}

void AppendToVector(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

std::vector<unsigned char> EncodePng(const Canvas& canvas) {
    std::vector<unsigned char> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) {
        return out;
    }
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return {};
    }
    png_set_write_fn(png, &out, AppendToVector, nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(canvas.width),
                 static_cast<png_uint_32>(canvas.height), 8, PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int row = 0; row < canvas.height; ++row) {
        png_write_row(png, const_cast<png_bytep>(canvas.pixels.data() +
                                                 static_cast<ptrdiff_t>(row) * canvas.width));
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

}  // namespace

std::vector<unsigned char> RenderPage(int number, int width, int height) {
    if (width <= 0 || height <= 0 || number < 0) {
        return {};
    }
    Canvas canvas{width, height,
                  std::vector<unsigned char>(static_cast<size_t>(width) * height, 255)};
    int frame = std::max(1, std::min(width, height) / 100);
    canvas.Fill(0, 0, width, frame, 0);
    canvas.Fill(0, height - frame, width, frame, 0);
    canvas.Fill(0, 0, frame, height, 0);
    canvas.Fill(width - frame, 0, frame, height, 0);
    DrawNumber(canvas, number);
    return EncodePng(canvas);
}

}  // namespace faxservice
