// Shell_NotifyIconW as the shell answers it: sizes, the add/modify/delete
// rules, the fields each call stores, and the session's listing.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_window.h"

namespace {

LRESULT CALLBACK Plain(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND MakeWindow() {
    static ATOM atom = test_support::RegisterWindowClass(u"NotifyIconTestWindow", Plain);
    EXPECT_NE(atom, 0);
    return CreateWindowExW(0, u"NotifyIconTestWindow", nullptr, WS_POPUP, 0, 0, 10, 10, nullptr,
                           nullptr, nullptr, nullptr);
}

NOTIFYICONDATAW Record(HWND hwnd, UINT id, UINT flags, const char16_t* tip = u"") {
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof(data);
    data.hWnd = hwnd;
    data.uID = id;
    data.uFlags = flags;
    data.uCallbackMessage = WM_APP + 7;
    data.hIcon = reinterpret_cast<HICON>(static_cast<uintptr_t>(0x10234));
    std::u16string(tip).copy(data.szTip, 127);
    return data;
}

std::vector<W32_NOTIFY_ICON> Listed() {
    std::vector<W32_NOTIFY_ICON> icons(16);
    int count = W32ListNotifyIcons(icons.data(), 16);
    icons.resize(static_cast<size_t>(std::min(count, 16)));
    return icons;
}

const W32_NOTIFY_ICON* FindListed(const std::vector<W32_NOTIFY_ICON>& icons, HWND hwnd, UINT id) {
    for (const auto& icon : icons) {
        if (icon.hWnd == hwnd && icon.uID == id) {
            return &icon;
        }
    }
    return nullptr;
}

TEST(NotifyIcon, AcceptsTheDocumentedStructureSizesOnly) {
    HWND hwnd = MakeWindow();
    struct Case {
        DWORD size;
        bool accepted;
    };
    const Case cases[] = {
        {sizeof(NOTIFYICONDATAW), true},
        {NOTIFYICONDATAW_V3_SIZE, true},
        {NOTIFYICONDATAW_V2_SIZE, true},
        {NOTIFYICONDATAW_V1_SIZE, true},
        {0, false},
        {sizeof(NOTIFYICONDATAW) - 1, false},
        {sizeof(NOTIFYICONDATAW) + 4, false},
        {956 == sizeof(NOTIFYICONDATAW) ? 1u : 956u, false},  // another platform's size
    };
    UINT id = 100;
    for (const Case& c : cases) {
        NOTIFYICONDATAW data = Record(hwnd, ++id, NIF_MESSAGE | NIF_TIP, u"size");
        data.cbSize = c.size;
        EXPECT_EQ(Shell_NotifyIconW(NIM_ADD, &data) != FALSE, c.accepted) << "cbSize " << c.size;
        data.cbSize = sizeof(data);
        EXPECT_EQ(Shell_NotifyIconW(NIM_DELETE, &data) != FALSE, c.accepted);
    }
    DestroyWindow(hwnd);
}

TEST(NotifyIcon, AddModifyAndDeleteFollowTheShellsRules) {
    HWND hwnd = MakeWindow();
    NOTIFYICONDATAW data = Record(hwnd, 1, NIF_MESSAGE | NIF_ICON | NIF_TIP, u"first");
    NOTIFYICONDATAW noWindow = Record(nullptr, 1, NIF_TIP);
    NOTIFYICONDATAW notAWindow =
        Record(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x7FFF0000)), 1, NIF_TIP);
    NOTIFYICONDATAW otherId = Record(hwnd, 2, NIF_TIP);
    struct Step {
        DWORD message;
        NOTIFYICONDATAW* data;
        bool succeeds;
        const char* what;
    };
    const Step steps[] = {
        {NIM_MODIFY, &data, false, "modify before add"},
        {NIM_DELETE, &data, false, "delete before add"},
        {NIM_ADD, &noWindow, false, "add without a window"},
        {NIM_ADD, &notAWindow, false, "add with a handle that is no window"},
        {NIM_ADD, &data, true, "add"},
        {NIM_ADD, &data, false, "add again"},
        {NIM_MODIFY, &otherId, false, "modify another id of the window"},
        {NIM_MODIFY, &data, true, "modify"},
        {NIM_DELETE, &data, true, "delete"},
        {NIM_DELETE, &data, false, "delete again"},
        {NIM_MODIFY, &data, false, "modify after delete"},
    };
    for (const Step& step : steps) {
        EXPECT_EQ(Shell_NotifyIconW(step.message, step.data) != FALSE, step.succeeds) << step.what;
    }
    EXPECT_EQ(Shell_NotifyIconW(NIM_ADD, nullptr), FALSE);
    DestroyWindow(hwnd);
}

TEST(NotifyIcon, DeleteSucceedsAfterTheOwnerWindowIsGone) {
    HWND hwnd = MakeWindow();
    NOTIFYICONDATAW data = Record(hwnd, 5, NIF_MESSAGE | NIF_TIP, u"orphan");
    ASSERT_TRUE(Shell_NotifyIconW(NIM_ADD, &data));
    ASSERT_TRUE(DestroyWindow(hwnd));
    data.uFlags = 0;
    EXPECT_TRUE(Shell_NotifyIconW(NIM_DELETE, &data)) << "identified by window and id";
    EXPECT_FALSE(Shell_NotifyIconW(NIM_DELETE, &data));
}

TEST(NotifyIcon, StoresOnlyTheFlaggedFields) {
    HWND hwnd = MakeWindow();
    NOTIFYICONDATAW data = Record(hwnd, 9, NIF_TIP, u"tip only");
    ASSERT_TRUE(Shell_NotifyIconW(NIM_ADD, &data));
    const W32_NOTIFY_ICON* icon = nullptr;
    auto icons = Listed();
    ASSERT_NE(icon = FindListed(icons, hwnd, 9), nullptr);
    EXPECT_EQ(icon->uCallbackMessage, 0u) << "NIF_MESSAGE was not given";
    EXPECT_EQ(icon->hIcon, nullptr);
    EXPECT_EQ(std::u16string(icon->szTip), u"tip only");
    EXPECT_EQ(icon->pid, GetCurrentProcessId());

    NOTIFYICONDATAW change = Record(hwnd, 9, NIF_MESSAGE, u"ignored tip");
    ASSERT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &change));
    icons = Listed();
    ASSERT_NE(icon = FindListed(icons, hwnd, 9), nullptr);
    EXPECT_EQ(icon->uCallbackMessage, static_cast<UINT>(WM_APP + 7));
    EXPECT_EQ(std::u16string(icon->szTip), u"tip only");

    // The first structure carried 64 characters of tip.
    NOTIFYICONDATAW old = Record(hwnd, 10, NIF_TIP, std::u16string(100, u'x').c_str());
    old.cbSize = NOTIFYICONDATAW_V1_SIZE;
    ASSERT_TRUE(Shell_NotifyIconW(NIM_ADD, &old));
    icons = Listed();
    ASSERT_NE(icon = FindListed(icons, hwnd, 10), nullptr);
    EXPECT_EQ(std::u16string(icon->szTip), std::u16string(63, u'x'));
    Shell_NotifyIconW(NIM_DELETE, &data);
    Shell_NotifyIconW(NIM_DELETE, &old);
    DestroyWindow(hwnd);
}

TEST(NotifyIcon, TheListingDropsIconsWhoseWindowIsGone) {
    HWND kept = MakeWindow();
    HWND gone = MakeWindow();
    NOTIFYICONDATAW keptIcon = Record(kept, 3, NIF_TIP, u"kept");
    NOTIFYICONDATAW goneIcon = Record(gone, 3, NIF_TIP, u"gone");
    ASSERT_TRUE(Shell_NotifyIconW(NIM_ADD, &keptIcon));
    ASSERT_TRUE(Shell_NotifyIconW(NIM_ADD, &goneIcon));
    DestroyWindow(gone);
    auto icons = Listed();
    EXPECT_NE(FindListed(icons, kept, 3), nullptr);
    EXPECT_EQ(FindListed(icons, gone, 3), nullptr);
    Shell_NotifyIconW(NIM_DELETE, &keptIcon);
    DestroyWindow(kept);
}

TEST(NotifyIcon, TheListingIsInOrderOfAdding) {
    HWND first = MakeWindow();
    HWND second = MakeWindow();
    NOTIFYICONDATAW b = Record(second, 1, NIF_TIP, u"b");
    NOTIFYICONDATAW a = Record(first, 1, NIF_TIP, u"a");
    ASSERT_TRUE(Shell_NotifyIconW(NIM_ADD, &b));
    ASSERT_TRUE(Shell_NotifyIconW(NIM_ADD, &a));
    auto icons = Listed();
    ASSERT_EQ(icons.size(), 2u);
    EXPECT_EQ(std::u16string(icons[0].szTip), u"b");
    EXPECT_EQ(std::u16string(icons[1].szTip), u"a");
    Shell_NotifyIconW(NIM_DELETE, &a);
    Shell_NotifyIconW(NIM_DELETE, &b);
    DestroyWindow(first);
    DestroyWindow(second);
}

}  // namespace
