// Dialogs: where they open, and modal dialogs of another process driven by
// the simulated user.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "desktop_user.h"
#include "peer_process.h"

namespace {

using vexlo::test::PeerProcess;

HWND WaitForDialog() {
    return desktop_user::WaitForWindow(u"#32770", u"Выбор сканера", std::chrono::seconds(5));
}

void TemplateAnchor() {}

// 200 x 100 dialog units: 300 x 162 pixels.
const W32_DIALOG_TEMPLATE kCentred = {WS_POPUP | DS_CENTER, 0, 10,      20, 200, 100, u"centred",
                                      u"MS Shell Dlg",      8, nullptr, 0};
const W32_DIALOG_TEMPLATE kPlaced = {WS_POPUP,        0, 10,      20, 200, 100, u"placed",
                                     u"MS Shell Dlg", 8, nullptr, 0};
const W32_DIALOG_TEMPLATE kHuge = {WS_POPUP | DS_CENTER, 0, 0,       0, 2000, 1000, u"huge",
                                   u"MS Shell Dlg",      8, nullptr, 0};

TEST(Dialogs, ACentredDialogOpensInTheMiddleOfItsOwnersMonitorsWorkArea) {
    const void* anchor = reinterpret_cast<const void*>(&TemplateAnchor);
    W32RegisterResource(anchor, RT_DIALOG, MAKEINTRESOURCEW(40), &kCentred, sizeof(kCentred));
    W32RegisterResource(anchor, RT_DIALOG, MAKEINTRESOURCEW(41), &kPlaced, sizeof(kPlaced));
    W32RegisterResource(anchor, RT_DIALOG, MAKEINTRESOURCEW(42), &kHuge, sizeof(kHuge));
    // The primary monitor's work area is 0,0-1920,1040; the second's 1920,0-3200,1024.
    struct Case {
        const char* what;
        int id;
        POINT ownerAt;  // {-1, -1}: no owner
        RECT expected;
    };
    const Case cases[] = {
        {"no owner", 40, {-1, -1}, {810, 439, 1110, 601}},
        {"owner on the primary monitor", 40, {100, 100}, {810, 439, 1110, 601}},
        {"owner on the second monitor", 40, {2500, 300}, {2410, 431, 2710, 593}},
        {"owner mostly on the second monitor", 40, {1880, 300}, {2410, 431, 2710, 593}},
        {"without DS_CENTER, the template's place", 41, {2500, 300}, {15, 32, 315, 194}},
        {"larger than the work area, from its top left", 42, {2500, 300}, {1920, 0, 4920, 1625}},
    };
    for (const Case& c : cases) {
        HWND owner = nullptr;
        if (c.ownerAt.x >= 0) {
            owner = CreateWindowExW(0, u"Static", u"owner", WS_POPUP, c.ownerAt.x, c.ownerAt.y, 200,
                                    100, nullptr, nullptr, nullptr, nullptr);
            ASSERT_NE(owner, nullptr) << c.what;
        }
        HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(c.id), owner,
                                         nullptr, 0);
        ASSERT_NE(dialog, nullptr) << c.what;
        RECT placed = {};
        EXPECT_TRUE(GetWindowRect(dialog, &placed));
        EXPECT_EQ(std::vector<LONG>({placed.left, placed.top, placed.right, placed.bottom}),
                  std::vector<LONG>(
                      {c.expected.left, c.expected.top, c.expected.right, c.expected.bottom}))
            << c.what;
        DestroyWindow(dialog);
        if (owner != nullptr) {
            DestroyWindow(owner);
        }
    }
}

TEST(Dialogs, TheSimulatedUserReadsAndPressesTheButtonsOfAnotherProcesssDialog) {
    PeerProcess peer({"dialog", "PeerOwnerClass"});
    HWND dialog = WaitForDialog();
    ASSERT_NE(dialog, nullptr);
    bool listed = false;
    for (const auto& window : desktop_user::TopLevelWindows()) {
        if (window.hwnd == dialog) {
            listed = window.visible && window.pid == static_cast<DWORD>(peer.pid());
        }
    }
    EXPECT_TRUE(listed);
    std::vector<std::u16string> texts;
    for (const auto& control : desktop_user::Controls(dialog)) {
        texts.push_back(control.text);
    }
    EXPECT_EQ(texts, (std::vector<std::u16string>{u"OK", u"Cancel", u"&Скан", u"Сканеры:"}));
    EXPECT_FALSE(IsWindowEnabled(peer.window())) << "the owner is disabled while the dialog runs";
    EXPECT_TRUE(desktop_user::PressButton(dialog, u"Скан"));
    EXPECT_EQ(peer.WaitForExit(5000), 5);
}

TEST(Dialogs, EnterPressesTheDefaultButtonEscapeAndTheCloseBoxCancel) {
    struct Case {
        const char* what;
        int expected;
    };
    for (Case c : {Case{"enter", IDOK}, Case{"escape", IDCANCEL}, Case{"close", IDCANCEL}}) {
        PeerProcess peer({"dialog", "PeerOwnerClass"});
        HWND dialog = WaitForDialog();
        ASSERT_NE(dialog, nullptr) << c.what;
        std::string what = c.what;
        if (what == "enter") {
            desktop_user::PressKey(dialog, VK_RETURN);
        } else if (what == "escape") {
            desktop_user::PressKey(dialog, VK_ESCAPE);
        } else {
            desktop_user::CloseWindow(dialog);
        }
        EXPECT_EQ(peer.WaitForExit(5000), c.expected) << c.what;
    }
}

TEST(Dialogs, AModalDialogKeepsHandlingCrossProcessSends) {
    PeerProcess peer({"dialog", "PeerOwnerClass"});
    ASSERT_NE(WaitForDialog(), nullptr);
    EXPECT_EQ(SendMessageW(peer.window(), WM_USER + 2, 21, 0), 42);
    desktop_user::PressKey(WaitForDialog(), VK_ESCAPE);
    EXPECT_EQ(peer.WaitForExit(5000), IDCANCEL);
}

TEST(PopupMenus, TheChosenItemReachesTheOwnerAsACommand) {
    PeerProcess peer({"menu", "PeerMenuOwner"});
    EXPECT_TRUE(desktop_user::PickMenuItem(u"Выход", std::chrono::seconds(5)));
    EXPECT_EQ(peer.WaitForExit(5000), 1) << "item 300";
}

TEST(PopupMenus, ADismissedMenuChoosesNothing) {
    PeerProcess peer({"menu", "PeerMenuOwner"});
    HWND menu = desktop_user::WaitForWindow(u"#32768", u"", std::chrono::seconds(5));
    ASSERT_NE(menu, nullptr);
    std::vector<std::u16string> items;
    for (const auto& control : desktop_user::Controls(menu)) {
        items.push_back(control.text);
    }
    EXPECT_EQ(items, (std::vector<std::u16string>{u"О программе", u"Выход"}));
    EXPECT_TRUE(desktop_user::DismissMenu(std::chrono::seconds(1)));
    EXPECT_EQ(peer.WaitForExit(5000), 0);
}

TEST(DesktopUserRules, ARuleFilePressesAButtonWhenTheWindowAppears) {
    auto rules = desktop_user::ParseRules(
        "# the scanner selection\n"
        "when class=#32770 title=\"Выбор сканера\" press OK after 100\n");
    ASSERT_EQ(rules.size(), 1u);
    EXPECT_EQ(rules[0].delay, std::chrono::milliseconds(100));
    PeerProcess peer({"dialog", "PeerOwnerClass"});
    int actions = desktop_user::RunRules(
        rules, std::chrono::steady_clock::now() + std::chrono::seconds(2), false);
    EXPECT_EQ(actions, 1);
    EXPECT_EQ(peer.WaitForExit(5000), IDOK);
}

TEST(DesktopUserRules, BadLinesAreRefusedWithTheirNumber) {
    EXPECT_THROW(desktop_user::ParseRules("when press OK\n"), std::runtime_error);
    EXPECT_THROW(desktop_user::ParseRules("\nwhen title=x jump\n"), std::runtime_error);
    EXPECT_THROW(desktop_user::ParseRules("when title=x key space\n"), std::runtime_error);
    EXPECT_THROW(desktop_user::ParseRules("when title=x close after soon\n"), std::runtime_error);
    try {
        desktop_user::ParseRules("# fine\n\nif title=x close\n");
        FAIL();
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("line 3"), std::string::npos);
    }
}

}  // namespace
