// The dialog manager, controls, menus, icons and GDI within one process; the
// simulated user acts from another thread while the modal loops run.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "desktop_user.h"
#include "test_resources.h"

using namespace std::chrono_literals;

namespace {

struct Seen {
    int inits = 0;
    std::vector<std::pair<int, int>> commands;  // id, code
    HBRUSH background = nullptr;
};
Seen gSeen;

INT_PTR CALLBACK AboutProc(HWND hdlg, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_INITDIALOG:
            ++gSeen.inits;
            SetDlgItemTextW(hdlg, testres::kVersionLine, u"Версия 0.0.81");
            EXPECT_EQ(lp, 55);
            return 0;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
            return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
        case WM_CTLCOLORDLG:
            if (!gSeen.background)
                gSeen.background = CreateSolidBrush(RGB(240, 240, 240));
            return reinterpret_cast<INT_PTR>(gSeen.background);
        case WM_COMMAND:
            gSeen.commands.emplace_back(LOWORD(wp), HIWORD(wp));
            if ((LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) && HIWORD(wp) == 0) {
                EndDialog(hdlg, 0);
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

HWND MakeOwner() {
    static bool registered = false;
    if (!registered) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DefWindowProcW;
        wc.lpszClassName = u"Owner";
        RegisterClassExW(&wc);
        registered = true;
    }
    return CreateWindowExW(0, u"Owner", u"owner", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr,
                           nullptr, nullptr, nullptr);
}

// Runs the about-like dialog while the simulated user does `act` with it.
INT_PTR RunAbout(HWND owner, const std::function<void(HWND)>& act) {
    std::thread user([&] {
        auto d = desktop_user::WaitForWindow({u"#32770", u"О программе"}, 5s);
        ASSERT_TRUE(d.has_value());
        act(d->hwnd);
    });
    INT_PTR r = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(testres::kAboutLike),
                                owner, AboutProc, 55);
    user.join();
    return r;
}

}  // namespace

TEST(Dialog, InitDialogOwnerDisabledAndEndDialogResult) {
    gSeen = {};
    HWND owner = MakeOwner();
    std::atomic<bool> ownerDisabled{false};
    INT_PTR r = RunAbout(owner, [&](HWND dlg) {
        ownerDisabled = !IsWindowEnabled(owner);
        char16_t text[64];
        HWND line = GetDlgItem(dlg, testres::kVersionLine);
        GetWindowTextW(line, text, 64);
        EXPECT_EQ(std::u16string(text), u"Версия 0.0.81");
        EXPECT_TRUE(desktop_user::PressButton(dlg, u"Закрыть"));
    });
    EXPECT_EQ(r, 0);
    EXPECT_TRUE(ownerDisabled);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(gSeen.inits, 1);
    ASSERT_EQ(gSeen.commands.size(), 1u);
    EXPECT_EQ(gSeen.commands[0], std::make_pair(IDOK, BN_CLICKED));
    EXPECT_EQ(FindWindowW(u"#32770", nullptr), nullptr);
    DestroyWindow(owner);
}

TEST(Dialog, EnterEscapeAndCloseBoxEndTheDialog) {
    HWND owner = MakeOwner();
    for (auto act : std::vector<std::function<void(HWND)>>{
             [](HWND d) { desktop_user::PressKey(d, VK_RETURN); },
             [](HWND d) { desktop_user::PressKey(d, VK_ESCAPE); },
             [](HWND d) { desktop_user::CloseWindow(d); }}) {
        gSeen = {};
        EXPECT_EQ(RunAbout(owner, act), 0);
        ASSERT_EQ(gSeen.commands.size(), 1u);
    }
    DestroyWindow(owner);
}

TEST(Dialog, CtlColorAnswersComeFromTheDialogProcedure) {
    gSeen = {};
    HWND owner = MakeOwner();
    RunAbout(owner, [](HWND d) {
        HWND link = GetDlgItem(d, testres::kLink);
        ASSERT_NE(link, nullptr);
        HDC dc = GetDC(link);
        EXPECT_EQ(SendMessageW(d, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                               reinterpret_cast<LPARAM>(link)),
                  reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH)));
        EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
        ReleaseDC(link, dc);
        desktop_user::PressKey(d, VK_ESCAPE);
    });
    ASSERT_NE(gSeen.background, nullptr);
    LOGBRUSH lb{};
    EXPECT_EQ(GetObjectW(gSeen.background, sizeof lb, &lb), static_cast<int>(sizeof lb));
    EXPECT_EQ(lb.lbColor, RGB(240, 240, 240));
    EXPECT_TRUE(DeleteObject(gSeen.background));
    DestroyWindow(owner);
}

TEST(Dialog, NotifyStaticReportsClicksAndBitmapStaticHoldsItsImage) {
    gSeen = {};
    HWND owner = MakeOwner();
    RunAbout(owner, [](HWND d) {
        HWND bitmap = GetDlgItem(d, testres::kStatic);
        auto* image =
            reinterpret_cast<HBITMAP>(SendMessageW(bitmap, STM_GETIMAGE, IMAGE_BITMAP, 0));
        ASSERT_NE(image, nullptr);
        BITMAP bm{};
        ASSERT_EQ(GetObjectW(image, sizeof bm, &bm), static_cast<int>(sizeof bm));
        EXPECT_EQ(bm.bmWidth, 4);
        EXPECT_EQ(bm.bmHeight, 2);
        desktop_user::Click(GetDlgItem(d, testres::kLink));
        desktop_user::Click(bitmap);  // no SS_NOTIFY: nothing reported
        std::this_thread::sleep_for(100ms);
        desktop_user::PressKey(d, VK_ESCAPE);
    });
    ASSERT_EQ(gSeen.commands.size(), 2u);
    EXPECT_EQ(gSeen.commands[0], std::make_pair(testres::kLink, STN_CLICKED));
    EXPECT_EQ(gSeen.commands[1], std::make_pair(IDCANCEL, BN_CLICKED));
    DestroyWindow(owner);
}

TEST(Dialog, ModelessDialogControlsAndDefaultButton) {
    HWND dlg = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(testres::kDialog),
                                  nullptr, AboutProc, 55);
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(SendMessageW(dlg, DM_GETDEFID, 0, 0), MAKELRESULT(IDOK, DC_HASDEFID));
    char16_t text[32];
    EXPECT_EQ(GetDlgItemTextW(dlg, IDCANCEL, text, 32), 6u);
    EXPECT_EQ(std::u16string(text), u"Cancel");
    EXPECT_TRUE(SetDlgItemTextW(dlg, testres::kStatic, u"Сканеры"));
    EXPECT_EQ(SendDlgItemMessageW(dlg, testres::kStatic, WM_GETTEXTLENGTH, 0, 0), 7);
    EXPECT_EQ(GetDlgItem(dlg, 4242), nullptr);
    gSeen = {};
    SendDlgItemMessageW(dlg, IDOK, BM_CLICK, 0, 0);
    ASSERT_EQ(gSeen.commands.size(), 1u);
    EXPECT_EQ(gSeen.commands[0], std::make_pair(IDOK, BN_CLICKED));
    EnableWindow(GetDlgItem(dlg, IDCANCEL), FALSE);
    SendDlgItemMessageW(dlg, IDCANCEL, BM_CLICK, 0, 0);  // a disabled button does nothing
    EXPECT_EQ(gSeen.commands.size(), 1u);
    DestroyWindow(dlg);
    EXPECT_EQ(
        DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(999), nullptr, AboutProc, 0),
        -1);
}

namespace {
std::vector<WPARAM> gCommands;
LRESULT CALLBACK MenuOwnerProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COMMAND)
        gCommands.push_back(wp);
    return DefWindowProcW(h, msg, wp, lp);
}
}  // namespace

TEST(Menu, LoadedMenuTracksModallyAndPostsTheChosenCommand) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = MenuOwnerProc;
    wc.lpszClassName = u"MenuOwnerLocal";
    RegisterClassExW(&wc);
    HWND owner = CreateWindowExW(0, u"MenuOwnerLocal", u"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0,
                                 MakeOwner(), nullptr, nullptr, nullptr);
    HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(testres::kMenu));
    ASSERT_NE(menu, nullptr);
    HMENU popup = GetSubMenu(menu, 0);
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(GetMenuItemCount(popup), 4);
    EXPECT_EQ(GetMenuItemID(popup, 0), 301u);
    char16_t text[32];
    EXPECT_EQ(GetMenuStringW(popup, 300, text, 32, MF_BYCOMMAND), 5);
    EXPECT_EQ(std::u16string(text), u"Выход");
    for (auto [pick, expected] :
         {std::pair<const char16_t*, WPARAM>{u"О программе", 301}, {nullptr, 0}}) {
        gCommands.clear();
        std::thread user([pick] {
            auto m = desktop_user::WaitForMenu(5s);
            ASSERT_TRUE(m.has_value());
            if (pick)
                EXPECT_TRUE(desktop_user::PickMenuItem(m->hwnd, pick));
            else
                EXPECT_TRUE(desktop_user::DismissMenu(m->hwnd));
        });
        EXPECT_TRUE(TrackPopupMenu(popup, TPM_RIGHTBUTTON, 10, 10, 0, owner, nullptr));
        user.join();
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&m);
        if (expected)
            EXPECT_EQ(gCommands, std::vector<WPARAM>{expected});
        else
            EXPECT_TRUE(gCommands.empty());
    }
    // Destroying the submenu first, then its menu, as the tray does.
    EXPECT_TRUE(DestroyMenu(popup));
    EXPECT_TRUE(DestroyMenu(menu));
    EXPECT_FALSE(IsMenu(menu));
    EXPECT_FALSE(DestroyMenu(menu));
}

TEST(Icons, LoadedAtTheAskedSizeAndDestroyed) {
    HMODULE self = GetModuleHandleW(nullptr);
    HICON small = static_cast<HICON>(LoadImageW(self, MAKEINTRESOURCEW(testres::kIcon), IMAGE_ICON,
                                                GetSystemMetrics(SM_CXSMICON),
                                                GetSystemMetrics(SM_CYSMICON), 0));
    ASSERT_NE(small, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(small, &info));
    BITMAP bm{};
    GetObjectW(info.hbmColor, sizeof bm, &bm);
    EXPECT_EQ(bm.bmWidth, 16);
    DWORD pixel = 0;
    GetBitmapBits(info.hbmColor, 4, &pixel);
    EXPECT_EQ(pixel, 0xFF0000FFu);  // the 16 x 16 image was chosen
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    EXPECT_TRUE(DestroyIcon(small));
    EXPECT_FALSE(DestroyIcon(small));
    EXPECT_EQ(LoadImageW(self, MAKEINTRESOURCEW(12345), IMAGE_ICON, 16, 16, 0), nullptr);
    HICON big = LoadIconW(self, MAKEINTRESOURCEW(testres::kIcon));
    EXPECT_EQ(big, LoadIconW(self, MAKEINTRESOURCEW(testres::kIcon)));  // shared
    EXPECT_NE(LoadIconW(nullptr, IDI_APPLICATION), nullptr);
    EXPECT_NE(LoadCursorW(nullptr, IDC_ARROW), nullptr);
    HBITMAP bmp = LoadBitmapW(self, MAKEINTRESOURCEW(testres::kBitmap));
    ASSERT_NE(bmp, nullptr);
    DWORD pixels[8];
    EXPECT_EQ(GetBitmapBits(bmp, sizeof pixels, pixels), 32);
    EXPECT_EQ(pixels[7], 0xABCDEFu);
    EXPECT_TRUE(DeleteObject(bmp));
}

TEST(Gdi, BrushesStockObjectsAndDeviceContexts) {
    HBRUSH b = CreateSolidBrush(RGB(1, 2, 3));
    LOGBRUSH lb{};
    ASSERT_EQ(GetObjectW(b, sizeof lb, &lb), static_cast<int>(sizeof lb));
    EXPECT_EQ(lb.lbStyle, static_cast<UINT>(BS_SOLID));
    EXPECT_EQ(lb.lbColor, RGB(1, 2, 3));
    EXPECT_TRUE(DeleteObject(b));
    EXPECT_FALSE(DeleteObject(b));
    HGDIOBJ hollow = GetStockObject(NULL_BRUSH);
    EXPECT_EQ(hollow, GetStockObject(HOLLOW_BRUSH));
    EXPECT_TRUE(DeleteObject(hollow));  // stock objects survive deletion
    ASSERT_EQ(GetObjectW(hollow, sizeof lb, &lb), static_cast<int>(sizeof lb));
    EXPECT_EQ(lb.lbStyle, static_cast<UINT>(BS_NULL));
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
    EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
    EXPECT_EQ(SetBkMode(dc, 7), 0);
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_EQ(SetBkMode(dc, OPAQUE), 0);
}
