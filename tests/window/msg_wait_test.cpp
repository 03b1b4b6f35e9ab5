// Conformance of the waits that keep a thread answering its sent messages:
// MsgWaitForMultipleObjectsEx with a wake mask, GetQueueStatus's record of
// what is new, and PeekMessageW limited to sent messages.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "peer_process.h"

namespace {

using vexlo::test::PeerProcess;

std::vector<std::vector<unsigned char>>* copies = nullptr;
int sentHandled = 0;

LRESULT CALLBACK CountingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER + 1) {
        ++sentHandled;
        return 5;
    }
    if (message == WM_COPYDATA && copies != nullptr) {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        const auto* bytes = static_cast<const unsigned char*>(data->lpData);
        copies->emplace_back(bytes, bytes + data->cbData);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// Owns a kernel handle for the test.
struct Handle {
    HANDLE value;
    explicit Handle(HANDLE h) : value(h) {}
    ~Handle() {
        if (value != nullptr) {
            CloseHandle(value);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
};

class MsgWait : public ::testing::Test {
protected:
    void SetUp() override {
        sentHandled = 0;
        copies = &received;
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = CountingProc;
        wc.lpszClassName = u"MsgWaitTest";
        RegisterClassExW(&wc);
        window = CreateWindowExW(0, u"MsgWaitTest", u"w", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr,
                                 nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        Drain();
    }
    void TearDown() override {
        DestroyWindow(window);
        Drain();
        copies = nullptr;
    }
    static void Drain() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    HWND window = nullptr;
    std::vector<std::vector<unsigned char>> received;
};

TEST_F(MsgWait, ReturnsTheFirstSignalledObjectOrTimesOut) {
    Handle first(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    Handle second(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    HANDLE both[] = {first.value, second.value};
    EXPECT_EQ(MsgWaitForMultipleObjectsEx(2, both, 0, QS_ALLINPUT, 0),
              static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(MsgWaitForMultipleObjectsEx(0, nullptr, 10, QS_ALLINPUT, 0),
              static_cast<DWORD>(WAIT_TIMEOUT))
        << "no objects: only input ends the wait";
    SetEvent(second.value);
    EXPECT_EQ(MsgWaitForMultipleObjectsEx(2, both, INFINITE, QS_ALLINPUT, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(MsgWaitForMultipleObjectsEx(2, both, 0, QS_ALLINPUT, 0),
              static_cast<DWORD>(WAIT_TIMEOUT))
        << "the auto-reset event's signal was taken";
    SetEvent(first.value);
    SetEvent(second.value);
    EXPECT_EQ(MsgWaitForMultipleObjects(2, both, FALSE, INFINITE, QS_ALLINPUT), WAIT_OBJECT_0)
        << "the lowest index wins";
}

TEST_F(MsgWait, AnObjectSignalledByAnotherThreadEndsAWaitInProgress) {
    Handle event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    std::atomic<bool> waiting{false};
    std::thread setter([&] {
        while (!waiting) {
            std::this_thread::yield();
        }
        SetEvent(event.value);
    });
    waiting = true;
    EXPECT_EQ(MsgWaitForMultipleObjectsEx(1, &event.value, INFINITE, QS_SENDMESSAGE, 0),
              WAIT_OBJECT_0);
    setter.join();
}

TEST_F(MsgWait, OnlyNewInputOfTheMaskEndsTheWaitUnlessInputAvailableIsAsked) {
    Handle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    PostMessageW(window, WM_USER, 0, 0);
    EXPECT_EQ(MsgWaitForMultipleObjectsEx(1, &event.value, 0, QS_SENDMESSAGE, 0),
              static_cast<DWORD>(WAIT_TIMEOUT))
        << "a posted message is not in a mask of sent messages";
    EXPECT_EQ(MsgWaitForMultipleObjectsEx(1, &event.value, 0, QS_POSTMESSAGE, 0),
              WAIT_OBJECT_0 + 1);

    // Looking at the queue makes what waits there old.
    EXPECT_EQ(GetQueueStatus(QS_POSTMESSAGE),
              static_cast<DWORD>(QS_POSTMESSAGE << 16 | QS_POSTMESSAGE));
    EXPECT_EQ(GetQueueStatus(QS_POSTMESSAGE), static_cast<DWORD>(QS_POSTMESSAGE << 16))
        << "still waiting, no longer new";
    EXPECT_EQ(MsgWaitForMultipleObjectsEx(1, &event.value, 0, QS_POSTMESSAGE, 0),
              static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(MsgWaitForMultipleObjectsEx(1, &event.value, 0, QS_POSTMESSAGE, MWMO_INPUTAVAILABLE),
              WAIT_OBJECT_0 + 1);

    // With MWMO_WAITALL the objects and the input must come together.
    EXPECT_EQ(MsgWaitForMultipleObjectsEx(1, &event.value, 0, QS_POSTMESSAGE,
                                          MWMO_WAITALL | MWMO_INPUTAVAILABLE),
              static_cast<DWORD>(WAIT_TIMEOUT));
    SetEvent(event.value);
    EXPECT_EQ(MsgWaitForMultipleObjectsEx(1, &event.value, 0, QS_POSTMESSAGE,
                                          MWMO_WAITALL | MWMO_INPUTAVAILABLE),
              WAIT_OBJECT_0);
}

TEST_F(MsgWait, ASentMessageEndsTheWaitAndPeekLimitedToSentMessagesHandlesIt) {
    Handle never(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    PostMessageW(window, WM_USER, 0, 0);
    GetQueueStatus(QS_ALLINPUT);  // the post is old now
    std::atomic<LRESULT> result{0};
    std::thread sender([&] { result = SendMessageW(window, WM_USER + 1, 0, 0); });
    EXPECT_EQ(MsgWaitForMultipleObjectsEx(1, &never.value, INFINITE, QS_SENDMESSAGE, 0),
              WAIT_OBJECT_0 + 1);
    EXPECT_EQ(sentHandled, 0) << "the wait itself handles nothing";
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_SENDMESSAGE))
        << "a posted message is not retrieved";
    EXPECT_EQ(sentHandled, 1);
    sender.join();
    EXPECT_EQ(result, 5);
    EXPECT_EQ(HIWORD(GetQueueStatus(QS_POSTMESSAGE)), QS_POSTMESSAGE) << "the post stays queued";

    // PM_QS_POSTMESSAGE alone leaves sent messages waiting.
    std::thread second([&] { SendMessageW(window, WM_USER + 1, 0, 0); });
    while ((HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) == 0) {
        MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_SENDMESSAGE, 0);
    }
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_POSTMESSAGE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
    EXPECT_EQ(sentHandled, 1);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(sentHandled, 2);
    second.join();
}

TEST_F(MsgWait, AJoinKeepsAnsweringAnotherProcessUntilTheThreadEnds) {
    // A worker sends to another process, which answers by sending back to a
    // window of this thread from inside its handler: the worker ends only if
    // this thread handles that send while it waits for the worker.
    PeerProcess peer({"echo", "PeerEchoClass"});
    ASSERT_NE(peer.window(), nullptr);
    HWND own = window;
    HWND target = peer.window();
    std::vector<unsigned char> bytes = {1, 2, 3, 4};
    struct Job {
        HWND own;
        HWND target;
        std::vector<unsigned char>* bytes;
        LRESULT result;
    } job{own, target, &bytes, 0};
    Handle worker(CreateThread(
        nullptr, 0,
        [](LPVOID parameter) -> DWORD {
            auto* j = static_cast<Job*>(parameter);
            COPYDATASTRUCT data{0, static_cast<DWORD>(j->bytes->size()), j->bytes->data()};
            j->result = SendMessageW(j->target, WM_COPYDATA, reinterpret_cast<WPARAM>(j->own),
                                     reinterpret_cast<LPARAM>(&data));
            return 0;
        },
        &job, 0, nullptr));
    ASSERT_NE(worker.value, nullptr);
    int wakes = 0;
    for (;;) {
        DWORD woke = MsgWaitForMultipleObjectsEx(1, &worker.value, INFINITE, QS_SENDMESSAGE, 0);
        if (woke == WAIT_OBJECT_0) {
            break;
        }
        ASSERT_EQ(woke, WAIT_OBJECT_0 + 1);
        ++wakes;
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_SENDMESSAGE);
    }
    EXPECT_GE(wakes, 1);
    EXPECT_EQ(job.result, 7);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], (std::vector<unsigned char>{4, 3, 2, 1}));
}

TEST_F(MsgWait, RefusesBadArguments) {
    Handle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::vector<std::unique_ptr<Handle>> events;
    std::vector<HANDLE> many;
    for (int i = 0; i < MAXIMUM_WAIT_OBJECTS; ++i) {
        events.push_back(std::make_unique<Handle>(CreateEventW(nullptr, TRUE, FALSE, nullptr)));
        many.push_back(events.back()->value);
    }
    struct Case {
        DWORD count;
        const HANDLE* handles;
        DWORD mask;
        DWORD flags;
        DWORD error;
    };
    HANDLE bogus = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7ABC0));
    for (const Case& c : {
             Case{MAXIMUM_WAIT_OBJECTS, many.data(), QS_ALLINPUT, 0, ERROR_INVALID_PARAMETER},
             Case{1, nullptr, QS_ALLINPUT, 0, ERROR_INVALID_PARAMETER},
             Case{1, &bogus, QS_ALLINPUT, 0, ERROR_INVALID_HANDLE},
             Case{1, &event.value, QS_ALLINPUT, 0x100, ERROR_INVALID_PARAMETER},
             Case{1, &event.value, 0x10000, 0, ERROR_INVALID_FLAGS},
         }) {
        SetLastError(0);
        EXPECT_EQ(MsgWaitForMultipleObjectsEx(c.count, c.handles, 0, c.mask, c.flags), WAIT_FAILED)
            << c.count << " " << c.mask << " " << c.flags;
        EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_EQ(MsgWaitForMultipleObjectsEx(MAXIMUM_WAIT_OBJECTS - 1, many.data(), 0, QS_ALLINPUT, 0),
              static_cast<DWORD>(WAIT_TIMEOUT))
        << "one less than the most a plain wait takes";
}

}  // namespace
