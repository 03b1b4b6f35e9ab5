// Window DCs, the paint cycle, the record of each paint's colour answers,
// bitmap statics from templates, and the session's cursor and monitors.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "support/test_window.h"

namespace {

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

int paints = 0;

LRESULT CALLBACK CountingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        ++paints;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND MakeWindow(DWORD style) {
    static ATOM atom = test_support::RegisterWindowClass(u"PaintingTestWindow", CountingProc);
    EXPECT_NE(atom, 0);
    return CreateWindowExW(0, u"PaintingTestWindow", nullptr, style, 10, 20, 100, 50, nullptr,
                           nullptr, nullptr, nullptr);
}

TEST(Painting, AWindowDcIsAGdiObjectUntilReleased) {
    HWND hwnd = MakeWindow(WS_POPUP);
    DWORD before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    HDC dc = GetDC(hwnd);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), before + 1);
    EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
    EXPECT_EQ(ReleaseDC(nullptr, dc), 0) << "released by its own window only";
    EXPECT_EQ(ReleaseDC(hwnd, dc), 1);
    EXPECT_EQ(ReleaseDC(hwnd, dc), 0);
    EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), before);
    EXPECT_EQ(GetDC(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x7FFF0000))), nullptr);
    DestroyWindow(hwnd);
}

TEST(Painting, InvalidationLeadsToOnePaintOfAVisibleWindow) {
    HWND hidden = MakeWindow(WS_POPUP);
    paints = 0;
    InvalidateRect(hidden, nullptr, TRUE);
    Pump();
    EXPECT_EQ(paints, 0) << "a hidden window is not painted";
    ShowWindow(hidden, SW_SHOW);
    Pump();
    EXPECT_EQ(paints, 1) << "shown: painted once";
    InvalidateRect(hidden, nullptr, TRUE);
    InvalidateRect(hidden, nullptr, FALSE);
    Pump();
    EXPECT_EQ(paints, 2) << "two invalidations before the paint make one paint";
    Pump();
    EXPECT_EQ(paints, 2) << "the paint validated the window";
    DestroyWindow(hidden);
}

TEST(Painting, UpdateWindowPaintsAtOnce) {
    HWND hwnd = MakeWindow(WS_POPUP | WS_VISIBLE);
    Pump();
    paints = 0;
    InvalidateRect(hwnd, nullptr, TRUE);
    UpdateWindow(hwnd);
    EXPECT_EQ(paints, 1);
    Pump();
    EXPECT_EQ(paints, 1);
    DestroyWindow(hwnd);
}

// A dialog whose background and statics say how they are drawn.
const COLORREF kBackground = RGB(10, 20, 30);
HBRUSH backgroundBrush = nullptr;

INT_PTR CALLBACK ColouredProc(HWND, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_CTLCOLORDLG:
            return reinterpret_cast<INT_PTR>(backgroundBrush);
        case WM_CTLCOLORSTATIC:
            SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            SetTextColor(reinterpret_cast<HDC>(wParam), RGB(200, 0, 0));
            return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
        default:
            return FALSE;  // buttons get the default answer
    }
}

struct PackedDib {
    BITMAPINFOHEADER header;
    uint8_t rows[12];
};
const PackedDib kLogo = {{sizeof(BITMAPINFOHEADER), 3, 1, 1, 24, BI_RGB, 12, 0, 0, 0, 0},
                         {0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 0, 0}};
W32_RESOURCE(RT_BITMAP, 611, &kLogo, sizeof kLogo)

const W32_DIALOG_CONTROL kControls[] = {
    {IDOK, u"Button", u"OK", 10, 40, 50, 14, WS_VISIBLE | BS_DEFPUSHBUTTON | WS_TABSTOP, 0},
    {1001, u"Static", u"text", 10, 10, 80, 8, WS_VISIBLE | SS_LEFT, 0},
    // The image by ordinal, as the resource compiler writes it.
    {1002, u"Static", MAKEINTRESOURCEW(611), 10, 20, 30, 10, WS_VISIBLE | SS_BITMAP, 0},
    {1003, u"Static", MAKEINTRESOURCEW(612), 50, 20, 30, 10, WS_VISIBLE | SS_BITMAP, 0},
};
const W32_DIALOG_TEMPLATE kDialog = {WS_POPUP | WS_CAPTION, 0, 0,         0, 120, 70, u"Coloured",
                                     u"MS Shell Dlg",       8, kControls, 4};
W32_RESOURCE(RT_DIALOG, 610, &kDialog, sizeof kDialog)

TEST(Painting, TheDialogManagerRecordsEachPaintsColourAnswers) {
    backgroundBrush = CreateSolidBrush(kBackground);
    HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(610), nullptr,
                                     ColouredProc, 0);
    ASSERT_NE(dialog, nullptr);
    Pump();
    W32_PAINT_RECORD record;
    ASSERT_TRUE(W32GetPaintRecord(dialog, &record));
    EXPECT_TRUE(record.answered);
    EXPECT_EQ(record.brushColour, kBackground);
    EXPECT_FALSE(record.hollowBrush);

    ASSERT_TRUE(W32GetPaintRecord(GetDlgItem(dialog, 1001), &record));
    EXPECT_TRUE(record.answered);
    EXPECT_TRUE(record.hollowBrush);
    EXPECT_EQ(record.bkMode, TRANSPARENT);
    EXPECT_EQ(record.textColour, RGB(200, 0, 0));

    ASSERT_TRUE(W32GetPaintRecord(GetDlgItem(dialog, IDOK), &record));
    EXPECT_TRUE(record.answered) << "the button asked too";
    EXPECT_FALSE(record.hollowBrush);
    EXPECT_EQ(record.bkMode, OPAQUE) << "unanswered: the DC as it was";
    DestroyWindow(dialog);
    DeleteObject(backgroundBrush);
}

TEST(Painting, BitmapStaticsTakeTheirImageByOrdinalFromTheModule) {
    DWORD before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(610), nullptr,
                                     ColouredProc, 0);
    ASSERT_NE(dialog, nullptr);
    HWND logo = GetDlgItem(dialog, 1002);
    auto image = reinterpret_cast<HBITMAP>(SendMessageW(logo, STM_GETIMAGE, IMAGE_BITMAP, 0));
    ASSERT_NE(image, nullptr);
    BITMAP info = {};
    ASSERT_EQ(GetObjectW(image, sizeof(info), &info), static_cast<int>(sizeof(info)));
    EXPECT_EQ(info.bmWidth, 3);
    EXPECT_EQ(W32GetBitmapPixel(image, 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(GetWindowTextLengthW(logo), 0) << "the ordinal is no text";
    EXPECT_EQ(SendMessageW(GetDlgItem(dialog, 1003), STM_GETIMAGE, IMAGE_BITMAP, 0), 0)
        << "a missing resource leaves the static empty";
    EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), before + 1);
    DestroyWindow(dialog);
    EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), before)
        << "the static's own image goes with it";
}

TEST(Screen, TheCursorIsTheSessionsAndStaysOnTheVirtualScreen) {
    struct Case {
        int x, y;
        POINT expected;
    };
    const Case cases[] = {
        {100, 200, {100, 200}},
        {3000, 1050, {3000, 1050}},  // on no monitor, but on the virtual screen
        {-50, 5000, {0, 1079}},
        {4000, -3, {3199, 0}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(SetCursorPos(c.x, c.y));
        POINT point = {};
        ASSERT_TRUE(GetCursorPos(&point));
        EXPECT_EQ(point.x, c.expected.x) << c.x << "," << c.y;
        EXPECT_EQ(point.y, c.expected.y) << c.x << "," << c.y;
    }
}

TEST(Screen, MonitorsAnswerForPointsOnThemAndNearThem) {
    MONITORINFO primary = {};
    primary.cbSize = sizeof(primary);
    MONITORINFO second = primary;
    HMONITOR one = MonitorFromPoint(POINT{5, 5}, MONITOR_DEFAULTTONULL);
    HMONITOR two = MonitorFromPoint(POINT{2000, 5}, MONITOR_DEFAULTTONULL);
    ASSERT_NE(one, nullptr);
    ASSERT_NE(two, nullptr);
    ASSERT_NE(one, two);
    ASSERT_TRUE(GetMonitorInfoW(one, &primary));
    ASSERT_TRUE(GetMonitorInfoW(two, &second));
    EXPECT_EQ(primary.dwFlags, 1u);
    EXPECT_EQ(primary.rcWork.bottom, 1040) << "the task bar";
    EXPECT_EQ(second.rcMonitor.left, 1920);
    struct Case {
        POINT point;
        DWORD flags;
        HMONITOR expected;
    };
    const Case cases[] = {
        {{3000, 1050}, MONITOR_DEFAULTTONULL, nullptr},
        {{3000, 1050}, MONITOR_DEFAULTTONEAREST, two},
        {{3000, 1050}, MONITOR_DEFAULTTOPRIMARY, one},
        {{-10, 500}, MONITOR_DEFAULTTONEAREST, one},
        {{1919, 1079}, MONITOR_DEFAULTTONULL, one},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MonitorFromPoint(c.point, c.flags), c.expected)
            << c.point.x << "," << c.point.y << " flags " << c.flags;
    }
    MONITORINFO small = {};
    small.cbSize = 4;
    EXPECT_FALSE(GetMonitorInfoW(one, &small));
}

}  // namespace
