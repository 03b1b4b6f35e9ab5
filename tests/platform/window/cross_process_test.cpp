// Behaviour across processes of one session: two test processes talking
// through the session as the plug-in and the agent do.
#include <windows.h>

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <dirent.h>
#include <thread>

#include "child_process.h"
#include "desktop_user.h"
#include "test_resources.h"

using wtest::ChildProcess;
using Clock = std::chrono::steady_clock;

namespace {

struct Answers {
    int count = 0;
    int32_t firstInt = 0;
    int32_t secondInt = 0;
    DWORD size = 0;
    bool duringSend = false;
};
Answers gAnswers;
bool gSending = false;

LRESULT CALLBACK ClientProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COPYDATA) {
        auto* cds = reinterpret_cast<COPYDATASTRUCT*>(lp);
        ++gAnswers.count;
        gAnswers.size = cds->cbData;
        gAnswers.duringSend = gSending;
        if (cds->lpData && cds->cbData >= 8) {
            std::memcpy(&gAnswers.firstInt, cds->lpData, 4);
            std::memcpy(&gAnswers.secondInt, static_cast<char*>(cds->lpData) + 4, 4);
        }
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

HWND MakeClient() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = ClientProc;
    wc.lpszClassName = u"TestClient";
    RegisterClassExW(&wc);
    return CreateWindowExW(0, u"TestClient", u"", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, HWND_MESSAGE,
                           nullptr, nullptr, nullptr);
}

HWND Ready(ChildProcess& child, int n = 0) {
    std::string line = child.WaitFor("ready");
    EXPECT_FALSE(line.empty());
    return static_cast<HWND>(wtest::HandleFromReady(line, n));
}

}  // namespace

TEST(CrossProcess, ReplySentFromInsideHandlerArrivesWhileSenderWaits) {
    HWND client = MakeClient();
    ChildProcess agent({"echo", "VexloDesktopClass"});
    HWND server = Ready(agent);
    ASSERT_TRUE(IsWindow(server));
    std::vector<unsigned char> request(5136, 0);
    int32_t code = 105;
    std::memcpy(request.data(), &code, 4);
    COPYDATASTRUCT cds{0, 5136, request.data()};
    gSending = true;
    LRESULT r = SendMessageW(server, WM_COPYDATA, reinterpret_cast<WPARAM>(client),
                             reinterpret_cast<LPARAM>(&cds));
    gSending = false;
    EXPECT_EQ(r, 77);
    ASSERT_EQ(gAnswers.count, 1);
    EXPECT_TRUE(gAnswers.duringSend);
    EXPECT_EQ(gAnswers.size, 4104u);
    EXPECT_EQ(gAnswers.firstInt, 5136);
    EXPECT_EQ(gAnswers.secondInt, 105);
    PostMessageW(server, WM_CLOSE, 0, 0);
    EXPECT_EQ(agent.Wait(), 0);
}

TEST(CrossProcess, CopyDataWithNullPointerArrivesAsNoData) {
    HWND client = MakeClient();
    ChildProcess agent({"echo", "VexloDesktopClass"});
    HWND server = Ready(agent);
    COPYDATASTRUCT cds{0, 5136, nullptr};
    EXPECT_EQ(SendMessageW(server, WM_COPYDATA, reinterpret_cast<WPARAM>(client),
                           reinterpret_cast<LPARAM>(&cds)),
              78);
    EXPECT_EQ(gAnswers.firstInt, 0);  // cbData seen by the receiver
    EXPECT_EQ(gAnswers.secondInt, -1);
    PostMessageW(server, WM_CLOSE, 0, 0);
}

TEST(CrossProcess, FindWindowFindsAnotherProcessWindowByClass) {
    ChildProcess agent({"echo", "VexloDesktopClass"});
    HWND server = Ready(agent);
    EXPECT_EQ(FindWindowW(u"VexloDesktopClass", nullptr), server);
    EXPECT_EQ(FindWindowW(u"vexlodesktopclass", nullptr), server);
    EXPECT_EQ(FindWindowW(u"VexloDesktopClass", u"helper"), server);
    EXPECT_EQ(FindWindowW(u"VexloDesktopClass", u"other"), nullptr);
    EXPECT_EQ(FindWindowW(u"NoSuchClass", nullptr), nullptr);
    DWORD pid = 0;
    EXPECT_NE(GetWindowThreadProcessId(server, &pid), 0u);
    EXPECT_EQ(static_cast<int>(pid), agent.pid());
    wchar_t dummy = 0;
    (void)dummy;
    char16_t cls[64];
    EXPECT_EQ(GetClassNameW(server, cls, 64), 17);
    UINT ping = RegisterWindowMessageW(u"W32TEST_PING");
    EXPECT_EQ(SendMessageW(server, ping, 41, 0), 42);
    PostMessageW(server, WM_CLOSE, 0, 0);
    EXPECT_EQ(agent.Wait(), 0);
    EXPECT_FALSE(IsWindow(server));
    EXPECT_EQ(FindWindowW(u"VexloDesktopClass", nullptr), nullptr);
}

TEST(CrossProcess, RegisteredMessagesAreEqualAcrossProcesses) {
    UINT mine = RegisterWindowMessageW(u"WM_VEXLO_DESKTOP_MESSAGE");
    EXPECT_GE(mine, 0xC000u);
    EXPECT_LE(mine, 0xFFFFu);
    ChildProcess other({"atom", "wm_vexlo_desktop_message"});
    EXPECT_EQ(other.WaitFor("atom"), "atom " + std::to_string(mine));
    ChildProcess fresh({"atom", "WM_VEXLO_INTER_WIA_MESSAGE"});
    std::string line = fresh.WaitFor("atom");
    EXPECT_EQ(line,
              "atom " + std::to_string(RegisterWindowMessageW(u"WM_VEXLO_INTER_WIA_MESSAGE")));
    EXPECT_NE(line, "atom " + std::to_string(mine));
}

TEST(CrossProcess, BroadcastReachesOtherProcessesButNotMessageOnlyWindows) {
    ChildProcess a({"listen", "ListenerA"});
    ChildProcess b({"listen", "ListenerB"});
    HWND topA = Ready(a), topB = Ready(b);
    UINT broadcast = RegisterWindowMessageW(u"W32TEST_BROADCAST");
    UINT done = RegisterWindowMessageW(u"W32TEST_DONE");
    EXPECT_TRUE(PostMessageW(HWND_BROADCAST, broadcast, 0x666, getpid()));
    PostMessageW(topA, done, 0, 0);
    PostMessageW(topB, done, 0, 0);
    for (ChildProcess* c : {&a, &b}) {
        std::string first = c->ReadLine();
        EXPECT_EQ(first, "top 1638 " + std::to_string(getpid()));
        EXPECT_EQ(c->ReadLine(), "done");  // nothing reached the message-only window
        EXPECT_EQ(c->Wait(), 0);
    }
}

TEST(CrossProcess, SendToKilledProcessWindowReturnsAtOnce) {
    ChildProcess agent({"hang", "HungClass"});
    HWND server = Ready(agent);
    ASSERT_TRUE(IsWindow(server));
    agent.Kill();
    agent.Wait();
    auto start = Clock::now();
    UINT ping = RegisterWindowMessageW(u"W32TEST_PING");
    EXPECT_EQ(SendMessageW(server, ping, 1, 0), 0);
    EXPECT_FALSE(IsWindow(server));
    EXPECT_FALSE(PostMessageW(server, ping, 1, 0));
    EXPECT_EQ(FindWindowW(u"HungClass", nullptr), nullptr);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
}

TEST(CrossProcess, SenderWaitingOnProcessThatDiesIsReleased) {
    ChildProcess agent({"hang", "HungClass"});
    HWND server = Ready(agent);
    UINT ping = RegisterWindowMessageW(u"W32TEST_PING");
    std::thread killer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        agent.Kill();
    });
    auto start = Clock::now();
    EXPECT_EQ(SendMessageW(server, ping, 1, 0), 0);  // the helper never pumps
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    killer.join();
}

TEST(CrossProcess, ModalDialogDispatchesCrossProcessSendAndDisablesOwner) {
    ChildProcess agent({"dialog", "DialogOwner"});
    HWND owner = Ready(agent);
    auto dialog = desktop_user::WaitForWindow({u"", u"Выбор сканера"}, std::chrono::seconds(5));
    ASSERT_TRUE(dialog.has_value());
    EXPECT_EQ(dialog->className, u"#32770");
    EXPECT_EQ(dialog->owner, owner);
    UINT ping = RegisterWindowMessageW(u"W32TEST_PING");
    EXPECT_EQ(SendMessageW(owner, ping, 9, 0), 10);  // answered from inside the modal loop
    EXPECT_EQ(agent.WaitFor("ping"), "ping enabled=0");
    auto controls = desktop_user::ListControls(dialog->hwnd);
    ASSERT_EQ(controls.size(), 3u);
    EXPECT_EQ(controls[0].title, u"OK");
    EXPECT_EQ(controls[1].title, u"Cancel");
    EXPECT_EQ(controls[2].title, u"Сканеры: 2");  // set in WM_INITDIALOG
    EXPECT_TRUE(desktop_user::PressButton(dialog->hwnd, u"Cancel"));
    EXPECT_EQ(agent.WaitFor("result"), "result 2 enabled=1");
    EXPECT_EQ(agent.Wait(), 0);
}

TEST(CrossProcess, DesktopUserPressesEnterAndEscapeInAnotherProcessDialog) {
    for (auto [key, expected] : {std::pair<UINT, const char*>{VK_RETURN, "result 1 enabled=1"},
                                 {VK_ESCAPE, "result 2 enabled=1"}}) {
        ChildProcess agent({"dialog", "DialogOwner"});
        Ready(agent);
        auto dialog = desktop_user::WaitForWindow({u"#32770", u""}, std::chrono::seconds(5));
        ASSERT_TRUE(dialog.has_value());
        EXPECT_TRUE(desktop_user::PressKey(dialog->hwnd, key));
        EXPECT_EQ(agent.WaitFor("result"), expected);
    }
    ChildProcess agent({"dialog", "DialogOwner"});
    Ready(agent);
    auto dialog = desktop_user::WaitForWindow({u"#32770", u""}, std::chrono::seconds(5));
    ASSERT_TRUE(dialog.has_value());
    EXPECT_TRUE(desktop_user::CloseWindow(dialog->hwnd));  // the close box is IDCANCEL
    EXPECT_EQ(agent.WaitFor("result"), "result 2 enabled=1");
}

TEST(CrossProcess, DesktopUserListsAndPicksPopupMenuItems) {
    ChildProcess agent({"menu", "MenuOwner"});
    HWND owner = Ready(agent);
    auto menu = desktop_user::WaitForMenu(std::chrono::seconds(5));
    ASSERT_TRUE(menu.has_value());
    EXPECT_EQ(menu->owner, owner);
    EXPECT_TRUE(menu->topmost);
    auto items = desktop_user::ReadMenu(menu->hwnd);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].text, u"О программе");
    EXPECT_EQ(items[0].id, 301u);
    EXPECT_TRUE(items[1].separator);
    EXPECT_TRUE(items[2].grayed);
    EXPECT_EQ(items[3].text, u"Выход");
    EXPECT_FALSE(desktop_user::PickMenuItem(menu->hwnd, u"Недоступно"));
    EXPECT_TRUE(desktop_user::PickMenuItem(menu->hwnd, u"Выход"));
    EXPECT_EQ(agent.WaitFor("menu closed"), "menu closed");
    EXPECT_EQ(agent.ReadLine(), "command 300");
    EXPECT_EQ(agent.Wait(), 0);
}

TEST(CrossProcess, DismissedPopupMenuSendsNoCommand) {
    ChildProcess agent({"menu", "MenuOwner"});
    Ready(agent);
    auto menu = desktop_user::WaitForMenu(std::chrono::seconds(5));
    ASSERT_TRUE(menu.has_value());
    EXPECT_TRUE(desktop_user::DismissMenu(menu->hwnd));
    EXPECT_EQ(agent.WaitFor("menu closed"), "menu closed");
    EXPECT_EQ(agent.ReadLine(), "end");
}

TEST(CrossProcess, RuleFilePressesButtonWhenDialogAppears) {
    auto rules = desktop_user::ParseRules(
        "# the device dialog\nwhen class \"#32770\" title \"Выбор сканера\" press \"OK\" after "
        "100\n");
    ASSERT_EQ(rules.size(), 1u);
    ChildProcess agent({"dialog", "DialogOwner"});
    Ready(agent);
    std::vector<std::string> log;
    int acts = desktop_user::RunRules(rules, std::chrono::seconds(5),
                                      [&](const std::string& l) { log.push_back(l); });
    EXPECT_EQ(acts, 1);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("press \"OK\""), std::string::npos);
    EXPECT_EQ(agent.WaitFor("result"), "result 1 enabled=1");
}

TEST(CrossProcess, HandleValuesAreUniqueAcrossProcesses) {
    std::vector<HWND> mine;
    for (int i = 0; i < 3; ++i)
        mine.push_back(MakeClient());
    ChildProcess a({"handles", "H1"});
    ChildProcess b({"handles", "H2"});
    HWND ha = Ready(a), hb = Ready(b);
    EXPECT_NE(ha, hb);
    for (HWND h : mine) {
        EXPECT_NE(h, ha);
        EXPECT_NE(h, hb);
    }
    for (HWND h : {ha, hb}) {
        uint32_t v = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h));
        EXPECT_EQ(v % 4, 0u);
        EXPECT_GE(v, 0x10000u);
    }
}

TEST(Session, DirectoryIsCreatedPrivateAndForeignOnesAreRefused) {
    struct stat st {};
    MakeClient();
    ASSERT_EQ(stat(wtest::SessionDirectory().c_str(), &st), 0);
    std::string fresh = wtest::SessionDirectory() + "/nested";
    setenv("W32_SESSION", fresh.c_str(), 1);
    {
        ChildProcess c({"session"});
        EXPECT_NE(c.WaitFor("session"), "session 0");
    }
    ASSERT_EQ(stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    std::string open = wtest::SessionDirectory() + "/open";
    mkdir(open.c_str(), 0700);
    chmod(open.c_str(), 0755);  // readable by others: not a session folder
    setenv("W32_SESSION", open.c_str(), 1);
    {
        ChildProcess c({"session"});
        EXPECT_EQ(c.WaitFor("session"), "session 0");
    }
    setenv("W32_SESSION", wtest::SessionDirectory().c_str(), 1);
}

namespace {
std::vector<std::string> Sockets() {
    std::vector<std::string> out;
    DIR* d = opendir(wtest::SessionDirectory().c_str());
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n.size() > 5 && n.substr(n.size() - 5) == ".sock")
            out.push_back(n);
    }
    closedir(d);
    return out;
}

int Connect(const std::string& name) {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::string path = wtest::SessionDirectory() + "/" + name;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}
}  // namespace

TEST(DeliveryChannel, MalformedAndOversizedFramesAreRejectedWithoutHarm) {
    ChildProcess agent({"echo", "FrameTarget"});
    HWND server = Ready(agent);
    // The helper's thread listens on "t<process instance>-<thread id>.sock".
    DWORD tid = GetWindowThreadProcessId(server, nullptr);
    std::vector<std::string> socks;
    for (auto& name : Sockets())
        if (name.size() > 6 && name.find("-" + std::to_string(tid) + ".sock") != std::string::npos)
            socks.push_back(name);
    ASSERT_EQ(socks.size(), 1u);
    // Garbage, a header announcing 1 GiB, and a half frame that never ends.
    const char garbage[] = "this is not a frame at all, just bytes on the wire.....";
    unsigned char huge[40] = {0x57, 0x33, 0x32, 0x46, 1, 0, 1, 0, 0, 0, 0, 0x40};
    unsigned char half[20] = {0x57, 0x33, 0x32, 0x46, 2, 0, 0, 0};
    for (auto [data, size] : {std::pair<const void*, size_t>{garbage, sizeof garbage},
                              {huge, sizeof huge},
                              {half, sizeof half}}) {
        int fd = Connect(socks[0]);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(send(fd, data, size, MSG_NOSIGNAL), static_cast<ssize_t>(size));
        if (data != half) {
            char c;
            // The receiver closes a corrupt stream.
            timeval tv{2, 0};
            setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
            EXPECT_EQ(recv(fd, &c, 1, 0), 0);
        }
        close(fd);
    }
    UINT ping = RegisterWindowMessageW(u"W32TEST_PING");
    EXPECT_EQ(SendMessageW(server, ping, 5, 0), 6);  // still serving
    PostMessageW(server, WM_CLOSE, 0, 0);
    EXPECT_EQ(agent.Wait(), 0);
}

TEST(DeliveryChannel, OversizedCopyDataIsRefusedBySender) {
    ChildProcess agent({"echo", "FrameTarget"});
    HWND server = Ready(agent);
    std::vector<unsigned char> big(5u << 20);
    COPYDATASTRUCT cds{0, static_cast<DWORD>(big.size()), big.data()};
    EXPECT_EQ(SendMessageW(server, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds)), 0);
    UINT ping = RegisterWindowMessageW(u"W32TEST_PING");
    EXPECT_EQ(SendMessageW(server, ping, 1, 0), 2);
    PostMessageW(server, WM_CLOSE, 0, 0);
}
