// Frames of the delivery channel between processes of the session. Each
// frame is a fixed header and a payload; a reader that meets a frame that is
// malformed (bad magic, unknown type, payload over the limit, inconsistent
// fields) drops the connection rather than guessing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace w32::wire {

inline constexpr uint32_t kMagic = 0x46323357;  // "W32F"
inline constexpr uint32_t kMaxPayload = 4u << 20;

enum class Type : uint16_t {
    Send = 1,       // a sent message; answered by Reply with the same seq
    Post = 2,       // a posted message
    Reply = 3,      // lParam carries the result; payload for queries
    QueryMenu = 4,  // items of the popup menu shown in window hwnd
};

enum Flags : uint16_t {
    kCopyData = 1,  // payload: 8 bytes dwData, then the data (WM_COPYDATA)
    kNoData = 2,    // WM_COPYDATA with no data (lpData null or cbData 0)
};

#pragma pack(push, 1)
struct Header {
    uint32_t magic;
    uint16_t type;
    uint16_t flags;
    uint32_t length;  // payload bytes
    uint32_t seq;
    uint32_t hwnd;
    uint32_t message;
    uint64_t wParam;
    int64_t lParam;
};
#pragma pack(pop)
static_assert(sizeof(Header) == 40);

struct Frame {
    Header header{};
    std::vector<uint8_t> payload;
};

std::vector<uint8_t> Encode(const Header& header, const void* payload, size_t length);
std::vector<uint8_t> Encode(const Header& header, const void* prefix, size_t prefixLength,
                            const void* payload, size_t length);

// Checks a header on its own: magic, type, size limit, flag consistency.
bool Valid(const Header& header);

// Accumulates bytes read from a stream and cuts them into frames.
class Reader {
public:
    // Appends bytes; false when the stream is corrupt (the caller closes it).
    bool Feed(const uint8_t* data, size_t length);
    // The next complete frame, if any.
    std::optional<Frame> Next();

private:
    std::vector<uint8_t> buffer_;
    size_t start_ = 0;
    bool corrupt_ = false;
};

// Writes everything, waiting at most timeoutMs in total for the peer to make
// room; false when the peer is gone or does not read.
bool WriteAll(int fd, const std::vector<uint8_t>& bytes, int timeoutMs);

}  // namespace w32::wire
