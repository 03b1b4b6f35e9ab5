// The real agent_vexlo program at the desktop: its tray icon, the icon's
// menu and the about dialog, driven by the simulated user's library from
// this test process, with plug-in requests sent as a plug-in sends them.
#include <windows.h>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "agent/base/messages.h"
#include "agent_fixture.h"
#include "desktop_user.h"
#include "protocol/records.h"
#include "support/child_process.h"
#include "support/temp_dir.h"
#include "tray_icons.h"

namespace {

using desktop_user::TrayClick;
using desktop_user::TrayIcon;
using vexlo::test::AnswerRecorder;
using vexlo::test::ReadFileBytes;
using vexlo::test::TempDir;
using namespace std::chrono_literals;

constexpr char16_t kTooltip[] = u"Агент Vexlo";
constexpr char16_t kAboutTitle[] = u"О программе";

std::string ProgramPath(const char* name) {
    char self[4096];
    ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
    self[length > 0 ? length : 0] = 0;
    std::string path = self;
    return path.substr(0, path.rfind('/')) + "/" + name;
}

// Polls until done holds, for at most bound.
bool Eventually(const std::function<bool()>& done, std::chrono::milliseconds bound = 5s) {
    auto end = std::chrono::steady_clock::now() + bound;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// One agent with its own data folder (trace level 4, so the close is logged)
// and a URL opener that records what it is given.
class Agent {
public:
    explicit Agent(const TempDir& folder) : folder(folder) {
        std::filesystem::create_directories(folder.path() / "VexloDesktop");
        if (!std::filesystem::exists(folder.path() / "VexloDesktop/settings.ini")) {
            vexlo::test::WriteFileBytes(folder.path() / "VexloDesktop/settings.ini",
                                        "[settings]\r\ntrace-level=4\r\n");
        }
        vexlo::test::WriteFileBytes(folder.path() / "opener",
                                    "#!/bin/sh\necho \"$1\" >> " + folder.native("opened") + "\n");
        chmod((folder.path() / "opener").c_str(), 0755);
        process = vexlo::test::Spawn(
            {ProgramPath("agent_vexlo")},
            {{"APPDATA", folder.native()}, {"W32_URL_OPENER", folder.native("opener")}});
        pid = static_cast<DWORD>(process.pid());
    }

    // The agent's tray icon once it shows.
    bool WaitForIcon(TrayIcon* icon) {
        return Eventually([&] { return FindIcon(icon); });
    }
    bool FindIcon(TrayIcon* icon) {
        return desktop_user::FindTrayIcon("pid=" + std::to_string(pid), icon);
    }
    HWND Window() {
        HWND window = nullptr;
        Eventually([&] {
            window = FindWindowW(vexlo::kAgentWindowClass, nullptr);
            DWORD owner = 0;
            return window != nullptr && GetWindowThreadProcessId(window, &owner) != 0 &&
                   owner == pid;
        });
        return window;
    }
    // The agent's visible about dialogs.
    std::vector<HWND> AboutDialogs() {
        std::vector<HWND> dialogs;
        for (const auto& window : desktop_user::TopLevelWindows()) {
            if (window.visible && window.pid == pid && window.title == kAboutTitle) {
                dialogs.push_back(window.hwnd);
            }
        }
        return dialogs;
    }
    HWND WaitForAbout() {
        HWND dialog = nullptr;
        Eventually([&] {
            auto dialogs = AboutDialogs();
            dialog = dialogs.empty() ? nullptr : dialogs[0];
            return dialog != nullptr;
        });
        return dialog;
    }
    HWND WaitForMenu() {
        HWND menu = nullptr;
        Eventually([&] {
            for (const auto& window : desktop_user::TopLevelWindows()) {
                if (window.visible && window.pid == pid && window.className == u"#32768") {
                    menu = window.hwnd;
                    return true;
                }
            }
            return false;
        });
        return menu;
    }
    bool HasMenu() {
        for (const auto& window : desktop_user::TopLevelWindows()) {
            if (window.visible && window.pid == pid && window.className == u"#32768") {
                return true;
            }
        }
        return false;
    }
    int WaitForExit(std::chrono::milliseconds bound) { return process.Wait(bound); }
    std::string Settings() { return ReadFileBytes(folder.path() / "VexloDesktop/settings.ini"); }
    std::string Log() { return ReadFileBytes(folder.path() / "VexloDesktop/vexlo-plugin.log"); }
    std::string Opened() { return ReadFileBytes(folder.path() / "opened"); }

    const TempDir& folder;
    vexlo::test::ChildProcess process;
    DWORD pid = 0;
};

// Asks the agent its scan mode as a plug-in does; true when it answered.
bool AnswersRequests(HWND agentWindow) {
    AnswerRecorder client;
    vexlo::PluginRequest query = vexlo::test::MakeRequest(vexlo::kRequestGetScanMode);
    COPYDATASTRUCT copy{0, sizeof(query), &query};
    SendMessageW(agentWindow, WM_COPYDATA, reinterpret_cast<WPARAM>(client.hwnd()),
                 reinterpret_cast<LPARAM>(&copy));
    return client.answers.size() == 1 && client.answers[0].state == vexlo::kReplyScanMode;
}

std::u16string ControlText(HWND dialog, int id) {
    for (const auto& control : desktop_user::Controls(dialog)) {
        if (control.id == id) {
            return control.text;
        }
    }
    return u"<none>";
}

TEST(TrayProcess, TheIconShowsWhileTheAgentRunsAndExitFromItsMenuEndsTheAgentInOrder) {
    TempDir folder;
    Agent agent(folder);
    TrayIcon icon;
    ASSERT_TRUE(agent.WaitForIcon(&icon));
    EXPECT_EQ(icon.tooltip, kTooltip);
    EXPECT_NE(icon.callbackMessage, 0u);
    HWND window = agent.Window();
    ASSERT_NE(window, nullptr);
    AnswerRecorder client;
    vexlo::PluginRequest setMode = vexlo::test::MakeRequest(vexlo::kRequestSetScanMode, 2);
    COPYDATASTRUCT copy{0, sizeof(setMode), &setMode};
    SendMessageW(window, WM_COPYDATA, reinterpret_cast<WPARAM>(client.hwnd()),
                 reinterpret_cast<LPARAM>(&copy));

    ASSERT_TRUE(desktop_user::ClickTrayIcon(icon, TrayClick::kRight));
    HWND menu = agent.WaitForMenu();
    ASSERT_NE(menu, nullptr);
    std::vector<std::u16string> items;
    for (const auto& item : desktop_user::Controls(menu)) {
        items.push_back(item.text);
    }
    EXPECT_EQ(items, (std::vector<std::u16string>{u"О программе", u"Выход"}));
    ASSERT_TRUE(desktop_user::PickMenuItem(u"Выход", 5s));

    EXPECT_EQ(agent.WaitForExit(10s), 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(agent.FindIcon(&icon)) << "the icon went with the agent";
    EXPECT_NE(agent.Settings().find("scan-mode=2"), std::string::npos) << agent.Settings();
    EXPECT_NE(agent.Log().find("Close desktop..."), std::string::npos);
}

TEST(TrayProcess, EscapeInTheMenuAndMouseMovesAndSingleClicksDoNothing) {
    TempDir folder;
    Agent agent(folder);
    TrayIcon icon;
    ASSERT_TRUE(agent.WaitForIcon(&icon));
    ASSERT_TRUE(desktop_user::ClickTrayIcon(icon, TrayClick::kRight));
    ASSERT_NE(agent.WaitForMenu(), nullptr);
    ASSERT_TRUE(desktop_user::DismissMenu(5s));
    EXPECT_TRUE(Eventually([&] { return !agent.HasMenu(); }));
    for (TrayClick click : {TrayClick::kMove, TrayClick::kLeft}) {
        ASSERT_TRUE(desktop_user::ClickTrayIcon(icon, click));
    }
    HWND window = agent.Window();
    EXPECT_TRUE(AnswersRequests(window)) << "the clicks were handled and the agent goes on";
    EXPECT_FALSE(agent.HasMenu());
    EXPECT_TRUE(agent.AboutDialogs().empty());
    EXPECT_EQ(agent.WaitForExit(100ms), -1);
    EXPECT_TRUE(agent.FindIcon(&icon));
}

TEST(TrayProcess, TheMenuOpensAtTheCursorInsideTheWorkArea) {
    TempDir folder;
    Agent agent(folder);
    TrayIcon icon;
    ASSERT_TRUE(agent.WaitForIcon(&icon));
    struct Case {
        POINT cursor;
        POINT topLeft;  // where the menu opens (160 x 40 pixels)
        const char* why;
    };
    const Case cases[] = {
        {{500, 400}, {500, 400}, "at the cursor"},
        {{1900, 1030}, {1760, 1000}, "kept inside the task bar's edge"},
        {{3000, 1050}, {3000, 984}, "a point on no monitor: the nearest one's work area"},
        {{3190, 1070}, {3040, 984}, "on no monitor, near the right edge"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(desktop_user::MoveCursor(c.cursor.x, c.cursor.y));
        ASSERT_TRUE(desktop_user::ClickTrayIcon(icon, TrayClick::kRight));
        RECT rect = {};
        ASSERT_TRUE(desktop_user::OpenMenuRect(&rect, 5000)) << c.why;
        EXPECT_EQ(rect.left, c.topLeft.x) << c.why;
        EXPECT_EQ(rect.top, c.topLeft.y) << c.why;
        ASSERT_TRUE(desktop_user::DismissMenu(5s));
        ASSERT_TRUE(Eventually([&] { return !agent.HasMenu(); }));
    }
}

TEST(TrayProcess, ADoubleClickOpensOneAboutDialogThatEachWayOfClosingCloses) {
    TempDir folder;
    Agent agent(folder);
    TrayIcon icon;
    ASSERT_TRUE(agent.WaitForIcon(&icon));
    enum class Close { kButton, kEnter, kEscape, kCloseBox, kAboutItem };
    for (Close way : {Close::kButton, Close::kEnter, Close::kEscape, Close::kCloseBox}) {
        ASSERT_TRUE(desktop_user::ClickTrayIcon(icon, TrayClick::kDouble));
        HWND dialog = agent.WaitForAbout();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(ControlText(dialog, 1004), u"Сборка 91");
        std::u16string version = ControlText(dialog, 1003);
        EXPECT_EQ(version.rfind(u"Версия 0.0.81 от ", 0), 0u) << desktop_user::Narrow(version);
        EXPECT_EQ(version.size(), std::u16string(u"Версия 0.0.81 от ").size() + 11)
            << "the compiler's date: \"Mmm dd yyyy\"";

        // A second double click activates the open dialog instead.
        ASSERT_TRUE(desktop_user::ClickTrayIcon(icon, TrayClick::kDouble));
        EXPECT_TRUE(AnswersRequests(agent.Window())) << "requests go on while it is open";
        EXPECT_EQ(agent.AboutDialogs().size(), 1u);

        switch (way) {
            case Close::kButton:
                ASSERT_TRUE(desktop_user::PressButton(dialog, u"Закрыть"));
                break;
            case Close::kEnter:
                ASSERT_TRUE(desktop_user::PressKey(dialog, VK_RETURN));
                break;
            case Close::kEscape:
                ASSERT_TRUE(desktop_user::PressKey(dialog, VK_ESCAPE));
                break;
            default:
                ASSERT_TRUE(desktop_user::CloseWindow(dialog));
                break;
        }
        EXPECT_TRUE(Eventually([&] { return !IsWindow(dialog); }));
    }
    // "О программе" in the menu opens it too.
    ASSERT_TRUE(desktop_user::ClickTrayIcon(icon, TrayClick::kRight));
    ASSERT_TRUE(desktop_user::PickMenuItem(u"О программе", 5s));
    HWND dialog = agent.WaitForAbout();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(desktop_user::PressKey(dialog, VK_ESCAPE));
    EXPECT_TRUE(Eventually([&] { return !IsWindow(dialog); }));
    EXPECT_EQ(agent.WaitForExit(100ms), -1);
}

TEST(TrayProcess, TheAboutDialogsLinkOpensTheSiteAndItsControlsLieOnTheBackground) {
    TempDir folder;
    Agent agent(folder);
    TrayIcon icon;
    ASSERT_TRUE(agent.WaitForIcon(&icon));
    ASSERT_TRUE(desktop_user::ClickTrayIcon(icon, TrayClick::kDouble));
    HWND dialog = agent.WaitForAbout();
    ASSERT_NE(dialog, nullptr);
    W32_PAINT_RECORD background = {};
    ASSERT_TRUE(
        Eventually([&] { return W32GetPaintRecord(dialog, &background) && background.answered; }));
    EXPECT_EQ(background.brushColour, RGB(240, 240, 240));
    for (const auto& control : desktop_user::Controls(dialog)) {
        if (control.paint.answered) {
            EXPECT_TRUE(control.paint.hollowBrush) << control.id;
            EXPECT_EQ(control.paint.bkMode, TRANSPARENT) << control.id;
        }
    }
    ASSERT_TRUE(desktop_user::ClickControl(dialog, u"1001"));
    EXPECT_TRUE(Eventually([&] { return agent.Opened() == "http://www.vexlo.example\n"; }))
        << agent.Opened();
    W32_PAINT_RECORD link = {};
    EXPECT_TRUE(Eventually([&] {
        return W32GetPaintRecord(GetDlgItem(dialog, 1001), &link) &&
               link.textColour == RGB(128, 0, 128);
    })) << "the visited colour";
    ASSERT_TRUE(desktop_user::PressButton(dialog, u"Закрыть"));
    EXPECT_TRUE(Eventually([&] { return !IsWindow(dialog); }));
}

TEST(TrayProcess, RequestsAreAnsweredWhileTheMenuIsOpen) {
    TempDir folder;
    Agent agent(folder);
    TrayIcon icon;
    ASSERT_TRUE(agent.WaitForIcon(&icon));
    ASSERT_TRUE(desktop_user::ClickTrayIcon(icon, TrayClick::kRight));
    ASSERT_NE(agent.WaitForMenu(), nullptr);
    EXPECT_TRUE(AnswersRequests(agent.Window()));
    EXPECT_TRUE(agent.HasMenu());
    ASSERT_TRUE(desktop_user::DismissMenu(5s));
}

TEST(TrayProcess, ExitFromTheMenuWhileTheAboutDialogIsOpenEndsTheAgent) {
    TempDir folder;
    Agent agent(folder);
    TrayIcon icon;
    ASSERT_TRUE(agent.WaitForIcon(&icon));
    ASSERT_TRUE(desktop_user::ClickTrayIcon(icon, TrayClick::kDouble));
    HWND dialog = agent.WaitForAbout();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(desktop_user::ClickTrayIcon(icon, TrayClick::kRight));
    ASSERT_NE(agent.WaitForMenu(), nullptr);
    ASSERT_TRUE(desktop_user::PickMenuItem(u"Выход", 5s));
    EXPECT_EQ(agent.WaitForExit(10s), 0);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_FALSE(agent.FindIcon(&icon));
    EXPECT_NE(agent.Log().find("Close desktop..."), std::string::npos);
}

// A newer agent's start broadcast reaches the older one inside a loop that
// its tray started: the older one closes in order, the newer one stays.
TEST(TrayProcess, ANewerAgentClosesAnOlderOneWhoseMenuOrDialogIsOpen) {
    for (bool inDialog : {false, true}) {
        TempDir folder;
        Agent first(folder);
        TrayIcon icon;
        ASSERT_TRUE(first.WaitForIcon(&icon));
        if (inDialog) {
            ASSERT_TRUE(desktop_user::ClickTrayIcon(icon, TrayClick::kDouble));
            ASSERT_NE(first.WaitForAbout(), nullptr);
        } else {
            ASSERT_TRUE(desktop_user::ClickTrayIcon(icon, TrayClick::kRight));
            ASSERT_NE(first.WaitForMenu(), nullptr);
        }
        TempDir secondFolder;
        Agent second(secondFolder);
        EXPECT_EQ(first.WaitForExit(10s), 0) << (inDialog ? "dialog" : "menu");
        EXPECT_FALSE(first.FindIcon(&icon));
        EXPECT_NE(first.Log().find("Close desktop..."), std::string::npos);
        TrayIcon secondIcon;
        EXPECT_TRUE(second.WaitForIcon(&secondIcon));
        EXPECT_EQ(second.WaitForExit(300ms), -1) << "the newest agent stays";
        EXPECT_TRUE(second.FindIcon(&secondIcon));
    }
}

}  // namespace
