#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/dialog.h"
#include "framework/message_loop.h"
#include "framework/window_impl.h"

namespace {

class CTestWindow
    : public fw::CWindowImpl<CTestWindow, fw::CWindow, fw::CWinTraits<WS_OVERLAPPEDWINDOW, 0>> {
public:
    DECLARE_WND_CLASS(u"FrameworkTestWindow")

    BEGIN_MSG_MAP(CTestWindow)
    MESSAGE_HANDLER(WM_CREATE, OnCreate)
    MESSAGE_HANDLER(WM_USER, OnUser)
    MESSAGE_HANDLER(WM_USER + 1, OnDeclined)
    COMMAND_ID_HANDLER(300, OnExit)
    END_MSG_MAP()

    LRESULT OnCreate(UINT, WPARAM, LPARAM, BOOL&) {
        events.push_back("create");
        return 0;
    }
    LRESULT OnUser(UINT, WPARAM wParam, LPARAM, BOOL&) { return static_cast<LRESULT>(wParam + 1); }
    LRESULT OnDeclined(UINT, WPARAM, LPARAM, BOOL& handled) {
        handled = FALSE;  // let the default procedure have it
        events.push_back("declined");
        return 99;
    }
    LRESULT OnExit(WORD, WORD id, HWND, BOOL&) {
        events.push_back("command " + std::to_string(id));
        return 0;
    }
    void OnFinalMessage(HWND) override { events.push_back("final"); }

    std::vector<std::string> events;
};

TEST(Framework, MessageMapsDispatchOneHandlerPerMessage) {
    CTestWindow window;
    HWND hwnd = window.Create(nullptr);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(window.m_hWnd, hwnd);
    EXPECT_EQ(window.GetStyle() & WS_OVERLAPPEDWINDOW, static_cast<DWORD>(WS_OVERLAPPEDWINDOW))
        << "the traits give the default style";
    EXPECT_EQ(window.SendMessage(WM_USER, 41), 42);
    EXPECT_EQ(window.SendMessage(WM_USER + 1), 0) << "a declined message gets the default result";
    window.SendMessage(WM_COMMAND, MAKEWPARAM(300, 0));
    window.SendMessage(WM_COMMAND, MAKEWPARAM(301, 0));
    window.DestroyWindow();
    EXPECT_EQ(window.m_hWnd, nullptr);
    EXPECT_EQ(window.events,
              (std::vector<std::string>{"create", "declined", "command 300", "final"}));
}

TEST(Framework, SubclassingPutsTheObjectInFrontOfTheOldProcedure) {
    CTestWindow owner;
    owner.Create(nullptr);
    CTestWindow sub;
    ASSERT_TRUE(sub.SubclassWindow(owner.m_hWnd));
    EXPECT_EQ(SendMessageW(owner.m_hWnd, WM_USER, 1, 0), 2);
    sub.UnsubclassWindow();
    owner.DestroyWindow();
}

class SwallowFilter : public fw::CMessageFilter {
public:
    BOOL PreTranslateMessage(MSG* msg) override {
        seen.push_back(msg->message);
        return msg->message == WM_USER + 5;
    }
    std::vector<UINT> seen;
};

LRESULT CALLBACK CountingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    static int* dispatched = nullptr;
    if (message == WM_NCCREATE) {
        dispatched = static_cast<int*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    }
    if (message == WM_USER + 5 || message == WM_USER + 6) {
        ++*dispatched;
        if (message == WM_USER + 6) {
            PostQuitMessage(3);
        }
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST(Framework, TheLoopAsksItsFiltersBeforeDispatchAndEndsWithTheQuitCode) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = CountingProc;
    wc.lpszClassName = u"FrameworkCounting";
    RegisterClassExW(&wc);
    int dispatched = 0;
    HWND hwnd = CreateWindowExW(0, u"FrameworkCounting", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE,
                                nullptr, nullptr, &dispatched);
    fw::CMessageLoop loop;
    SwallowFilter filter;
    loop.AddMessageFilter(&filter);
    PostMessageW(hwnd, WM_USER + 5, 0, 0);
    PostMessageW(hwnd, WM_USER + 6, 0, 0);
    EXPECT_EQ(loop.Run(), 3);
    EXPECT_EQ(filter.seen, (std::vector<UINT>{WM_USER + 5, WM_USER + 6}));
    EXPECT_EQ(dispatched, 1) << "the filter swallowed the first message";
    DestroyWindow(hwnd);
}

TEST(Framework, TheModuleKeepsOneLoopPerThread) {
    fw::CAppModule module;
    module.Init(nullptr);
    fw::CMessageLoop loop;
    EXPECT_TRUE(module.AddMessageLoop(&loop));
    EXPECT_FALSE(module.AddMessageLoop(&loop));
    EXPECT_EQ(module.GetMessageLoop(), &loop);
    EXPECT_EQ(module.GetMessageLoop(GetCurrentThreadId() + 1), nullptr);
    EXPECT_TRUE(module.RemoveMessageLoop());
    EXPECT_EQ(module.GetMessageLoop(), nullptr);
}

const W32_DIALOG_CONTROL kControls[] = {
    {IDOK, u"Button", u"Закрыть", 47, 130, 50, 14, WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0},
    {1003, u"Static", u"version", 15, 74, 115, 8, WS_VISIBLE, 0},
};
const W32_DIALOG_TEMPLATE kTemplate = {WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
                                       0,
                                       0,
                                       0,
                                       146,
                                       153,
                                       u"О программе",
                                       u"MS Shell Dlg",
                                       8,
                                       kControls,
                                       2};

}  // namespace

W32_RESOURCE(RT_DIALOG, 130, &kTemplate, sizeof(kTemplate))

namespace {

class CTestDialog : public fw::CDialogImpl<CTestDialog>, public fw::CWinDataExchange<CTestDialog> {
public:
    enum { IDD = 130 };

    BEGIN_MSG_MAP(CTestDialog)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
    MESSAGE_HANDLER(WM_CTLCOLORDLG, OnColour)
    COMMAND_ID_HANDLER(IDOK, OnClose)
    END_MSG_MAP()

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, BOOL&) {
        SetDlgItemText(1003, u"Версия 0.0.81");
        // The person at the screen presses the button once the dialog runs.
        ::PostMessageW(GetDlgItem(IDOK), BM_CLICK, 0, 0);
        return 0;
    }
    LRESULT OnColour(UINT, WPARAM, LPARAM, BOOL&) { return 7; }
    LRESULT OnClose(WORD, WORD, HWND, BOOL&) {
        versionText = fw::CWindow(GetDlgItem(1003)).GetWindowText();
        ownerEnabled = IsWindowEnabled(GetParent());
        colour = ::SendMessageW(m_hWnd, WM_CTLCOLORDLG, 0, 0);
        EndDialog(17);
        return 0;
    }

    std::u16string versionText;
    LRESULT colour = 0;
    BOOL ownerEnabled = TRUE;
};

TEST(Framework, AModalDialogRunsFromItsTemplateAndEndsWithItsResult) {
    CTestWindow owner;
    owner.Create(nullptr);
    CTestDialog dialog;
    EXPECT_EQ(dialog.DoModal(owner.m_hWnd), 17);
    EXPECT_EQ(dialog.versionText, u"Версия 0.0.81");
    EXPECT_EQ(dialog.colour, 7) << "colour answers are the procedure's own result";
    EXPECT_FALSE(dialog.ownerEnabled);
    EXPECT_TRUE(IsWindowEnabled(owner.m_hWnd)) << "the owner is enabled again afterwards";
    EXPECT_EQ(dialog.m_hWnd, nullptr);
    owner.DestroyWindow();
}

TEST(Framework, AMissingTemplateGivesMinusOne) {
    class CMissing : public fw::CDialogImpl<CMissing> {
    public:
        enum { IDD = 999 };
        BEGIN_MSG_MAP(CMissing)
        END_MSG_MAP()
    } missing;
    EXPECT_EQ(missing.DoModal(nullptr), -1);
}

}  // namespace
