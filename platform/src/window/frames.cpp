#include "window/frames.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace w32::window {
namespace {

bool WriteAll(int fd, const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t put = send(fd, bytes, size, MSG_NOSIGNAL);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        bytes += put;
        size -= static_cast<size_t>(put);
    }
    return true;
}

bool ReadAll(int fd, void* data, size_t size) {
    char* bytes = static_cast<char*>(data);
    while (size > 0) {
        ssize_t got = recv(fd, bytes, size, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        bytes += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

// What an idle connection keeps of its read buffer.
constexpr size_t kKeptCapacity = 1024 * 1024;

}  // namespace

bool ValidHeader(const FrameHeader& header) {
    return header.magic == kFrameMagic && header.dataSize <= kMaxFrameData && header.type >= 1 &&
           header.type <= static_cast<uint32_t>(FrameType::kCancel);
}

bool WriteFrame(int fd, const FrameHeader& header, const void* data) {
    if (header.dataSize == 0) {
        return WriteAll(fd, &header, sizeof(header));
    }
    // One buffer, so that the frame goes out in as few calls as possible.
    std::vector<char> frame(sizeof(header) + header.dataSize);
    memcpy(frame.data(), &header, sizeof(header));
    memcpy(frame.data() + sizeof(header), data, header.dataSize);
    return WriteAll(fd, frame.data(), frame.size());
}

bool ReadFrame(int fd, FrameHeader& header, std::vector<uint8_t>& data) {
    if (!ReadAll(fd, &header, sizeof(header)) || !ValidHeader(header)) {
        return false;
    }
    data.resize(header.dataSize);
    return header.dataSize == 0 || ReadAll(fd, data.data(), header.dataSize);
}

uint8_t* FrameReader::Space(size_t size) {
    if (start == end) {
        start = end = 0;
        if (capacity > kKeptCapacity) {
            // A large frame has gone; its room goes too.
            buffer.reset();
            capacity = 0;
        }
    }
    if (capacity - end < size) {
        size_t used = end - start;
        size_t wanted = used + size;
        if (wanted > capacity) {
            size_t grown = capacity == 0 ? 65536 : capacity;
            while (grown < wanted) {
                grown *= 2;
            }
            auto larger = std::make_unique<uint8_t[]>(grown);
            if (used > 0) {
                memcpy(larger.get(), buffer.get() + start, used);
            }
            buffer = std::move(larger);
            capacity = grown;
        } else if (used > 0) {
            memmove(buffer.get(), buffer.get() + start, used);
        }
        start = 0;
        end = used;
    }
    return buffer.get() + end;
}

bool FrameReader::Next(FrameHeader& header, std::vector<uint8_t>& data, bool* malformed) {
    *malformed = false;
    if (end - start < sizeof(header)) {
        return false;
    }
    memcpy(&header, buffer.get() + start, sizeof(header));
    if (!ValidHeader(header)) {
        *malformed = true;
        return false;
    }
    if (end - start < sizeof(header) + header.dataSize) {
        return false;
    }
    const uint8_t* bytes = buffer.get() + start + sizeof(header);
    data.assign(bytes, bytes + header.dataSize);
    start += sizeof(header) + header.dataSize;
    return true;
}

}  // namespace w32::window
