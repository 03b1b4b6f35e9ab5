#include "agent/imaging/bmp_header.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace vexlo::imaging {
namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;  // BITMAPCOREHEADER
constexpr uint32_t kInfoHeaderSize = 40;  // BITMAPINFOHEADER and its successors
// biCompression values whose rows are stored as they are.
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kBiAlphaBitfields = 6;

uint32_t Get16(const unsigned char* at) {
    return static_cast<uint32_t>(at[0] | (at[1] << 8));
}

uint32_t Get32(const unsigned char* at) {
    return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
           (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

}  // namespace

bool BitmapHeaderFitsFile(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return true;  // nothing to judge: the decoder reports it
    }
    unsigned char header[kFileHeaderSize + kInfoHeaderSize] = {};
    size_t got = std::fread(header, 1, sizeof(header), file);
    long fileSize = -1;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        fileSize = std::ftell(file);
    }
    std::fclose(file);
    if (got < 2 || header[0] != 'B' || header[1] != 'M') {
        return true;
    }
    if (got < kFileHeaderSize + kCoreHeaderSize || fileSize < 0) {
        return false;
    }
    const uint32_t pixelOffset = Get32(header + 10);
    const uint32_t infoSize = Get32(header + 14);
    int64_t width = 0;
    int64_t height = 0;
    uint32_t bitCount = 0;
    uint32_t compression = kBiRgb;
    if (infoSize == kCoreHeaderSize) {
        width = Get16(header + 18);
        height = Get16(header + 20);
        bitCount = Get16(header + 24);
    } else if (infoSize >= kInfoHeaderSize && got >= kFileHeaderSize + kInfoHeaderSize) {
        width = static_cast<int32_t>(Get32(header + 18));
        height = static_cast<int32_t>(Get32(header + 22));
        bitCount = Get16(header + 28);
        compression = Get32(header + 30);
    } else {
        return false;
    }
    const uint64_t rows = static_cast<uint64_t>(height < 0 ? -height : height);
    if (width <= 0 || rows == 0 || bitCount == 0 || bitCount > 32) {
        return false;
    }
    if (static_cast<uint64_t>(width) * rows > kMostImagePixels) {
        return false;
    }
    if (compression == kBiRgb || compression == kBiBitfields || compression == kBiAlphaBitfields) {
        const uint64_t stride = ((static_cast<uint64_t>(width) * bitCount + 31) / 32) * 4;
        return static_cast<uint64_t>(pixelOffset) + stride * rows <=
               static_cast<uint64_t>(fileSize);
    }
    return true;  // a compressed bitmap's size says nothing of its pixels
}

}  // namespace vexlo::imaging
