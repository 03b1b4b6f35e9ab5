// The message channel's frame reader: a peer's bytes, arriving in pieces of
// any size, cut into frames or refused as malformed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "window/frames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte sets how the bytes arrive: 1 to 256 at a time.
    const size_t piece = static_cast<size_t>(data[0]) + 1;
    ++data;
    --size;
    w32::window::FrameReader reader;
    w32::window::FrameHeader header;
    std::vector<uint8_t> frameData;
    size_t offset = 0;
    while (offset < size) {
        size_t count = std::min(piece, size - offset);
        std::memcpy(reader.Space(count), data + offset, count);
        reader.Commit(count);
        offset += count;
        bool malformed = false;
        while (reader.Next(header, frameData, &malformed)) {
            if (!w32::window::ValidHeader(header) || frameData.size() != header.dataSize) {
                __builtin_trap();  // a frame handed out that is not one
            }
        }
        if (malformed) {
            break;  // the connection would be closed here
        }
    }
    return 0;
}
