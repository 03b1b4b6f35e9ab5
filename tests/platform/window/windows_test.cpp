// Windows and messages within one process.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "w32/desktop.h"

namespace {

std::vector<std::string> gLog;

std::string Name(HWND h) {
    char16_t buf[64];
    int n = GetWindowTextW(h, buf, 64);
    return std::string(buf, buf + n);
}

LRESULT CALLBACK LoggingProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_NCCREATE:
            gLog.push_back("nccreate");
            break;
        case WM_CREATE: {
            auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
            gLog.push_back("create " + std::to_string(cs->cx) + "x" + std::to_string(cs->cy));
            if (cs->lpCreateParams == reinterpret_cast<void*>(1))
                return -1;
            break;
        }
        case WM_DESTROY:
            gLog.push_back("destroy " + Name(hwnd));
            break;
        case WM_NCDESTROY:
            gLog.push_back("ncdestroy " + Name(hwnd));
            break;
        case WM_USER:
            gLog.push_back("user " + std::to_string(wp));
            return static_cast<LRESULT>(wp * 2);
        case WM_USER + 1:
            gLog.push_back("posted " + std::to_string(wp));
            return 0;
        case WM_TIMER:
            gLog.push_back("timer " + std::to_string(wp));
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void RegisterLogging() {
    static bool done = false;
    if (done)
        return;
    done = true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = LoggingProc;
    wc.lpszClassName = u"Logging";
    wc.cbWndExtra = 16;
    ASSERT_NE(RegisterClassExW(&wc), 0);
}

HWND Make(const char16_t* name, DWORD style = WS_OVERLAPPEDWINDOW, HWND parent = nullptr,
          void* param = nullptr) {
    RegisterLogging();
    return CreateWindowExW(0, u"Logging", name, style, 0, 0, 120, 80, parent, nullptr, nullptr,
                           param);
}

void Pump() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&m);
}

}  // namespace

TEST(WindowClass, RegisteringTwiceFailsAndUnknownClassCannotMakeWindows) {
    RegisterLogging();
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = u"LOGGING";
    EXPECT_EQ(RegisterClassExW(&wc), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
    EXPECT_EQ(CreateWindowExW(0, u"Nope", u"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
}

TEST(CreateWindow, SendsNcCreateThenCreateAndMinusOneFailsIt) {
    gLog.clear();
    HWND h = Make(u"w");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(gLog, (std::vector<std::string>{"nccreate", "create 120x80"}));
    gLog.clear();
    EXPECT_EQ(Make(u"fail", WS_OVERLAPPEDWINDOW, nullptr, reinterpret_cast<void*>(1)), nullptr);
    EXPECT_EQ(gLog.front(), "nccreate");
    EXPECT_EQ(gLog.back(), "ncdestroy fail");
    DestroyWindow(h);
}

TEST(DestroyWindow, OwnedAndChildWindowsGoAndHandlesStayInvalid) {
    HWND parent = Make(u"parent");
    HWND child = Make(u"child", WS_CHILD | WS_VISIBLE, parent);
    HWND owned = Make(u"owned", WS_POPUP, parent);
    EXPECT_EQ(GetParent(child), parent);
    EXPECT_EQ(GetWindow(owned, GW_OWNER), parent);
    EXPECT_TRUE(IsChild(parent, child));
    gLog.clear();
    EXPECT_TRUE(DestroyWindow(parent));
    EXPECT_EQ(gLog,
              (std::vector<std::string>{"destroy owned", "ncdestroy owned", "destroy parent",
                                        "destroy child", "ncdestroy child", "ncdestroy parent"}));
    for (HWND h : {parent, child, owned}) {
        EXPECT_FALSE(IsWindow(h));
        EXPECT_EQ(SendMessageW(h, WM_USER, 1, 0), 0);
        EXPECT_FALSE(PostMessageW(h, WM_USER, 1, 0));
    }
    EXPECT_FALSE(DestroyWindow(parent));
}

TEST(DefWindowProc, CloseDestroysAndTextIsKept) {
    HWND h = Make(u"Заголовок");
    char16_t buf[32];
    EXPECT_EQ(GetWindowTextW(h, buf, 32), 9);
    EXPECT_EQ(std::u16string(buf), u"Заголовок");
    EXPECT_EQ(GetWindowTextW(h, buf, 4), 3);
    EXPECT_EQ(std::u16string(buf), u"Заг");
    EXPECT_TRUE(SetWindowTextW(h, u"x"));
    EXPECT_EQ(GetWindowTextLengthW(h), 1);
    SendMessageW(h, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(h));
}

namespace {
WNDPROC gOriginal;
LRESULT CALLBACK Subclass(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_USER)
        return CallWindowProcW(gOriginal, hwnd, msg, wp + 100, lp);
    return CallWindowProcW(gOriginal, hwnd, msg, wp, lp);
}
}  // namespace

TEST(WindowLongs, SubclassingUserDataAndStyles) {
    HWND h = Make(u"w");
    gOriginal = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Subclass)));
    EXPECT_EQ(gOriginal, LoggingProc);
    EXPECT_EQ(SendMessageW(h, WM_USER, 1, 0), 202);
    EXPECT_EQ(SetWindowLongPtrW(h, GWLP_USERDATA, 1234), 0);
    EXPECT_EQ(GetWindowLongPtrW(h, GWLP_USERDATA), 1234);
    SetWindowLongPtrW(h, 8, 99);  // window extra bytes
    EXPECT_EQ(GetWindowLongPtrW(h, 8), 99);
    LONG_PTR ex = GetWindowLongPtrW(h, GWL_EXSTYLE);
    SetWindowLongPtrW(h, GWL_EXSTYLE, ex | WS_EX_LAYERED);
    EXPECT_TRUE(SetLayeredWindowAttributes(h, 0, 0, LWA_ALPHA));
    BYTE alpha = 255;
    EXPECT_TRUE(GetLayeredWindowAttributes(h, nullptr, &alpha, nullptr));
    EXPECT_EQ(alpha, 0);
    EXPECT_TRUE(SetWindowPos(h, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
    W32_WINDOW_INFO info;
    ASSERT_TRUE(W32GetWindowInfo(h, &info));
    EXPECT_TRUE(info.topmost);
    EXPECT_FALSE(info.visible);
    ShowWindow(h, SW_SHOW);
    ASSERT_TRUE(W32GetWindowInfo(h, &info));
    EXPECT_TRUE(info.visible);
    EXPECT_TRUE(GetWindowLongPtrW(h, GWL_EXSTYLE) & WS_EX_TOPMOST);
    DestroyWindow(h);
}

TEST(Messages, SentMessagesComeBeforePostedAndQuitComesLast) {
    HWND h = Make(u"q");
    gLog.clear();
    PostMessageW(h, WM_USER + 1, 1, 0);
    PostQuitMessage(16);
    PostMessageW(h, WM_USER + 1, 2, 0);
    std::thread sender([h] { SendMessageW(h, WM_USER, 7, 0); });
    // Wait until the sent message is queued, without handling anything.
    while (!(GetQueueStatus(QS_SENDMESSAGE) & QS_SENDMESSAGE))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    MSG m;
    std::vector<UINT> got;
    while (GetMessageW(&m, nullptr, 0, 0))
        DispatchMessageW(&m);
    EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(m.wParam, 16u);
    sender.join();
    EXPECT_EQ(gLog, (std::vector<std::string>{"user 7", "posted 1", "posted 2"}));
    DestroyWindow(h);
}

TEST(Messages, SenderHandlesMessagesSentToItsOwnWindowsWhileWaiting) {
    HWND mine = Make(u"mine");
    std::atomic<HWND> theirs{nullptr};
    std::atomic<bool> stop{false};
    std::thread other([&] {
        HWND w = Make(u"theirs");
        // Its procedure answers WM_USER + 5 by sending back to us.
        SetWindowLongPtrW(
            w, GWLP_WNDPROC,
            reinterpret_cast<LONG_PTR>(+[](HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
                if (msg == WM_USER + 5)
                    return SendMessageW(reinterpret_cast<HWND>(wp), WM_USER, 21, 0) + 1;
                return DefWindowProcW(hwnd, msg, wp, lp);
            }));
        theirs = w;
        MSG m;
        while (!stop) {
            while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&m);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        DestroyWindow(w);
    });
    while (!theirs)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    gLog.clear();
    EXPECT_EQ(SendMessageW(theirs, WM_USER + 5, reinterpret_cast<WPARAM>(mine), 0), 43);
    EXPECT_EQ(gLog, (std::vector<std::string>{"user 21"}));
    stop = true;
    other.join();
    DestroyWindow(mine);
}

TEST(Messages, SleepHandlesNothing) {
    HWND h = Make(u"s");
    gLog.clear();
    std::atomic<bool> returned{false};
    std::thread sender([&] {
        SendMessageW(h, WM_USER, 3, 0);
        returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(returned);
    EXPECT_TRUE(gLog.empty());
    MSG m;
    PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE);  // handles the sent message
    sender.join();
    EXPECT_EQ(gLog, (std::vector<std::string>{"user 3"}));
    DestroyWindow(h);
}

TEST(Messages, SendMessageTimeoutGivesUpOnABusyThread) {
    HWND h = Make(u"busy");
    std::thread sender([h] {
        DWORD_PTR result = 5;
        EXPECT_EQ(SendMessageTimeoutW(h, WM_USER, 1, 0, SMTO_NORMAL, 50, &result), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
    });
    sender.join();
    Pump();
    DestroyWindow(h);
}

TEST(Timers, ArriveUnderPeekMessageAtMostOnePending) {
    HWND h = Make(u"t");
    EXPECT_EQ(SetTimer(h, 101, 400, nullptr), 101u);
    MSG m;
    EXPECT_FALSE(PeekMessageW(&m, h, WM_TIMER, WM_TIMER, PM_REMOVE));
    std::this_thread::sleep_for(std::chrono::milliseconds(900));  // two periods
    gLog.clear();
    int ticks = 0;
    while (PeekMessageW(&m, h, WM_TIMER, WM_TIMER, PM_REMOVE)) {
        EXPECT_EQ(m.hwnd, h);
        EXPECT_EQ(m.wParam, 101u);
        DispatchMessageW(&m);
        ++ticks;
    }
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(gLog, (std::vector<std::string>{"timer 101"}));
    // A posted message outside the range stays queued.
    PostMessageW(h, WM_USER + 1, 9, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(450));
    EXPECT_TRUE(PeekMessageW(&m, h, WM_TIMER, WM_TIMER, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_TIMER));
    EXPECT_TRUE(PeekMessageW(&m, h, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 1));
    EXPECT_TRUE(KillTimer(h, 101));
    std::this_thread::sleep_for(std::chrono::milliseconds(450));
    EXPECT_FALSE(PeekMessageW(&m, h, WM_TIMER, WM_TIMER, PM_REMOVE));
    DestroyWindow(h);
}

TEST(Timers, GetMessageWaitsForTheTimer) {
    HWND h = Make(u"t2");
    SetTimer(h, 7, 50, nullptr);
    MSG m;
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(GetMessageW(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_TIMER));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(45));
    DestroyWindow(h);
}

TEST(MessageOnly, NotFoundNotBroadcastAndNotListedAsTopLevel) {
    RegisterLogging();
    HWND hidden = CreateWindowExW(0, u"Logging", u"hidden", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0,
                                  HWND_MESSAGE, nullptr, nullptr, nullptr);
    HWND top = Make(u"top");
    ASSERT_TRUE(IsWindow(hidden));
    EXPECT_EQ(FindWindowW(u"Logging", u"hidden"), nullptr);
    EXPECT_EQ(FindWindowExW(HWND_MESSAGE, nullptr, u"Logging", u"hidden"), hidden);
    EXPECT_EQ(FindWindowW(u"Logging", u"top"), top);
    gLog.clear();
    PostMessageW(HWND_BROADCAST, WM_USER + 1, 55, 0);
    Pump();
    EXPECT_EQ(gLog, (std::vector<std::string>{"posted 55"}));  // the top-level one only
    DestroyWindow(hidden);
    DestroyWindow(top);
}

TEST(Desktop, DesktopWindowIsTheParentOfTopLevelWindows) {
    RegisterLogging();
    HWND h = CreateWindowExW(0, u"Logging", u"desk", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, GetDesktopWindow(),
                             nullptr, nullptr, nullptr);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GetParent(h), nullptr);
    EXPECT_EQ(FindWindowW(u"Logging", u"desk"), h);
    EXPECT_EQ(GetSystemMetrics(SM_CXSMICON), 16);
    POINT far{-5000, 10};
    EXPECT_EQ(MonitorFromPoint(far, MONITOR_DEFAULTTONULL), nullptr);
    HMONITOR mon = MonitorFromPoint(far, MONITOR_DEFAULTTONEAREST);
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    ASSERT_TRUE(GetMonitorInfoW(mon, &mi));
    EXPECT_EQ(mi.rcWork.left, 0);
    EXPECT_GT(mi.rcWork.right, 0);
    DestroyWindow(h);
}

TEST(Threads, WindowsOfAThreadGoWhenItEnds) {
    HWND h = nullptr;
    std::thread([&] { h = Make(u"short-lived"); }).join();
    EXPECT_FALSE(IsWindow(h));
    EXPECT_EQ(SendMessageW(h, WM_USER, 1, 0), 0);
}

TEST(Handles, NeverTheReservedValues) {
    for (int i = 0; i < 200; ++i) {
        HWND h = Make(u"v");
        uint32_t v = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h));
        EXPECT_NE(v, 0u);
        EXPECT_NE(v, 0xFFFFu);
        EXPECT_NE(v, 0x666u);
        EXPECT_LT(v, 0xFFFFFFFDu);
        DestroyWindow(h);
    }
}

TEST(Session, TestsRunInTheirOwnSessionFolder) {
    char16_t dir[4096];
    DWORD n = W32GetSessionDirectory(dir, 4096);
    ASSERT_GT(n, 0u);
    std::string narrow(dir, dir + n);
    EXPECT_EQ(narrow, wtest::SessionDirectory());
}
