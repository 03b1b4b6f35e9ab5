// The frames messages travel in between the processes of a session, and the
// reading and writing of them on a stream socket.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace w32::window {

// kCancel withdraws a send whose sender stopped waiting (a timed-out
// SendMessageTimeoutW), if its receiver has not picked it up yet.
enum class FrameType : uint32_t { kSend = 1, kPost = 2, kReply = 3, kCancel = 4 };

struct FrameHeader {
    uint32_t magic;
    uint32_t type;
    uint64_t sequence;
    uint32_t hwnd;
    uint32_t message;
    uint64_t wParam;
    int64_t lParam;
    // The bytes that follow: WM_COPYDATA's data, WM_SETTEXT's text, the text a
    // WM_GETTEXT reply carries back. What they are follows from the message
    // number alone; for other messages there are none.
    uint32_t dataSize;
    uint32_t reserved;
    uint64_t copyDataTag;  // WM_COPYDATA's dwData
};

inline constexpr uint32_t kFrameMagic = 0x57333246;  // "F23W"
inline constexpr uint32_t kMaxFrameData = 16 * 1024 * 1024;

bool ValidHeader(const FrameHeader& header);
bool WriteFrame(int fd, const FrameHeader& header, const void* data);
// Reads one whole frame, waiting for it; false on a closed connection or a
// malformed frame.
bool ReadFrame(int fd, FrameHeader& header, std::vector<uint8_t>& data);

// Collects the bytes of a connection as they arrive and cuts them into
// frames, so that its reader never waits for the rest of half a frame.
class FrameReader {
public:
    // Room for at least `size` more bytes; Commit tells how many were put there.
    uint8_t* Space(size_t size);
    void Commit(size_t size) { end += size; }
    // The next whole frame, if one is there; *malformed when the bytes are not
    // a frame (the connection is then of no further use).
    bool Next(FrameHeader& header, std::vector<uint8_t>& data, bool* malformed);

private:
    std::unique_ptr<uint8_t[]> buffer;
    size_t capacity = 0;
    size_t start = 0;
    size_t end = 0;
};

}  // namespace w32::window
