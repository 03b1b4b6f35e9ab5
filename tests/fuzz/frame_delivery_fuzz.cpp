// Delivery of a peer's bytes on this process's message socket: whatever
// another process of the session writes there reaches the windows of this
// thread (a plain window, the controls, the plug-ins' channel window) as the
// window system hands it over. A frame's window field 0 to 4 names this
// target's windows, so that inputs stay valid from run to run.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <windows.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "plugins/channel/process_message.h"
#include "window/frames.h"

namespace {

using vexlo::fuzz::Require;
using w32::window::FrameHeader;
using w32::window::FrameType;

constexpr uint64_t kSyncSequence = ~0ULL;

class Targets {
public:
    // The windows, made again when an input has closed one.
    std::array<HWND, 5> Windows() {
        HINSTANCE instance = GetModuleHandleW(nullptr);
        if (!IsWindow(windows[0])) {
            WNDCLASSEXW wc = {};
            wc.cbSize = sizeof(wc);
            wc.lpfnWndProc = DefWindowProcW;
            wc.hInstance = instance;
            wc.lpszClassName = u"FuzzPlainWindow";
            RegisterClassExW(&wc);
            windows[0] = CreateWindowExW(0, u"FuzzPlainWindow", u"plain", WS_OVERLAPPEDWINDOW, 0, 0,
                                         100, 100, nullptr, nullptr, instance, nullptr);
        }
        Child(1, WC_LISTVIEWW, nullptr, LVS_REPORT);
        Child(2, u"Button", u"OK", 0);
        Child(3, u"Static", u"text", 0);
        if (!IsWindow(windows[4])) {
            channel = vexlo::CProcessMessage::Open();
            windows[4] = channel->m_hWnd;
        }
        return windows;
    }

private:
    void Child(size_t index, const char16_t* type, const char16_t* text, DWORD style) {
        if (!IsWindow(windows[index])) {
            windows[index] = CreateWindowExW(0, type, text, WS_CHILD | style, 0, 0, 20, 20,
                                             windows[0], nullptr, nullptr, nullptr);
        }
    }

    std::array<HWND, 5> windows{};
    vexlo::ChannelPtr channel;
};

// A connection to this process's own message socket, as a peer makes it.
// Connections come faster than the window system's I/O thread takes them
// (inputs that end inside a frame close theirs at once): a full backlog is
// waited out, a window system that stops taking connections is a failure.
int ConnectToSelf() {
    const char* session = std::getenv("W32_SESSION");
    Require(session != nullptr);
    std::string path = std::string(session) + "/proc-" + std::to_string(getpid()) + ".sock";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    Require(path.size() < sizeof(address.sun_path));
    memcpy(address.sun_path, path.c_str(), path.size() + 1);
    for (int attempt = 0; attempt < 10000; ++attempt) {
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        Require(fd >= 0);
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
            return fd;
        }
        Require(errno == EAGAIN);
        close(fd);
        vexlo::fuzz::Pump();
        usleep(1000);
    }
    Require(false);
    return -1;
}

// Puts the windows in place of the numbers 0 to 4 in the frames' window
// fields. True when the bytes end where a frame ends.
bool NameWindows(std::vector<uint8_t>& bytes, const std::array<HWND, 5>& windows) {
    size_t at = 0;
    FrameHeader header;
    while (bytes.size() - at >= sizeof(header)) {
        memcpy(&header, bytes.data() + at, sizeof(header));
        if (header.hwnd < windows.size()) {
            header.hwnd = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(windows[header.hwnd]));
            memcpy(bytes.data() + at, &header, sizeof(header));
        }
        if (header.dataSize > bytes.size() - at - sizeof(header)) {
            return false;
        }
        at += sizeof(header) + header.dataSize;
    }
    return at == bytes.size();
}

// Feeds the bytes to the connection while this thread handles what arrives;
// with `sync`, until the reply to the closing WM_NULL send comes back (or the
// window system closes the connection over a malformed frame).
void Deliver(int fd, const std::vector<uint8_t>& bytes, bool sync) {
    size_t sent = 0;
    w32::window::FrameReader replies;
    for (;;) {
        if (sent < bytes.size()) {
            ssize_t put = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (put > 0) {
                sent += static_cast<size_t>(put);
            } else if (put < 0 && errno != EAGAIN && errno != EINTR) {
                return;
            }
        } else if (!sync) {
            return;
        }
        vexlo::fuzz::Pump();
        pollfd polled{fd, POLLIN, 0};
        if (poll(&polled, 1, 1) <= 0) {
            continue;
        }
        ssize_t got = recv(fd, replies.Space(65536), 65536, 0);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
            return;
        }
        replies.Commit(got > 0 ? static_cast<size_t>(got) : 0);
        FrameHeader reply;
        std::vector<uint8_t> data;
        bool malformed = false;
        while (replies.Next(reply, data, &malformed)) {
            if (reply.sequence == kSyncSequence &&
                reply.type == static_cast<uint32_t>(FrameType::kReply)) {
                return;
            }
        }
        Require(!malformed);  // the window system wrote a frame that is not one
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::array<HWND, 5> windows = vexlo::fuzz::Kept<Targets>().Windows();
    std::vector<uint8_t> bytes(data, data + size);
    // Bytes that end inside a frame leave the receiver waiting for the rest,
    // as it should: they go out alone and the connection closes.
    bool whole = NameWindows(bytes, windows);
    if (whole) {
        FrameHeader sync{};
        sync.magic = w32::window::kFrameMagic;
        sync.type = static_cast<uint32_t>(FrameType::kSend);
        sync.sequence = kSyncSequence;
        sync.hwnd = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(windows[0]));
        sync.message = WM_NULL;
        const auto* syncBytes = reinterpret_cast<const uint8_t*>(&sync);
        bytes.insert(bytes.end(), syncBytes, syncBytes + sizeof(sync));
    }
    int fd = ConnectToSelf();
    Deliver(fd, bytes, whole);
    close(fd);
    vexlo::fuzz::Pump();
    return 0;
}
