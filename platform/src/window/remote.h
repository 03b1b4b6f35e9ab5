// Delivery of messages between the processes of a session: every process
// that owns windows listens on its own Unix socket in the session directory;
// a sending thread connects straight to the target process, so a send is one
// hop each way. Frames are length-checked; a malformed frame closes the
// connection and nothing else happens.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "w32/user.h"

namespace w32::window {

enum class FrameType : uint32_t { kSend = 1, kPost = 2, kReply = 3 };

struct FrameHeader {
    uint32_t magic;
    uint32_t type;
    uint64_t sequence;
    uint32_t hwnd;
    uint32_t message;
    uint64_t wParam;
    int64_t lParam;
    uint32_t dataSize;  // WM_COPYDATA bytes that follow
    uint32_t flags;     // 1: lParam is a COPYDATASTRUCT, dwData in wParam2
    uint64_t copyDataTag;
};

inline constexpr uint32_t kFrameMagic = 0x57333246;  // "F23W"
inline constexpr uint32_t kMaxFrameData = 16 * 1024 * 1024;
inline constexpr uint32_t kFlagCopyData = 1;

// One accepted connection of this process's server; replies to the sends
// that came on it go back through it.
class Connection {
public:
    explicit Connection(int descriptor) : fd(descriptor) {}
    ~Connection();
    bool Write(const FrameHeader& header, const void* data);

private:
    int fd;
    std::mutex writeLock;
};

// Starts this process's server (once).
void StartServer();

// Sends to a window of another process and waits for its result; messages
// sent to the calling thread's windows are handled meanwhile. 0 when the
// process is gone.
LRESULT RemoteSend(pid_t pid, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                   bool* delivered);
bool RemotePost(pid_t pid, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace w32::window
