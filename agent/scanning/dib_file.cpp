#include "agent/scanning/dib_file.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "framework/raii.h"

namespace vexlo {
namespace {

// The information header's fields, read at their offsets (little-endian).
constexpr size_t kInfoHeaderSize = 40;
constexpr size_t kFileHeaderSize = 14;
constexpr size_t kWidthAt = 4;
constexpr size_t kHeightAt = 8;
constexpr size_t kBitCountAt = 14;
constexpr size_t kClrUsedAt = 32;
// BMP sizes are 32-bit fields.
constexpr uint64_t kLargestFile = 0x7FFFFFFF;

uint32_t Get32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
           (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

uint16_t Get16(const uint8_t* at) {
    return static_cast<uint16_t>(at[0] | (at[1] << 8));
}

void Put32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

void Put16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

uint32_t FullTable(uint16_t bitCount) {
    switch (bitCount) {
        case 1:
            return 2;
        case 4:
            return 16;
        case 8:
            return 256;
        default:
            return 0;
    }
}

// The BMP's contents after the file header: information header, colour
// table, rows bottom-up. Empty when the DIB cannot be used.
std::vector<uint8_t> BitmapBody(const uint8_t* dib, size_t size, uint32_t* tableEntries) {
    if (dib == nullptr || size < kInfoHeaderSize) {
        return {};
    }
    const uint32_t headerSize = Get32(dib);
    const int32_t width = static_cast<int32_t>(Get32(dib + kWidthAt));
    const int32_t height = static_cast<int32_t>(Get32(dib + kHeightAt));
    const uint16_t bitCount = Get16(dib + kBitCountAt);
    const uint32_t clrUsed = Get32(dib + kClrUsedAt);
    if (headerSize < kInfoHeaderSize || headerSize > size || width <= 0 || height == 0 ||
        height == INT32_MIN || bitCount == 0 || bitCount > 32) {
        return {};
    }
    const uint64_t rows =
        static_cast<uint64_t>(height < 0 ? -static_cast<int64_t>(height) : height);
    const uint64_t rowBytes = ((static_cast<uint64_t>(width) * bitCount + 31) / 32) * 4;
    const uint32_t entries = FullTable(bitCount);
    // The DIB's own table: biClrUsed entries when it says fewer than the full one.
    const uint32_t dibEntries = clrUsed != 0 && clrUsed < entries ? clrUsed : entries;
    const uint64_t pixels = rowBytes * rows;
    const uint64_t needed = static_cast<uint64_t>(headerSize) + 4ull * dibEntries + pixels;
    const uint64_t bodySize = kInfoHeaderSize + 4ull * entries + pixels;
    if (needed > size || kFileHeaderSize + bodySize > kLargestFile) {
        return {};  // the header promises more than the memory holds
    }
    std::vector<uint8_t> body;
    try {
        body.assign(static_cast<size_t>(bodySize), 0);
    } catch (const std::bad_alloc&) {
        return {};  // no memory for the file's contents: the write fails
    }
    std::memcpy(body.data(), dib, kInfoHeaderSize);
    Put32(body.data(), kInfoHeaderSize);  // biSize: the header written is the 40-byte one
    if (height < 0) {
        Put32(body.data() + kHeightAt, static_cast<uint32_t>(rows));
    }
    if (dibEntries < entries) {
        Put32(body.data() + kClrUsedAt, 0);  // the table written is the full one
    }
    std::memcpy(body.data() + kInfoHeaderSize, dib + headerSize, 4ull * dibEntries);
    const uint8_t* source = dib + headerSize + 4ull * dibEntries;
    uint8_t* target = body.data() + kInfoHeaderSize + 4ull * entries;
    if (height > 0) {
        std::memcpy(target, source, static_cast<size_t>(pixels));
    } else {
        // Top-down rows: the file keeps the bottom-up order.
        for (uint64_t row = 0; row < rows; ++row) {
            std::memcpy(target + row * rowBytes, source + (rows - 1 - row) * rowBytes,
                        static_cast<size_t>(rowBytes));
        }
    }
    *tableEntries = entries;
    return body;
}

}  // namespace

HRESULT SaveDibToBmp(HGLOBAL dib, const std::u16string& fileName) {
    uint32_t entries = 0;
    std::vector<uint8_t> body;
    {
        // The DIB is the caller's no more: freed whatever the save's outcome.
        fw::unique_hglobal owned(dib);
        fw::unique_global_lock image(owned.get());
        body = BitmapBody(image.as<const uint8_t>(), image.size(), &entries);
    }
    if (body.empty()) {
        return E_FAIL;
    }
    fw::unique_hfile file(CreateFileW(fileName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return E_FAIL;
    }
    uint8_t header[kFileHeaderSize] = {};
    Put16(header, 0x4D42);  // "BM"
    Put32(header + 2, static_cast<uint32_t>(kFileHeaderSize + body.size()));
    Put32(header + 10, static_cast<uint32_t>(kFileHeaderSize + kInfoHeaderSize + 4 * entries));
    auto write = [&file](const void* data, size_t bytes) {
        DWORD done = 0;
        return WriteFile(file.get(), data, static_cast<DWORD>(bytes), &done, nullptr) &&
               done == bytes;
    };
    bool written = write(header, sizeof(header)) && write(body.data(), body.size());
    file.reset();
    if (!written) {
        DeleteFileW(fileName.c_str());  // no half-written image for the scan worker
        return E_FAIL;
    }
    return S_OK;
}

}  // namespace vexlo
