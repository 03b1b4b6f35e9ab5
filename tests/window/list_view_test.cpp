// The list view control: rows and columns, selection, texts, the mouse and
// the click notifications its parent receives, and the simulated user's
// clicks from another thread.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "wia_dialogs.h"

namespace {

struct Click {
    UINT code;
    int item;
    UINT keys;
};

// A top-level parent with one list view child; it keeps the notifications.
class ListWindow {
public:
    explicit ListWindow(DWORD style = LVS_LIST | LVS_SINGLESEL | LVS_SHOWSELALWAYS) {
        INITCOMMONCONTROLSEX init = {sizeof(init), ICC_LISTVIEW_CLASSES};
        EXPECT_TRUE(InitCommonControlsEx(&init));
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = Proc;
        wc.lpszClassName = u"ListViewTestParent";
        RegisterClassExW(&wc);
        parent = CreateWindowExW(0, u"ListViewTestParent", u"List test", WS_OVERLAPPEDWINDOW, 0, 0,
                                 300, 300, nullptr, nullptr, nullptr, nullptr);
        SetWindowLongPtrW(parent, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        list = CreateWindowExW(0, WC_LISTVIEWW, u"", WS_CHILD | WS_VISIBLE | style, 10, 10, 200,
                               120, parent, reinterpret_cast<HMENU>(1005), nullptr, nullptr);
    }
    ~ListWindow() { DestroyWindow(parent); }

    int Insert(const std::u16string& text, int at) {
        std::u16string copy = text;
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = at;
        item.pszText = copy.data();
        return static_cast<int>(
            SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    }
    void Select(int row, UINT state = LVIS_SELECTED) {
        LVITEMW item = {};
        item.state = state;
        item.stateMask = LVIS_SELECTED;
        SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&item));
    }
    std::vector<int> Selected() const {
        std::vector<int> rows;
        for (LRESULT at =
                 SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
             at >= 0;
             at = SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(at), LVNI_SELECTED)) {
            rows.push_back(static_cast<int>(at));
        }
        return rows;
    }
    std::u16string Text(int row, int buffer = 64) const {
        std::vector<char16_t> text(static_cast<size_t>(buffer), u'\0');
        LVITEMW item = {};
        item.pszText = text.data();
        item.cchTextMax = buffer;
        SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&item));
        return text.data();
    }
    static void Pump() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&msg);
        }
    }

    HWND parent = nullptr;
    HWND list = nullptr;
    std::vector<Click> clicks;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<ListWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (message == WM_NOTIFY && self != nullptr && wParam == 1005) {
            auto* note = reinterpret_cast<NMITEMACTIVATE*>(lParam);
            EXPECT_EQ(note->hdr.hwndFrom, self->list);
            self->clicks.push_back({note->hdr.code, note->iItem, note->uKeyFlags});
            return 0;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
};

TEST(ListView, RowsAreInsertedAtTheirIndexAndGiveTheirTextsWithinTheBuffer) {
    ListWindow window;
    EXPECT_EQ(window.Insert(u"second", 0), 0);
    EXPECT_EQ(window.Insert(u"first", 0), 0);
    EXPECT_EQ(window.Insert(u"last", 99), 2) << "an index past the end appends";
    EXPECT_EQ(SendMessageW(window.list, LVM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_EQ(window.Text(0), u"first");
    EXPECT_EQ(window.Text(1), u"second");
    EXPECT_EQ(window.Text(2), u"last");
    EXPECT_EQ(window.Text(1, 4), u"sec") << "cut to the buffer with its terminator";
    EXPECT_EQ(window.Text(7), u"") << "no such row";

    RECT client = {};
    ASSERT_TRUE(GetClientRect(window.list, &client));
    EXPECT_EQ(client.right, 200);
    EXPECT_EQ(client.bottom, 120);
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_SUBITEM;
    column.cx = 150;
    EXPECT_EQ(SendMessageW(window.list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column)),
              0);
    EXPECT_EQ(SendMessageW(window.list, LVM_GETCOLUMNWIDTH, 0, 0), 150);
    EXPECT_EQ(LOWORD(SendMessageW(window.list, LVM_GETITEMSPACING, TRUE, 0)), 150);
}

TEST(ListView, OneRowAtMostIsSelectedInASingleSelectionList) {
    ListWindow window;
    for (int i = 0; i < 3; ++i) {
        window.Insert(u"row", i);
    }
    EXPECT_TRUE(window.Selected().empty());
    window.Select(0, LVIS_SELECTED | LVIS_ACTIVATING);
    EXPECT_EQ(window.Selected(), (std::vector<int>{0}));
    window.Select(2);
    EXPECT_EQ(window.Selected(), (std::vector<int>{2}));
    EXPECT_EQ(SendMessageW(window.list, LVM_GETSELECTEDCOUNT, 0, 0), 1);
    window.Select(2, 0);
    EXPECT_TRUE(window.Selected().empty());

    ListWindow multiple(LVS_LIST);
    for (int i = 0; i < 3; ++i) {
        multiple.Insert(u"row", i);
    }
    multiple.Select(0);
    multiple.Select(2);
    EXPECT_EQ(multiple.Selected(), (std::vector<int>{0, 2}));
    multiple.Select(-1, 0);
    EXPECT_TRUE(multiple.Selected().empty()) << "-1 stands for every row";
}

TEST(ListView, ClicksSelectTheRowHitAndTellTheParentWhichRow) {
    ListWindow window;
    window.Insert(u"a", 0);
    window.Insert(u"b", 1);
    int pitch = HIWORD(SendMessageW(window.list, LVM_GETITEMSPACING, TRUE, 0));
    ASSERT_GT(pitch, 0);
    auto post = [&](UINT message, WPARAM keys, int y) {
        PostMessageW(window.list, message, keys, MAKELPARAM(5, y));
    };
    post(WM_LBUTTONDOWN, MK_LBUTTON, pitch + pitch / 2);
    post(WM_LBUTTONUP, 0, pitch + pitch / 2);
    ListWindow::Pump();
    EXPECT_EQ(window.Selected(), (std::vector<int>{1}));
    EXPECT_EQ(GetFocus(), window.list);
    EXPECT_EQ(SendMessageW(window.list, LVM_GETITEMSTATE, 1, LVIS_FOCUSED), LVIS_FOCUSED);

    post(WM_LBUTTONDOWN, MK_LBUTTON, 5 * pitch);
    post(WM_LBUTTONUP, 0, 5 * pitch);
    ListWindow::Pump();
    EXPECT_TRUE(window.Selected().empty()) << "a click beside the rows clears the selection";

    post(WM_RBUTTONDOWN, MK_RBUTTON, pitch / 2);
    post(WM_RBUTTONUP, 0, pitch / 2);
    post(WM_LBUTTONDOWN, MK_LBUTTON, pitch / 2);
    post(WM_LBUTTONUP, 0, pitch / 2);
    post(WM_LBUTTONDBLCLK, MK_LBUTTON, pitch / 2);
    post(WM_LBUTTONUP, 0, pitch / 2);
    ListWindow::Pump();
    ASSERT_EQ(window.clicks.size(), 5u);
    EXPECT_EQ(window.clicks[0].code, NM_CLICK);
    EXPECT_EQ(window.clicks[0].item, 1);
    EXPECT_EQ(window.clicks[1].code, NM_CLICK);
    EXPECT_EQ(window.clicks[1].item, -1);
    EXPECT_EQ(window.clicks[2].code, NM_RCLICK);
    EXPECT_EQ(window.clicks[2].item, 0);
    EXPECT_EQ(window.clicks[3].code, NM_CLICK);
    EXPECT_EQ(window.clicks[4].code, NM_DBLCLK) << "the release after it tells nothing more";
    EXPECT_EQ(window.clicks[4].item, 0);
    EXPECT_EQ(window.Selected(), (std::vector<int>{0}));
}

TEST(ListView, CtrlAndAClickTogglesTheRowHitOnly) {
    ListWindow window;
    window.Insert(u"a", 0);
    window.Insert(u"b", 1);
    window.Select(0);
    int pitch = HIWORD(SendMessageW(window.list, LVM_GETITEMSPACING, TRUE, 0));
    PostMessageW(window.list, WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, MAKELPARAM(5, pitch / 2));
    PostMessageW(window.list, WM_LBUTTONUP, MK_CONTROL, MAKELPARAM(5, pitch / 2));
    ListWindow::Pump();
    EXPECT_TRUE(window.Selected().empty());
    ASSERT_EQ(window.clicks.size(), 1u);
    EXPECT_EQ(window.clicks[0].keys, static_cast<UINT>(LVKF_CONTROL));
    PostMessageW(window.list, WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, MAKELPARAM(5, 9 * pitch));
    ListWindow::Pump();
    EXPECT_TRUE(window.Selected().empty()) << "Ctrl beside the rows changes nothing";
}

TEST(ListView, TheSimulatedUserClicksRowsFromAnotherThread) {
    ListWindow window;
    window.Insert(u"a", 0);
    window.Insert(u"b", 1);
    window.Insert(u"c", 2);
    bool clicked = false;
    bool clickedEmpty = false;
    bool refusedPastTheEnd = false;
    std::atomic<bool> done{false};
    std::thread user([&] {
        clicked = desktop_user::ClickListRow(window.list, 2);
        clickedEmpty = desktop_user::ClickListRow(window.list, -1);
        refusedPastTheEnd = !desktop_user::ClickListRow(window.list, 3);
        done = true;
    });
    // The user's sends are answered while this thread waits for it.
    while (!done) {
        ListWindow::Pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    user.join();
    ListWindow::Pump();
    EXPECT_TRUE(clicked);
    EXPECT_TRUE(clickedEmpty);
    EXPECT_TRUE(refusedPastTheEnd);
    ASSERT_EQ(window.clicks.size(), 2u);
    EXPECT_EQ(window.clicks[0].item, 2);
    EXPECT_EQ(window.clicks[1].item, -1);
    EXPECT_EQ(desktop_user::FindListView(window.parent), window.list);
}

}  // namespace
