#include "page_files.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>

namespace vexlo::test {
namespace {

uint32_t Be32(const std::string& bytes, size_t at) {
    return (static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 8) |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3]));
}

int Be16(const std::string& bytes, size_t at) {
    return (static_cast<uint8_t>(bytes[at]) << 8) | static_cast<uint8_t>(bytes[at + 1]);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Holds no object with a destructor: a libpng error leaves it by longjmp.
bool DecodeInto(png_structp png, png_infop info, FILE* file, DecodedPng* out) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    out->width = png_get_image_width(png, info);
    out->height = png_get_image_height(png, info);
    out->bitDepth = png_get_bit_depth(png, info);
    out->colorType = png_get_color_type(png, info);
    out->channels = png_get_channels(png, info);
    png_uint_32 x = 0;
    png_uint_32 y = 0;
    int unit = 0;
    if (png_get_pHYs(png, info, &x, &y, &unit) != 0) {
        out->hasPhys = true;
        out->physX = x;
        out->physY = y;
        out->physUnit = unit;
    }
    if (out->bitDepth != 8) {
        return false;
    }
    size_t rowBytes = png_get_rowbytes(png, info);
    out->samples.resize(rowBytes * out->height);
    for (png_uint_32 row = 0; row < out->height; ++row) {
        png_read_row(png, out->samples.data() + rowBytes * row, nullptr);
    }
    png_read_end(png, nullptr);
    return true;
}

}  // namespace

DecodedPng DecodePng(const std::filesystem::path& path) {
    DecodedPng decoded;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return decoded;
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, OnPngWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info != nullptr) {
        decoded.ok = DecodeInto(png, info, file, &decoded);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return decoded;
}

std::vector<PngChunk> ReadPngChunks(const std::string& bytes) {
    static const std::string kSignature("\x89PNG\r\n\x1a\n", 8);
    if (bytes.compare(0, 8, kSignature) != 0) {
        return {};
    }
    std::vector<PngChunk> chunks;
    size_t at = 8;
    while (at < bytes.size()) {
        if (bytes.size() - at < 12) {
            return {};
        }
        uint32_t length = Be32(bytes, at);
        if (bytes.size() - at - 12 < length) {
            return {};
        }
        chunks.push_back({bytes.substr(at + 4, 4), bytes.substr(at + 8, length)});
        at += 12 + length;
    }
    return chunks;
}

JpegFrame ReadJpegFrame(const std::string& bytes) {
    JpegFrame frame;
    if (bytes.size() < 4 || static_cast<uint8_t>(bytes[0]) != 0xFF ||
        static_cast<uint8_t>(bytes[1]) != 0xD8) {
        return frame;
    }
    size_t at = 2;
    while (at + 4 <= bytes.size()) {
        if (static_cast<uint8_t>(bytes[at]) != 0xFF) {
            return frame;
        }
        uint8_t marker = static_cast<uint8_t>(bytes[at + 1]);
        int length = Be16(bytes, at + 2);
        bool startOfFrame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (startOfFrame) {
            if (at + 10 > bytes.size()) {
                return frame;
            }
            frame.height = Be16(bytes, at + 5);
            frame.width = Be16(bytes, at + 7);
            frame.components = static_cast<uint8_t>(bytes[at + 9]);
            frame.ok = true;
            return frame;
        }
        at += 2 + static_cast<size_t>(length);
    }
    return frame;
}

std::vector<std::string> FolderListing(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace vexlo::test
