// Conformance of the window system: the behaviours the agent and the plug-ins
// rely on, in one process and across processes of one session.
#include <windows.h>

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "peer_process.h"

namespace {

using vexlo::test::PeerProcess;

struct Recorder {
    std::vector<std::string> events;
    std::vector<std::vector<unsigned char>> copies;
    std::vector<ULONG_PTR> tags;
};
Recorder* recorder = nullptr;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (recorder != nullptr) {
        char name[64];
        GetWindowTextLengthW(hwnd);
        std::u16string title(64, u'\0');
        title.resize(static_cast<size_t>(GetWindowTextW(hwnd, title.data(), 64)));
        std::string text(title.begin(), title.end());
        if (message == WM_DESTROY || message == WM_NCDESTROY) {
            snprintf(name, sizeof(name), "%s:%s", message == WM_DESTROY ? "destroy" : "ncdestroy",
                     text.c_str());
            recorder->events.emplace_back(name);
        } else if (message == WM_USER) {
            recorder->events.push_back("posted");
        } else if (message == WM_USER + 1) {
            recorder->events.push_back("sent");
        } else if (message == WM_COPYDATA) {
            const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            const auto* bytes = static_cast<const unsigned char*>(data->lpData);
            recorder->copies.emplace_back(bytes, bytes + data->cbData);
            recorder->tags.push_back(data->dwData);
            return 0;
        }
    }
    if (message == WM_USER + 2) {
        return static_cast<LRESULT>(wParam * 2);
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

class WindowSystem : public ::testing::Test {
protected:
    void SetUp() override {
        recorder = &record;
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = RecordingProc;
        wc.lpszClassName = u"TestRecorder";
        RegisterClassExW(&wc);
    }
    void TearDown() override { recorder = nullptr; }

    HWND Make(const char16_t* title, HWND parent = nullptr, DWORD style = WS_OVERLAPPEDWINDOW) {
        return CreateWindowExW(0, u"TestRecorder", title, style, 0, 0, 10, 10, parent, nullptr,
                               nullptr, nullptr);
    }

    Recorder record;
};

TEST_F(WindowSystem, DestroyGoesOwnedFirstThenDestroyThenChildrenThenNcDestroy) {
    HWND top = Make(u"top");
    HWND child = Make(u"child", top, WS_CHILD);
    HWND owned = Make(u"owned", top, WS_POPUP);
    ASSERT_TRUE(IsWindow(child));
    ASSERT_EQ(GetParent(child), top);
    EXPECT_TRUE(DestroyWindow(top));
    EXPECT_EQ(record.events,
              (std::vector<std::string>{"destroy:owned", "ncdestroy:owned", "destroy:top",
                                        "destroy:child", "ncdestroy:child", "ncdestroy:top"}));
    EXPECT_FALSE(IsWindow(top));
    EXPECT_FALSE(IsWindow(child));
    EXPECT_FALSE(IsWindow(owned));
    EXPECT_EQ(SendMessageW(top, WM_USER + 2, 21, 0), 0);
    EXPECT_FALSE(PostMessageW(top, WM_USER, 0, 0));
}

TEST_F(WindowSystem, WmCloseDestroysThroughTheDefaultProcedure) {
    HWND window = Make(u"w");
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(WindowSystem, QueueStatusTellsWhatWaitsForThisThread) {
    HWND window = Make(u"w");
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    EXPECT_EQ(GetQueueStatus(QS_POSTMESSAGE | QS_SENDMESSAGE | QS_TIMER), 0u);
    PostMessageW(window, WM_USER, 0, 0);
    EXPECT_EQ(HIWORD(GetQueueStatus(QS_POSTMESSAGE | QS_SENDMESSAGE)), QS_POSTMESSAGE);
    EXPECT_EQ(HIWORD(GetQueueStatus(QS_SENDMESSAGE)), 0) << "only the kinds asked for";
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(GetQueueStatus(QS_POSTMESSAGE), 0u);
    DestroyWindow(window);
}

TEST_F(WindowSystem, SentMessagesComeBeforePostedOnes) {
    HWND window = Make(u"w");
    PostMessageW(window, WM_USER, 0, 0);
    std::thread sender([window] { SendMessageW(window, WM_USER + 1, 0, 0); });
    // The other thread's send is queued behind the post.
    while ((HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) == 0) {
        Sleep(1);
    }
    MSG msg;
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    DispatchMessageW(&msg);
    sender.join();
    EXPECT_EQ(record.events, (std::vector<std::string>{"sent", "posted"}));
    DestroyWindow(window);
}

TEST_F(WindowSystem, ACrossThreadSendReturnsTheResultAndSleepHandlesNothing) {
    HWND window = Make(u"w");
    std::atomic<LRESULT> result{0};
    std::thread sender([&] { result = SendMessageW(window, WM_USER + 2, 21, 0); });
    // The send arrives; waiting longer must not get it handled.
    while ((HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) == 0) {
        Sleep(1);
    }
    Sleep(50);
    EXPECT_EQ(result, 0) << "nothing is handled while the owner sleeps";
    while (result == 0) {
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);
        Sleep(1);
    }
    sender.join();
    EXPECT_EQ(result, 42);
    DestroyWindow(window);
}

TEST_F(WindowSystem, WindowsOfAThreadGoWhenTheThreadEnds) {
    HWND window = nullptr;
    std::thread([&] { window = Make(u"short-lived"); }).join();
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(FindWindowW(u"TestRecorder", u"short-lived"), nullptr);
    EXPECT_EQ(SendMessageW(window, WM_USER + 2, 1, 0), 0) << "returns at once";
    EXPECT_FALSE(PostMessageW(window, WM_USER, 0, 0));
}

TEST_F(WindowSystem, ASenderWaitingOnAThreadThatEndsIsReleased) {
    std::atomic<HWND> window{nullptr};
    std::atomic<bool> finish{false};
    std::thread owner([&] {
        window = Make(u"ending");
        while (!finish)
            Sleep(1);  // never looks at its queue
    });
    while (window == nullptr)
        Sleep(1);
    std::thread ender([&] {
        // Lets the send below start waiting first; ending earlier would pass
        // the test without the release it checks.
        Sleep(100);
        finish = true;
    });
    EXPECT_EQ(SendMessageW(window, WM_USER + 2, 1, 0), 0);
    ender.join();
    owner.join();
}

TEST_F(WindowSystem, SendMessageTimeoutGivesUpOnABusyThreadOfThisProcess) {
    HWND window = Make(u"busy");
    std::thread sender([window] {
        DWORD_PTR result = 5;
        EXPECT_EQ(SendMessageTimeoutW(window, WM_USER + 2, 1, 0, SMTO_NORMAL, 50, &result), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
        EXPECT_EQ(result, 5u);
    });
    sender.join();
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
    std::atomic<bool> done{false};
    std::thread answered([window, &done] {
        DWORD_PTR result = 0;
        EXPECT_EQ(SendMessageTimeoutW(window, WM_USER + 2, 4, 0, SMTO_NORMAL, 5000, &result), 1);
        EXPECT_EQ(result, 8u);
        done = true;
    });
    while (!done) {
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // handles the sent message
        Sleep(1);
    }
    answered.join();
    DestroyWindow(window);
}

TEST_F(WindowSystem, MessagesThatCarryPointersCanOnlyBeSent) {
    HWND window = Make(u"w");
    PeerProcess peer({"echo", "PeerEchoClass"});
    char16_t text[] = u"text";
    COPYDATASTRUCT data{1, sizeof(text), text};
    struct Case {
        UINT message;
        LPARAM lParam;
    };
    for (const Case& c : {Case{WM_COPYDATA, reinterpret_cast<LPARAM>(&data)},
                          Case{WM_SETTEXT, reinterpret_cast<LPARAM>(text)},
                          Case{WM_GETTEXT, reinterpret_cast<LPARAM>(text)}}) {
        for (HWND target : {window, peer.window()}) {
            SetLastError(0);
            EXPECT_FALSE(PostMessageW(target, c.message, 4, c.lParam)) << c.message;
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MESSAGE_SYNC_ONLY)) << c.message;
        }
        SetLastError(0);
        EXPECT_FALSE(PostThreadMessageW(GetCurrentThreadId(), c.message, 4, c.lParam));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MESSAGE_SYNC_ONLY));
    }
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) << "nothing was queued";
    DestroyWindow(window);
}

std::atomic<int> timerProcCalls{0};
void CALLBACK CountingTimerProc(HWND, UINT, UINT_PTR, DWORD) {
    ++timerProcCalls;
}

TEST_F(WindowSystem, AWmTimerCallsOnlyAProcedureThatSetTimerRegisteredOnTheThread) {
    HWND window = Make(u"w");
    MSG posted{window, WM_TIMER, 7, reinterpret_cast<LPARAM>(&CountingTimerProc), 0, {0, 0}};
    timerProcCalls = 0;
    DispatchMessageW(&posted);
    EXPECT_EQ(timerProcCalls, 0) << "a posted WM_TIMER named a procedure nobody registered";
    ASSERT_NE(SetTimer(window, 7, 10000, &CountingTimerProc), 0u);
    DispatchMessageW(&posted);
    EXPECT_EQ(timerProcCalls, 1);
    std::thread([&] {
        DispatchMessageW(&posted);  // registered on another thread only
    }).join();
    EXPECT_EQ(timerProcCalls, 1);
    KillTimer(window, 7);
    DestroyWindow(window);
}

TEST_F(WindowSystem, TimersArriveUnderPeekMessageAtMostOnePendingEach) {
    HWND window = Make(u"w");
    EXPECT_EQ(SetTimer(window, 101, 20, nullptr), 101u);
    Sleep(120);
    MSG msg;
    int pending = 0;
    while (PeekMessageW(&msg, window, WM_TIMER, WM_TIMER, PM_REMOVE)) {
        EXPECT_EQ(msg.wParam, 101u);
        ++pending;
    }
    EXPECT_EQ(pending, 1) << "six periods passed, one WM_TIMER waits";
    int ticks = 0;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    while (std::chrono::steady_clock::now() < end) {
        if (PeekMessageW(&msg, window, WM_TIMER, WM_TIMER, PM_REMOVE)) {
            ++ticks;
        }
        Sleep(1);
    }
    EXPECT_GE(ticks, 3);
    EXPECT_TRUE(KillTimer(window, 101));
    Sleep(30);
    EXPECT_FALSE(PeekMessageW(&msg, window, WM_TIMER, WM_TIMER, PM_REMOVE));
    DestroyWindow(window);
}

TEST_F(WindowSystem, QuitComesAfterThePostedMessagesWithItsCode) {
    HWND window = Make(u"w");
    PostQuitMessage(16);
    PostMessageW(window, WM_USER, 0, 0);
    MSG msg;
    EXPECT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
    EXPECT_FALSE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 16u);
    DestroyWindow(window);
}

TEST_F(WindowSystem, RegisteredMessagesAreSharedByName) {
    UINT first = RegisterWindowMessageW(u"WM_VEXLO_TEST_MESSAGE");
    EXPECT_GE(first, 0xC000u);
    EXPECT_LE(first, 0xFFFFu);
    EXPECT_EQ(RegisterWindowMessageW(u"wm_vexlo_test_message"), first);
    EXPECT_NE(RegisterWindowMessageW(u"WM_VEXLO_OTHER"), first);
}

TEST_F(WindowSystem, FindWindowSkipsMessageOnlyWindows) {
    HWND hidden = Make(u"hidden", HWND_MESSAGE, 0);
    EXPECT_EQ(FindWindowW(u"TestRecorder", nullptr), nullptr);
    HWND visible = Make(u"top");
    EXPECT_EQ(FindWindowW(u"testrecorder", nullptr), visible);
    EXPECT_EQ(FindWindowW(u"TestRecorder", u"other"), nullptr);
    DestroyWindow(visible);
    DestroyWindow(hidden);
}

TEST_F(WindowSystem, TheSessionDirectoryIsPrivate) {
    RegisterWindowMessageW(u"WM_VEXLO_TOUCH");
    struct stat info;
    ASSERT_EQ(stat(getenv("W32_SESSION"), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(WindowSystem, AnotherProcesssWindowIsFoundByClass) {
    PeerProcess peer({"echo", "PeerEchoClass"});
    ASSERT_NE(peer.window(), nullptr);
    EXPECT_EQ(FindWindowW(u"PeerEchoClass", nullptr), peer.window());
    DWORD pid = 0;
    EXPECT_NE(GetWindowThreadProcessId(peer.window(), &pid), 0u);
    EXPECT_EQ(pid, static_cast<DWORD>(peer.pid()));
    EXPECT_TRUE(IsWindow(peer.window()));
}

TEST_F(WindowSystem, AReplySentFromInsideTheReceiversHandlerArrivesDuringTheSend) {
    PeerProcess peer({"echo", "PeerEchoClass"});
    HWND own = Make(u"own", HWND_MESSAGE, 0);
    std::vector<unsigned char> bytes(5136);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<unsigned char>(i * 7);
    }
    COPYDATASTRUCT data{41, static_cast<DWORD>(bytes.size()), bytes.data()};
    LRESULT result = SendMessageW(peer.window(), WM_COPYDATA, reinterpret_cast<WPARAM>(own),
                                  reinterpret_cast<LPARAM>(&data));
    EXPECT_EQ(result, 7);
    ASSERT_EQ(record.copies.size(), 1u) << "the reply was handled while the send waited";
    std::vector<unsigned char> reversed(bytes.rbegin(), bytes.rend());
    EXPECT_EQ(record.copies[0], reversed);
    EXPECT_EQ(record.tags[0], 42u);
    // cbData without a pointer arrives as no data.
    COPYDATASTRUCT empty{0, 100, nullptr};
    EXPECT_EQ(SendMessageW(peer.window(), WM_COPYDATA, reinterpret_cast<WPARAM>(own),
                           reinterpret_cast<LPARAM>(&empty)),
              99);
    DestroyWindow(own);
}

TEST_F(WindowSystem, ABroadcastReachesOtherProcessesButNotMessageOnlyWindows) {
    PeerProcess first({"listen", "PeerListenA", "WM_VEXLO_TEST_BROADCAST"});
    PeerProcess second({"listen", "PeerListenB", "WM_VEXLO_TEST_BROADCAST"});
    UINT message = RegisterWindowMessageW(u"WM_VEXLO_TEST_BROADCAST");
    EXPECT_TRUE(PostMessageW(HWND_BROADCAST, message, 0x666, 1));
    // The count comes back by a send; the post may still be on its way.
    auto counted = [](HWND peer) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        LRESULT count = 0;
        while ((count = SendMessageW(peer, WM_USER + 1, 0, 0)) == 0 &&
               std::chrono::steady_clock::now() < end) {
            Sleep(5);
        }
        return count;
    };
    EXPECT_EQ(counted(first.window()), 1);
    EXPECT_EQ(counted(second.window()), 1);
}

TEST_F(WindowSystem, ASendToAKilledProcessReturnsAtOnce) {
    PeerProcess peer({"echo", "PeerEchoClass"});
    HWND window = peer.window();
    peer.Kill();
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SendMessageW(window, WM_USER + 2, 1, 0), 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(FindWindowW(u"PeerEchoClass", nullptr), nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(WindowSystem, ASenderWaitingOnAProcessThatDiesIsReleased) {
    PeerProcess peer({"hang", "PeerHangClass"});
    HWND window = peer.window();
    std::thread killer([&] {
        // Lets the send start waiting first: a peer killed earlier would pass
        // the test without the release it checks.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        peer.Kill();
    });
    EXPECT_EQ(SendMessageW(window, WM_USER + 2, 1, 0), 0);
    killer.join();
}

TEST_F(WindowSystem, ALargeCopyDataCrossesWholeBothWays) {
    PeerProcess peer({"echo", "PeerEchoClass"});
    HWND own = Make(u"own", HWND_MESSAGE, 0);
    std::vector<unsigned char> bytes(3 * 1024 * 1024 + 17);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<unsigned char>(i * 31 + i / 4096);
    }
    COPYDATASTRUCT data{5, static_cast<DWORD>(bytes.size()), bytes.data()};
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(SendMessageW(peer.window(), WM_COPYDATA, reinterpret_cast<WPARAM>(own),
                               reinterpret_cast<LPARAM>(&data)),
                  7);
    }
    ASSERT_EQ(record.copies.size(), 2u);
    std::vector<unsigned char> reversed(bytes.rbegin(), bytes.rend());
    EXPECT_EQ(record.copies[0], reversed);
    EXPECT_EQ(record.copies[1], reversed);
    DestroyWindow(own);
}

TEST_F(WindowSystem, AConnectionThatStopsInsideAFrameHoldsUpNoOtherSender) {
    PeerProcess peer({"echo", "PeerEchoClass"});
    std::string path =
        std::string(getenv("W32_SESSION")) + "/proc-" + std::to_string(peer.pid()) + ".sock";
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    memcpy(address.sun_path, path.c_str(), path.size() + 1);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    const unsigned char start[] = {0x46, 0x32, 0x33, 0x57, 1, 0};  // the first bytes of a frame
    ASSERT_EQ(write(fd, start, sizeof(start)), static_cast<ssize_t>(sizeof(start)));
    Sleep(50);  // lets the peer read the unfinished frame before the send comes
    std::atomic<LRESULT> result{-1};
    std::thread sender([&] { result = SendMessageW(peer.window(), WM_USER + 2, 8, 0); });
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (result == -1 && std::chrono::steady_clock::now() < end) {
        Sleep(5);
    }
    EXPECT_EQ(result, 16) << "the send waited behind the unfinished frame";
    peer.Kill();  // releases a send still waiting
    sender.join();
    close(fd);
}

// A peer's thread reads its connections itself once it has taken a message
// from them; these check what must still hold while that thread is busy.
class BusyPeer : public WindowSystem {
protected:
    using Clock = std::chrono::steady_clock;

    // Asks for the peer's count of posted broadcast-style messages until it
    // reaches `expected` or a few seconds pass.
    LRESULT CountWhenSettled(HWND peerWindow, LRESULT expected) {
        LRESULT count = -1;
        auto end = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < end) {
            count = SendMessageW(peerWindow, WM_USER + 1, 0, 0);
            if (count == expected) {
                break;
            }
            Sleep(20);
        }
        return count;
    }
};

TEST_F(BusyPeer, PostsToABusyThreadOfAnotherProcessDoNotWaitForIt) {
    PeerProcess peer({"busy", "PeerBusyPosts", "WM_VEXLO_TEST_BUSY_POST"});
    UINT message = RegisterWindowMessageW(u"WM_VEXLO_TEST_BUSY_POST");
    ASSERT_EQ(SendMessageW(peer.window(), WM_USER + 2, 3, 0), 6);
    ASSERT_TRUE(PostMessageW(peer.window(), WM_USER + 3, 3000, 0));  // the peer sleeps 3 s
    Sleep(100);  // lets the peer take that post and fall asleep before the flood
    // Far more posts than a socket buffer holds.
    auto start = Clock::now();
    for (int i = 0; i < 5000; ++i) {
        ASSERT_TRUE(PostMessageW(peer.window(), message, static_cast<WPARAM>(i), 0));
    }
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2500))
        << "the poster was held until the receiver was free";
    EXPECT_EQ(CountWhenSettled(peer.window(), 5000), 5000);
}

TEST_F(BusyPeer, ATimedOutSendToAnotherProcessIsWithdrawnUnhandled) {
    PeerProcess peer({"busy", "PeerBusyTimeout", "WM_VEXLO_TEST_BUSY_COUNT"});
    UINT counted = RegisterWindowMessageW(u"WM_VEXLO_TEST_BUSY_COUNT");
    ASSERT_EQ(SendMessageW(peer.window(), WM_USER + 2, 3, 0), 6);
    ASSERT_TRUE(PostMessageW(peer.window(), WM_USER + 3, 1500, 0));  // the peer sleeps 1.5 s
    Sleep(100);  // lets the peer take that post and fall asleep before the send
    DWORD_PTR result = 77;
    auto start = Clock::now();
    SetLastError(0);
    EXPECT_EQ(SendMessageTimeoutW(peer.window(), counted, 0, 0, SMTO_ABORTIFHUNG, 200, &result), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
    EXPECT_EQ(result, 77u) << "a timed-out send leaves the result alone";
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1200)) << "the bound was not kept";
    // Once awake the peer answers in order: the withdrawn send was never handled.
    EXPECT_EQ(SendMessageW(peer.window(), WM_USER + 1, 0, 0), 0);
    // A bounded send that the peer answers in time goes through.
    EXPECT_EQ(SendMessageTimeoutW(peer.window(), WM_USER + 2, 4, 0, SMTO_NORMAL, 5000, &result), 1);
    EXPECT_EQ(result, 8u);
    EXPECT_EQ(SendMessageTimeoutW(peer.window(), counted, 0, 0, SMTO_NORMAL, 5000, &result), 1);
    EXPECT_EQ(SendMessageW(peer.window(), WM_USER + 1, 0, 0), 1);
}

TEST_F(BusyPeer, ASendToAWindowABusyPeerDestroyedIsAnsweredZeroMeanwhile) {
    PeerProcess peer({"busy", "PeerBusyDestroy", "WM_VEXLO_TEST_BUSY_POST"});
    HWND second = FindWindowW(u"PeerBusyDestroy", u"second");
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(SendMessageW(second, WM_USER + 2, 3, 0), 6);
    // Destroys "second", then sleeps 3 s.
    ASSERT_TRUE(PostMessageW(peer.window(), WM_USER + 4, 3000, 0));
    auto end = Clock::now() + std::chrono::seconds(2);
    while (IsWindow(second) && Clock::now() < end) {
        Sleep(5);
    }
    ASSERT_FALSE(IsWindow(second));
    auto start = Clock::now();
    EXPECT_EQ(SendMessageW(second, WM_USER + 2, 3, 0), 0);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2000))
        << "the answer waited for the busy thread";
    EXPECT_EQ(SendMessageW(peer.window(), WM_USER + 2, 5, 0), 10) << "the peer stays well";
}

TEST_F(BusyPeer, SendsToAWindowWhoseThreadEndedInAnotherProcessReturnZero) {
    PeerProcess peer({"busy", "PeerBusyWorker", "WM_VEXLO_TEST_BUSY_POST"});
    HWND worker = FindWindowW(u"PeerBusyWorker", u"worker");
    ASSERT_NE(worker, nullptr);
    ASSERT_EQ(SendMessageW(worker, WM_USER + 2, 4, 0), 8);
    ASSERT_TRUE(PostMessageW(worker, WM_USER + 5, 0, 0));  // the worker thread ends
    auto end = Clock::now() + std::chrono::seconds(5);
    while (IsWindow(worker) && Clock::now() < end) {
        Sleep(5);
    }
    ASSERT_FALSE(IsWindow(worker));
    EXPECT_EQ(SendMessageW(worker, WM_USER + 2, 4, 0), 0);
    EXPECT_EQ(SendMessageW(peer.window(), WM_USER + 2, 5, 0), 10) << "the peer stays well";
}

TEST_F(WindowSystem, MalformedFramesAreDroppedAndThePeerStaysWell) {
    PeerProcess peer({"echo", "PeerEchoClass"});
    std::string path =
        std::string(getenv("W32_SESSION")) + "/proc-" + std::to_string(peer.pid()) + ".sock";
    for (const std::string& garbage :
         {std::string(10, 'x'), std::string(200, '\xff'), std::string(60, '\0')}) {
        int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        memcpy(address.sun_path, path.c_str(), path.size() + 1);
        ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        ssize_t sent = write(fd, garbage.data(), garbage.size());
        EXPECT_EQ(sent, static_cast<ssize_t>(garbage.size()));
        close(fd);
    }
    HWND own = Make(u"own", HWND_MESSAGE, 0);
    unsigned char byte = 1;
    COPYDATASTRUCT data{0, 1, &byte};
    EXPECT_EQ(SendMessageW(peer.window(), WM_COPYDATA, reinterpret_cast<WPARAM>(own),
                           reinterpret_cast<LPARAM>(&data)),
              7);
    DestroyWindow(own);
}

}  // namespace
