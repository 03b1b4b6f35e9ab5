// The about dialog inside the agent's own thread, where its modal loop runs:
// a second request activates it, its link's paint turns to the visited
// colour, and its background is one brush however often it is painted.
#include <windows.h>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "agent/core/dialog_about.h"
#include "agent_fixture.h"
#include "support/test_window.h"

namespace {

using vexlo::test::AgentFixture;

// Steps run one after another from inside the dialog's modal loop: each is
// a message posted to a helper window of the test's thread.
class Steps {
public:
    explicit Steps(std::vector<std::function<void()>> steps) : steps(std::move(steps)) {
        static ATOM atom = test_support::RegisterWindowClass(u"AboutDialogTestSteps", Proc);
        EXPECT_NE(atom, 0);
        window = CreateWindowExW(0, u"AboutDialogTestSteps", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE,
                                 nullptr, nullptr, nullptr);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        PostMessageW(window, WM_APP, 0, 0);
    }
    ~Steps() { DestroyWindow(window); }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<Steps*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (message == WM_APP && self != nullptr && self->next < self->steps.size()) {
            self->steps[self->next++]();
            PostMessageW(hwnd, WM_APP, 0, 0);
            return 0;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    std::vector<std::function<void()>> steps;
    size_t next = 0;
    HWND window = nullptr;
};

HWND OpenAbout() {
    return FindWindowW(u"#32770", u"О программе");
}

TEST(AboutDialog, ASecondRequestActivatesTheOpenDialog) {
    AgentFixture fixture;
    HWND dialog = nullptr;
    int dialogsSeen = 0;
    Steps steps({
        [] {},  // the dialog's first paint comes after this step
        [&] {
            dialog = OpenAbout();
            SetActiveWindow(fixture.hwnd());
        },
        [&] {
            fixture.window().ShowAbout();  // returns at once
            EXPECT_EQ(GetActiveWindow(), dialog);
            for (const auto& window : std::vector<HWND>{OpenAbout()}) {
                dialogsSeen += window != nullptr ? 1 : 0;
            }
            EXPECT_EQ(FindWindowExW(nullptr, dialog, u"#32770", u"О программе"), nullptr)
                << "no second dialog";
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
        },
    });
    fixture.window().ShowAbout();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialogsSeen, 1);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(OpenAbout(), nullptr);
}

TEST(AboutDialog, TheLinkPaintsVisitedAfterItsOpenAndTheBackgroundIsOneBrush) {
    AgentFixture fixture;
    std::string opener = fixture.appData.native("opener");
    vexlo::test::WriteFileBytes(opener, "#!/bin/sh\nexit 0\n");
    chmod(opener.c_str(), 0755);
    setenv("W32_URL_OPENER", opener.c_str(), 1);
    HWND dialog = nullptr;
    HWND link = nullptr;
    DWORD objects = 0;
    W32_PAINT_RECORD record = {};
    Steps steps({
        [] {},  // the dialog's first paint comes after this step
        [&] {
            dialog = OpenAbout();
            link = GetDlgItem(dialog, vexlo::kAboutSiteLinkId);
            ASSERT_TRUE(W32GetPaintRecord(link, &record));
            EXPECT_EQ(record.textColour, RGB(0, 0, 255));
            ASSERT_TRUE(W32GetPaintRecord(dialog, &record));
            EXPECT_EQ(record.brushColour, RGB(240, 240, 240));
            objects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
            InvalidateRect(dialog, nullptr, TRUE);
        },
        [&] { InvalidateRect(dialog, nullptr, TRUE); },
        [&] {
            EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), objects)
                << "repaints make no new brush";
            SendMessageW(link, WM_LBUTTONDOWN, 0, 0);
            SendMessageW(link, WM_LBUTTONUP, 0, 0);
        },
        [&] {
            ASSERT_TRUE(W32GetPaintRecord(link, &record));
            EXPECT_EQ(record.textColour, RGB(128, 0, 128));
            EXPECT_TRUE(record.hollowBrush);
            EXPECT_EQ(record.bkMode, TRANSPARENT);
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
        },
    });
    DWORD before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    fixture.window().ShowAbout();
    unsetenv("W32_URL_OPENER");
    EXPECT_NE(dialog, nullptr);
    EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), before)
        << "the brush and the logo went with the dialog";
}

TEST(AboutDialog, AnExceptionThroughItsLoopForgetsAndFreesTheDialog) {
    AgentFixture fixture;
    DWORD before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    HWND first = nullptr;
    {
        Steps failing({
            [] {},
            [&] {
                first = OpenAbout();
                throw std::runtime_error("a handler failed inside the dialog");
            },
        });
        EXPECT_THROW(fixture.window().ShowAbout(), std::runtime_error);
    }
    ASSERT_NE(first, nullptr);
    // The window the unwound loop left behind is not taken for an open dialog:
    // the next request opens a new one.
    DestroyWindow(first);
    HWND second = nullptr;
    Steps closing({
        [] {},
        [&] {
            second = OpenAbout();
            PostMessageW(second, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
        },
    });
    fixture.window().ShowAbout();
    EXPECT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), before);
}

TEST(AboutDialog, ShowsTheProgramsVersionBlock) {
    vexlo::ProgramVersion version = vexlo::GetProgramVersion();
    EXPECT_EQ(version.version, u"0.0.81");
    EXPECT_EQ(version.build, 91);
    std::u16string date = vexlo::GetBuildDate();
    ASSERT_EQ(date.size(), 11u);
    EXPECT_EQ(date[3], u' ');
    EXPECT_EQ(date[6], u' ');
}

}  // namespace
