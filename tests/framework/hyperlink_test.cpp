// The hyperlink control on a static: its colours in each paint, its click
// opening the target through the shell, and its state kept outside the
// static's own slots.
#include <sys/stat.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "framework/hyperlink.h"
#include "support/test_window.h"

namespace {

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

LRESULT CALLBACK ParentProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CTLCOLORSTATIC) {
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// A scratch folder with a URL opener that writes what it was given.
class Opener {
public:
    Opener() {
        folder =
            std::filesystem::temp_directory_path() / ("hyperlink-test-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
        std::ofstream script(folder / "opener");
        script << "#!/bin/sh\necho \"$1\" >> " << (folder / "opened").string() << "\n";
        script.close();
        chmod((folder / "opener").c_str(), 0755);
        setenv("W32_URL_OPENER", (folder / "opener").c_str(), 1);
    }
    ~Opener() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    // The opened addresses once a line has arrived (a few seconds at most).
    std::string Opened() {
        for (int i = 0; i < 300; ++i) {
            std::ifstream file(folder / "opened");
            std::stringstream text;
            text << file.rdbuf();
            if (!text.str().empty() && text.str().back() == '\n') {
                return text.str();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return {};
    }
    std::filesystem::path folder;
};

class HyperLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        static ATOM atom = test_support::RegisterWindowClass(u"HyperLinkTestParent", ParentProc);
        ASSERT_NE(atom, 0);
        parent = CreateWindowExW(0, u"HyperLinkTestParent", u"links", WS_POPUP | WS_VISIBLE, 0, 0,
                                 200, 100, nullptr, nullptr, nullptr, nullptr);
        // Creating a dialog registers the system's controls.
        static const W32_DIALOG_TEMPLATE kEmpty = {WS_POPUP,        0, 0,       0, 10, 10, u"",
                                                   u"MS Shell Dlg", 8, nullptr, 0};
        W32RegisterResource(reinterpret_cast<const void*>(&Pump), RT_DIALOG, MAKEINTRESOURCEW(5),
                            &kEmpty, sizeof(kEmpty));
        DestroyWindow(CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(5), nullptr,
                                         nullptr, 0));
        link = CreateWindowExW(0, u"Static", u"www.vexlo.example", WS_CHILD | SS_NOTIFY, 5, 5, 100,
                               13, parent, reinterpret_cast<HMENU>(1001), nullptr, nullptr);
        ASSERT_NE(link, nullptr);
        SetWindowLongPtrW(link, GWLP_USERDATA, 0x5151);
    }
    void TearDown() override { DestroyWindow(parent); }

    W32_PAINT_RECORD Painted() {
        InvalidateRect(link, nullptr, TRUE);
        Pump();
        W32_PAINT_RECORD record = {};
        W32GetPaintRecord(link, &record);
        return record;
    }
    void Click() {
        PostMessageW(link, WM_LBUTTONDOWN, 0, 0);
        PostMessageW(link, WM_LBUTTONUP, 0, 0);
        Pump();
    }

    HWND parent = nullptr;
    HWND link = nullptr;
};

TEST_F(HyperLinkTest, DrawsInTheLinkColourThenTheVisitedColourAfterASuccessfulOpen) {
    Opener opener;
    fw::CHyperLink hyperLink;
    hyperLink.SetHyperLink(u"www.vexlo.example");
    ASSERT_TRUE(hyperLink.SubclassWindow(link));
    ShowWindow(link, SW_SHOW);
    W32_PAINT_RECORD record = Painted();
    EXPECT_EQ(record.textColour, RGB(0, 0, 255));
    EXPECT_EQ(record.bkMode, TRANSPARENT) << "the parent was asked for the background";

    Click();
    EXPECT_EQ(opener.Opened(), "http://www.vexlo.example\n") << "a bare www. name is an address";
    EXPECT_TRUE(hyperLink.IsVisited());
    Pump();
    W32GetPaintRecord(link, &record);
    EXPECT_EQ(record.textColour, RGB(128, 0, 128)) << "repainted as visited";
    EXPECT_EQ(GetWindowLongPtrW(link, GWLP_USERDATA), 0x5151) << "the static's slot is its own";
}

TEST_F(HyperLinkTest, AFailedOpenLeavesTheLinkUnvisited) {
    struct Case {
        const char16_t* target;
        const char* opener;
    };
    const Case cases[] = {
        {u"www.vexlo.example", "/nonexistent/opener"},  // no program to open it
        {u"vexlo-private:thing", nullptr},              // no handler for the scheme
        {u"", nullptr},                                 // nothing to open
    };
    for (const Case& c : cases) {
        Opener opener;
        if (c.opener != nullptr) {
            setenv("W32_URL_OPENER", c.opener, 1);
        }
        fw::CHyperLink hyperLink;
        hyperLink.SetHyperLink(c.target);
        ASSERT_TRUE(hyperLink.SubclassWindow(link));
        ShowWindow(link, SW_SHOW);
        Click();
        EXPECT_FALSE(hyperLink.IsVisited());
        EXPECT_EQ(Painted().textColour, RGB(0, 0, 255));
    }
}

TEST_F(HyperLinkTest, LetsGoOfTheStaticWhenDestroyed) {
    WNDPROC own = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(link, GWLP_WNDPROC));
    {
        fw::CHyperLink hyperLink;
        ASSERT_TRUE(hyperLink.SubclassWindow(link));
        EXPECT_NE(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(link, GWLP_WNDPROC)), own);
        EXPECT_FALSE(hyperLink.SubclassWindow(link)) << "attached once";
    }
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(link, GWLP_WNDPROC)), own);
    EXPECT_EQ(GetWindowLongPtrW(link, GWLP_USERDATA), 0x5151);
}

}  // namespace
