// What crosses between processes with a message: WM_COPYDATA's bytes and the
// texts of WM_SETTEXT and WM_GETTEXT, decided by the message number; what
// points into the sender's memory is refused; bounded sends give up and
// withdraw; a failing handler releases its sender.
#include <windows.h>

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "peer_process.h"

namespace {

using vexlo::test::PeerProcess;

// The frames of the session's delivery channel, as another process of the
// same user can write them by hand.
struct WireFrame {
    uint32_t magic = 0x57333246;
    uint32_t type = 1;  // 1 send, 2 post, 3 reply, 4 cancel
    uint64_t sequence = 1;
    uint32_t hwnd = 0;
    uint32_t message = 0;
    uint64_t wParam = 0;
    int64_t lParam = 0;
    uint32_t dataSize = 0;
    uint32_t reserved = 0;
    uint64_t tag = 0;
};
static_assert(sizeof(WireFrame) == 56);

constexpr uint32_t kSend = 1;
constexpr uint32_t kPost = 2;
constexpr int64_t kForeignAddress = 0x41414141;

// A hand-made connection to a peer's socket.
class RawConnection {
public:
    explicit RawConnection(pid_t pid) {
        std::string path =
            std::string(getenv("W32_SESSION")) + "/proc-" + std::to_string(pid) + ".sock";
        fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        memcpy(address.sun_path, path.c_str(), path.size() + 1);
        connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    }
    ~RawConnection() { close(fd); }
    bool Connected() const { return connected; }

    bool Write(const WireFrame& frame) {
        return write(fd, &frame, sizeof(frame)) == static_cast<ssize_t>(sizeof(frame));
    }
    // The next reply, waited for at most ten seconds; false when none came
    // (the peer died or closed the connection).
    bool ReadReply(WireFrame* reply) {
        pollfd polled{fd, POLLIN, 0};
        if (poll(&polled, 1, 10000) != 1) {
            return false;
        }
        if (recv(fd, reply, sizeof(*reply), MSG_WAITALL) != static_cast<ssize_t>(sizeof(*reply))) {
            return false;
        }
        std::vector<uint8_t> rest(reply->dataSize);
        return reply->dataSize == 0 ||
               recv(fd, rest.data(), rest.size(), MSG_WAITALL) == static_cast<ssize_t>(rest.size());
    }

private:
    int fd = -1;
    bool connected = false;
};

uint32_t Value(HWND hwnd) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hwnd));
}

// The peer still answers, and with the right number.
void ExpectWell(const PeerProcess& peer) {
    DWORD_PTR doubled = 0;
    ASSERT_TRUE(
        SendMessageTimeoutW(peer.window(), WM_USER + 2, 21, 0, SMTO_ABORTIFHUNG, 10000, &doubled))
        << "the peer no longer answers";
    EXPECT_EQ(doubled, 42u);
}

class Marshalling : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = DefWindowProcW;
        wc.lpszClassName = u"MarshallingOwn";
        RegisterClassExW(&wc);
        own = CreateWindowExW(0, u"MarshallingOwn", u"own", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              nullptr, nullptr);
    }
    void TearDown() override { DestroyWindow(own); }
    HWND own = nullptr;
};

TEST_F(Marshalling, TextsCrossBothWaysAsCharacters) {
    PeerProcess peer({"echo", "PeerTextClass"});
    EXPECT_TRUE(SetWindowTextW(peer.window(), u"Выбор сканера"));
    char16_t read[64] = {};
    EXPECT_EQ(GetWindowTextW(peer.window(), read, 64), 13);
    EXPECT_EQ(std::u16string(read), u"Выбор сканера");

    struct Case {
        WPARAM room;
        LRESULT count;
        std::u16string text;
    };
    for (const Case& c : {Case{64, 13, u"Выбор сканера"}, Case{6, 5, u"Выбор"}, Case{1, 0, u""}}) {
        char16_t buffer[80];
        std::fill(std::begin(buffer), std::end(buffer), u'#');
        EXPECT_EQ(SendMessageW(peer.window(), WM_GETTEXT, c.room, reinterpret_cast<LPARAM>(buffer)),
                  c.count)
            << "room " << c.room;
        EXPECT_EQ(std::u16string(buffer), c.text) << "room " << c.room;
        EXPECT_EQ(buffer[c.room], u'#') << "written past the buffer, room " << c.room;
    }
    ExpectWell(peer);
}

TEST_F(Marshalling, SyncOnlyMessagesCannotBePosted) {
    PeerProcess peer({"echo", "PeerPostClass"});
    COPYDATASTRUCT data{1, 0, nullptr};
    char16_t buffer[8];
    struct Case {
        UINT message;
        LPARAM lParam;
    };
    for (const Case& c : {Case{WM_COPYDATA, reinterpret_cast<LPARAM>(&data)},
                          Case{WM_SETTEXT, reinterpret_cast<LPARAM>(u"x")},
                          Case{WM_GETTEXT, reinterpret_cast<LPARAM>(buffer)}}) {
        for (HWND target : {own, peer.window(), HWND_BROADCAST}) {
            SetLastError(0);
            EXPECT_FALSE(PostMessageW(target, c.message, 8, c.lParam)) << c.message;
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MESSAGE_SYNC_ONLY)) << c.message;
        }
        SetLastError(0);
        EXPECT_FALSE(PostThreadMessageW(GetCurrentThreadId(), c.message, 8, c.lParam));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MESSAGE_SYNC_ONLY)) << c.message;
    }
    ExpectWell(peer);
}

TEST_F(Marshalling, PointerMessagesAreRefusedAcrossProcesses) {
    PeerProcess peer({"echo", "PeerRefuseClass"});
    LVITEMW item{};
    for (UINT message : {static_cast<UINT>(LVM_GETITEMTEXTW), static_cast<UINT>(LVM_INSERTITEMW),
                         static_cast<UINT>(WM_NOTIFY)}) {
        SetLastError(0);
        EXPECT_EQ(SendMessageW(peer.window(), message, 0, reinterpret_cast<LPARAM>(&item)), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << message;
    }
    ExpectWell(peer);
}

// Frames a hostile process writes by hand never hand the peer an address.
TEST_F(Marshalling, ForgedFramesNeverHandOverAnAddress) {
    PeerProcess peer({"echo", "PeerForgedClass"});
    RawConnection raw(peer.pid());
    ASSERT_TRUE(raw.Connected());
    struct Case {
        const char* what;
        uint32_t type;
        uint32_t message;
        int64_t expected;  // the reply's result to a send
    };
    const Case cases[] = {
        // The echo answers 99 to a WM_COPYDATA without bytes, 7 after echoing.
        {"WM_COPYDATA without its data", kSend, WM_COPYDATA, 99},
        {"WM_SETTEXT with an address", kSend, WM_SETTEXT, 1},
        {"LVM_GETITEMTEXTW", kSend, LVM_GETITEMTEXTW, 0},
        {"WM_NOTIFY", kSend, WM_NOTIFY, 0},
        {"WM_NCCREATE", kSend, WM_NCCREATE, 0},
        {"posted WM_COPYDATA", kPost, WM_COPYDATA, 0},
        {"posted WM_SETTEXT", kPost, WM_SETTEXT, 0},
        {"posted WM_GETTEXT", kPost, WM_GETTEXT, 0},
        {"posted WM_TIMER with a procedure", kPost, WM_TIMER, 0},
    };
    uint64_t sequence = 1;
    for (const Case& c : cases) {
        WireFrame frame;
        frame.type = c.type;
        frame.sequence = sequence++;
        frame.hwnd = Value(peer.window());
        frame.message = c.message;
        frame.wParam = c.message == WM_COPYDATA ? Value(own) : 64;
        frame.lParam = kForeignAddress;
        ASSERT_TRUE(raw.Write(frame)) << c.what;
        if (c.type == kSend) {
            WireFrame reply;
            ASSERT_TRUE(raw.ReadReply(&reply)) << c.what << ": the peer did not answer";
            EXPECT_EQ(reply.type, 3u) << c.what;
            EXPECT_EQ(reply.sequence, frame.sequence) << c.what;
            EXPECT_EQ(reply.lParam, c.expected) << c.what;
        }
        ExpectWell(peer);
    }
    EXPECT_EQ(SendMessageW(peer.window(), WM_USER + 7, 0, 0), 0)
        << "a forged WM_TIMER reached the window";
    // An honest WM_TIMER without a procedure still arrives (after the sends
    // that overtake it).
    ASSERT_TRUE(PostMessageW(peer.window(), WM_TIMER, 1, 0));
    LRESULT reached = 0;
    for (int i = 0; i < 1000 && reached == 0; ++i) {
        reached = SendMessageW(peer.window(), WM_USER + 7, 0, 0);
        Sleep(reached == 0 ? 10 : 0);
    }
    EXPECT_EQ(reached, 1);
}

int ticks = 0;
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) {
    ++ticks;
}

TEST_F(Marshalling, ATimerProcedureIsCalledOnlyWhenSetTimerRegisteredIt) {
    ticks = 0;
    MSG msg;
    ASSERT_TRUE(PostMessageW(own, WM_TIMER, 5, reinterpret_cast<LPARAM>(&CountTick)));
    ASSERT_TRUE(PeekMessageW(&msg, own, WM_TIMER, WM_TIMER, PM_REMOVE));
    DispatchMessageW(&msg);
    EXPECT_EQ(ticks, 0) << "a posted number was called as a procedure";

    ASSERT_NE(SetTimer(own, 5, 10, CountTick), 0u);
    while (ticks == 0 && GetMessageW(&msg, own, WM_TIMER, WM_TIMER) > 0) {
        DispatchMessageW(&msg);
    }
    EXPECT_EQ(ticks, 1);
    KillTimer(own, 5);
}

TEST_F(Marshalling, ABoundedSendToABusyProcessGivesUpAndIsWithdrawn) {
    PeerProcess peer({"busy", "PeerBoundedClass", "WM_VEXLO_TEST_BOUNDED"});
    UINT counted = RegisterWindowMessageW(u"WM_VEXLO_TEST_BOUNDED");
    ExpectWell(peer);
    // The peer's thread sleeps two seconds in a handler and looks at nothing.
    // Sends overtake the post until it has started; they are counted.
    ASSERT_TRUE(PostMessageW(peer.window(), WM_USER + 3, 2000, 0));
    DWORD_PTR result = 77;
    LRESULT answered = 0;
    for (;;) {
        result = 77;
        SetLastError(0);
        if (!SendMessageTimeoutW(peer.window(), counted, 0, 0, SMTO_ABORTIFHUNG, 100, &result)) {
            break;
        }
        ++answered;
    }
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
    EXPECT_EQ(result, 77u) << "a result was written for a send given up";
    // Once the peer is back, the send given up has not been handled.
    EXPECT_EQ(SendMessageW(peer.window(), WM_USER + 1, 0, 0), answered);
    ExpectWell(peer);
}

TEST_F(Marshalling, AHandlerThatThrowsReleasesItsSenderWithZero) {
    PeerProcess peer({"echo", "PeerThrowClass"});
    DWORD_PTR result = 77;
    ASSERT_TRUE(SendMessageTimeoutW(peer.window(), WM_USER + 6, 0, 0, SMTO_NORMAL, 10000, &result))
        << "the sender was left waiting";
    EXPECT_EQ(result, 0u);
    ExpectWell(peer);
}

}  // namespace
