#include "agent/imaging/image_header.h"

#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>

#include "agent/imaging/bmp_header.h"

namespace vexlo::imaging {
namespace {

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

struct Size {
    uint64_t width;
    uint64_t height;
};

constexpr unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// False when the file ends before the bytes asked for.
bool ReadAt(FILE* file, uint64_t offset, unsigned char* out, size_t count) {
    if (offset > static_cast<uint64_t>(std::numeric_limits<long>::max()) ||
        std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) {
        return false;
    }
    return std::fread(out, 1, count, file) == count;
}

uint32_t Big16(const unsigned char* at) {
    return static_cast<uint32_t>((at[0] << 8) | at[1]);
}
uint32_t Big32(const unsigned char* at) {
    return (Big16(at) << 16) | Big16(at + 2);
}
uint32_t Little16(const unsigned char* at) {
    return static_cast<uint32_t>(at[0] | (at[1] << 8));
}
uint32_t Little32(const unsigned char* at) {
    return Little16(at) | (Little16(at + 2) << 16);
}

// The first chunk of a PNG must be its header: length 13, "IHDR", width, height.
std::optional<Size> PngSize(FILE* file) {
    unsigned char chunk[16];
    if (!ReadAt(file, 8, chunk, sizeof chunk) || std::memcmp(chunk + 4, "IHDR", 4) != 0) {
        return std::nullopt;
    }
    return Size{Big32(chunk + 8), Big32(chunk + 12)};
}

// Start-of-frame markers: C0 to CF but for the Huffman table (C4), the
// reserved JPG marker (C8) and the arithmetic conditioning (CC).
bool IsFrameHeader(unsigned char marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Walks the segments up to the frame header; a scan or the end before it is
// no image the decoder could size.
std::optional<Size> JpegSize(FILE* file) {
    uint64_t at = 2;
    for (;;) {
        unsigned char marker[2];
        if (!ReadAt(file, at, marker, 2) || marker[0] != 0xFF) {
            return std::nullopt;
        }
        if (marker[1] == 0xFF) {  // a fill byte before the marker
            ++at;
            continue;
        }
        at += 2;
        if (marker[1] == 0x01 || (marker[1] >= 0xD0 && marker[1] <= 0xD7)) {
            continue;  // markers without a segment
        }
        if (marker[1] == 0xD9 || marker[1] == 0xDA) {
            return std::nullopt;
        }
        unsigned char segment[7];
        if (!ReadAt(file, at, segment, 2) || Big16(segment) < 2) {
            return std::nullopt;
        }
        if (IsFrameHeader(marker[1])) {
            // Length, precision, height, width.
            if (!ReadAt(file, at, segment, sizeof segment)) {
                return std::nullopt;
            }
            return Size{Big16(segment + 5), Big16(segment + 3)};
        }
        at += Big16(segment);
    }
}

// The width and length tags of the first directory, which is what is decoded.
std::optional<Size> TiffSize(FILE* file, bool little) {
    auto get16 = little ? Little16 : Big16;
    auto get32 = little ? Little32 : Big32;
    unsigned char bytes[12];
    if (!ReadAt(file, 4, bytes, 4)) {
        return std::nullopt;
    }
    const uint64_t directory = get32(bytes);
    if (!ReadAt(file, directory, bytes, 2)) {
        return std::nullopt;
    }
    const uint32_t entries = get16(bytes);
    std::optional<uint64_t> width;
    std::optional<uint64_t> height;
    for (uint32_t i = 0; i < entries; ++i) {
        if (!ReadAt(file, directory + 2 + 12 * uint64_t{i}, bytes, 12)) {
            return std::nullopt;
        }
        const uint32_t tag = get16(bytes);
        const uint32_t type = get16(bytes + 2);
        if ((tag != 256 && tag != 257) || (type != 3 && type != 4)) {
            continue;
        }
        const uint64_t value = type == 3 ? get16(bytes + 8) : get32(bytes + 8);
        (tag == 256 ? width : height) = value;
    }
    if (!width || !height) {
        return std::nullopt;
    }
    return Size{*width, *height};
}

}  // namespace

std::string ImageHeaderRefusal(const std::string& path) {
    File file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return {};
    }
    unsigned char magic[8] = {};
    const size_t got = std::fread(magic, 1, sizeof magic, file.get());
    if (got >= 2 && magic[0] == 'B' && magic[1] == 'M') {
        file.reset();
        if (!BitmapHeaderFitsFile(path)) {
            return "the bitmap's header claims more than its file holds or more than " +
                   std::to_string(kMostImagePixels) + " pixels";
        }
        return {};
    }
    const char* format = nullptr;
    std::optional<Size> size;
    if (got == sizeof magic && std::memcmp(magic, kPngSignature, sizeof magic) == 0) {
        format = "PNG";
        size = PngSize(file.get());
    } else if (got >= 3 && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF) {
        format = "JPEG";
        size = JpegSize(file.get());
    } else if (got >= 4 &&
               (std::memcmp(magic, "II*\0", 4) == 0 || std::memcmp(magic, "MM\0*", 4) == 0)) {
        format = "TIFF";
        size = TiffSize(file.get(), magic[0] == 'I');
    } else {
        return "not a BMP, PNG, JPEG or TIFF image";
    }
    if (!size) {
        return std::string("the ") + format + " image's header cannot be read";
    }
    if (size->width * size->height > kMostImagePixels) {
        return std::string("the ") + format + " image claims " + std::to_string(size->width) +
               " x " + std::to_string(size->height) + " pixels, more than " +
               std::to_string(kMostImagePixels);
    }
    return {};
}

}  // namespace vexlo::imaging
