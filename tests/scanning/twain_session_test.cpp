// The TWAIN manager between and around scan runs, through the agent: busy
// answers, source selection by the simulated user, stop requests, and the
// source's dialog closed by the user.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "agent/base/settings.h"
#include "desktop_user.h"
#include "twain_agent_fixture.h"
#include "twain_dialogs.h"

namespace {

using vexlo::test::PostedAction;
using vexlo::test::Request;
using vexlo::test::SessionFile;
using vexlo::test::TwainAgent;

constexpr const char* kTwoSources =
    "[source]\nname = First Scanner\npage = 8 20 20\n"
    "[source]\nname = Second Scanner\npage = 8 20 20\nkeep-open = yes\n";

std::string Pages(const std::string& pump) {
    return "[source]\nname = Feeder\npages = 3\npage = 8 20 20\npump = " + pump + "\n";
}

// The person at the screen, on a thread of its own, answering the modal
// selection dialog that the agent's thread runs.
class SelectingUser {
public:
    explicit SelectingUser(std::u16string choice) {
        user = std::thread([this, choice] {
            HWND dialog = desktop_user::WaitForTwainSelection(std::chrono::seconds(5));
            sawDialog = dialog != nullptr;
            if (dialog == nullptr) {
                return;
            }
            for (const auto& control : desktop_user::Controls(dialog)) {
                texts.push_back(control.text);
            }
            ownerDisabled = !IsWindowEnabled(GetWindow(dialog, GW_OWNER));
            if (choice.empty()) {
                desktop_user::CancelTwainSelection(dialog);
            } else {
                desktop_user::ChooseTwainSource(dialog, choice);
            }
        });
    }
    ~SelectingUser() { Join(); }
    void Join() {
        if (user.joinable()) {
            user.join();
        }
    }
    bool sawDialog = false;
    bool ownerDisabled = false;
    std::vector<std::u16string> texts;

private:
    std::thread user;
};

TEST(TwainSession, TheManagersWindowIsShownTransparentTopmostAndOwnedByTheAgent) {
    TwainAgent agent(kTwoSources);
    HWND window = agent.Manager().m_hWnd;
    ASSERT_TRUE(IsWindow(window));
    EXPECT_TRUE(IsWindowVisible(window));
    LONG_PTR exStyle = GetWindowLongPtrW(window, GWL_EXSTYLE);
    EXPECT_TRUE(exStyle & WS_EX_LAYERED);
    EXPECT_TRUE(exStyle & WS_EX_TOPMOST);
    EXPECT_EQ(GetWindow(window, GW_OWNER), FindWindowW(vexlo::kAgentWindowClass, nullptr));
    EXPECT_EQ(GetWindowTextLengthW(window), 0);
    EXPECT_EQ(agent.Manager().GetState(), 0);
    EXPECT_EQ(agent.Manager().GetJobId(), 0);
}

TEST(TwainSession, AScanOrASelectionWhileTheSourcesDialogIsUpIsBusy) {
    TwainAgent agent(kTwoSources);
    agent.Scan(1, 41);
    ASSERT_NE(agent.SourceDialog(u"First Scanner"), nullptr);
    agent.Scan(1, 42);
    EXPECT_EQ(agent.States(), (std::vector<int>{-3}));
    EXPECT_EQ(agent.Manager().GetJobId(), 41) << "the busy request is dropped";
    agent.SetScanMode(vexlo::kScanModeAutomatic);
    agent.Scan(1, 43);
    EXPECT_EQ(agent.States(), (std::vector<int>{-3, -3})) << "mode 1 counts TWAIN too";

    EXPECT_EQ(agent.Manager().SelectScanner(agent.ClientWindow()), E_FAIL);
    agent.Select();
    agent.Pump();
    EXPECT_EQ(FindWindowW(u"#32770", desktop_user::kTwainSelectTitle), nullptr);
    EXPECT_EQ(agent.States().size(), 2u) << "a selection while busy gets no answer";
    EXPECT_NE(agent.SourceDialog(u"First Scanner"), nullptr) << "the scan goes on";
}

TEST(TwainSession, TheSourcesDialogClosedWithoutScanningEndsTheJobSilently) {
    TwainAgent agent(kTwoSources);
    agent.Scan(1, 44);
    HWND dialog = agent.SourceDialog(u"First Scanner");
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(IsWindowEnabled(GetWindow(dialog, GW_OWNER))) << "a modal source interface";
    agent.Press(dialog, u"Close");
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_TRUE(agent.Answers().empty());
    EXPECT_EQ(agent.Manager().GetState(), 0);
    EXPECT_TRUE(agent.ScannedFiles().empty());
    agent.Scan(1, 45);
    EXPECT_NE(agent.SourceDialog(u"First Scanner"), nullptr) << "the next scan starts afresh";
}

TEST(TwainSession, TheUserSelectsASourceWhichTheNextScanUses) {
    TwainAgent agent(kTwoSources);
    {
        SelectingUser user(u"Second Scanner");
        agent.Select();
        ASSERT_TRUE(agent.PumpUntil([&] { return !agent.Answers().empty(); }));
        user.Join();
        EXPECT_TRUE(user.sawDialog);
        EXPECT_TRUE(user.ownerDisabled) << "the dialog is modal to the manager's window";
        EXPECT_NE(std::find(user.texts.begin(), user.texts.end(), u"First Scanner"),
                  user.texts.end());
    }
    ASSERT_EQ(agent.Answers().size(), 1u);
    EXPECT_EQ(agent.Answers()[0].state, vexlo::kReplySelectedScanner);
    EXPECT_EQ(agent.Answers()[0].text, u"Second Scanner");
    EXPECT_EQ(agent.Manager().GetState(), 0);
    EXPECT_NE(vexlo::test::ReadFileBytes(SessionFile("twain-default")).find("Second Scanner"),
              std::string::npos)
        << "remembered in the session";

    agent.Send(Request(vexlo::kRequestGetSelectedScanner, vexlo::kInterfaceTwain));
    EXPECT_EQ(agent.Answers().back().text, u"Second Scanner");
    agent.Scan(1, 46);
    EXPECT_NE(agent.SourceDialog(u"Second Scanner"), nullptr);
    EXPECT_EQ(agent.SourceDialog(u"First Scanner"), nullptr);
}

TEST(TwainSession, ACancelledSelectionAnswersNothingAndKeepsTheDefault) {
    TwainAgent agent(kTwoSources);
    SelectingUser user(u"");
    agent.Select();
    agent.PumpUntil([&] { return agent.Manager().GetState() == 0 && user.sawDialog; });
    user.Join();
    agent.Pump();
    EXPECT_TRUE(user.sawDialog);
    EXPECT_TRUE(agent.Answers().empty());
    agent.Send(Request(vexlo::kRequestGetSelectedScanner, vexlo::kInterfaceTwain));
    EXPECT_EQ(agent.Answers().back().text, u"First Scanner") << "the first source by default";
}

TEST(TwainSession, ASelectionClosesADialogLeftOpenByAnEarlierScan) {
    TwainAgent agent(kTwoSources);
    {
        SelectingUser user(u"Second Scanner");
        agent.Select();
        agent.PumpUntil([&] { return !agent.Answers().empty(); });
    }
    agent.Scan(1, 47);
    HWND dialog = agent.SourceDialog(u"Second Scanner");
    ASSERT_NE(dialog, nullptr);
    agent.Press(dialog, u"Scan");
    ASSERT_EQ(agent.States(), (std::vector<int>{101, 1, 2}));
    ASSERT_TRUE(IsWindow(dialog)) << "left open after the run";
    SelectingUser user(u"First Scanner");
    agent.Select();
    agent.PumpUntil([&] { return agent.Answers().size() == 4; });
    user.Join();
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(agent.Answers().back().text, u"First Scanner");
}

TEST(TwainSession, AScanStoredBeforeASelectionRunsAfterItWithTheChosenSource) {
    TwainAgent agent(kTwoSources);
    SelectingUser user(u"Second Scanner");
    agent.Select();  // its message comes first
    agent.Send(vexlo::test::ScanRequest(1, 81));
    EXPECT_EQ(agent.Manager().GetState(), 1) << "busy from the request on";
    // The scan's message is dispatched inside the selection dialog and waits.
    ASSERT_TRUE(agent.PumpUntil([&] { return agent.SourceDialog(u"Second Scanner") != nullptr; }));
    user.Join();
    EXPECT_EQ(agent.States(), (std::vector<int>{101}));
    EXPECT_EQ(agent.Manager().GetJobId(), 81);
    EXPECT_EQ(agent.Manager().GetState(), 1);
    agent.Press(agent.SourceDialog(u"Second Scanner"), u"Scan");
    EXPECT_EQ(agent.States(), (std::vector<int>{101, 1, 2}));
    ASSERT_EQ(agent.Queued().size(), 1u);
    EXPECT_EQ(agent.Queued()[0].jobId, 81);
}

TEST(TwainSession, TheSelectedScannerQueryDuringAScanLeavesTheRunningSourceAlone) {
    TwainAgent agent(kTwoSources);
    agent.Scan(1, 48);
    HWND dialog = agent.SourceDialog(u"First Scanner");
    ASSERT_NE(dialog, nullptr);
    // Another process makes another source the default meanwhile.
    vexlo::test::WriteFileBytes(SessionFile("twain-default"), "Second Scanner\n");
    agent.Send(Request(vexlo::kRequestGetSelectedScanner, vexlo::kInterfaceTwain));
    EXPECT_EQ(agent.Answers().back().text, u"Second Scanner");
    agent.Press(dialog, u"Scan");
    EXPECT_EQ(agent.States(), (std::vector<int>{106, 1, 2})) << "the open source still scans";
}

TEST(TwainSession, AStopBeforeTheTransfersEndsTheRunWithNoImageAndNoEnd) {
    TwainAgent agent(Pages(""));
    agent.Scan(1, 51);
    HWND dialog = agent.SourceDialog(u"Feeder");
    ASSERT_NE(dialog, nullptr);
    TwainAgent::ClickNow(dialog, u"Scan");  // the source's event is queued
    agent.Stop(51);
    agent.Pump();
    EXPECT_EQ(agent.States(), (std::vector<int>{1}));
    EXPECT_TRUE(agent.Queued().empty());
    EXPECT_EQ(agent.Manager().GetState(), 0);
}

TEST(TwainSession, AStopDuringATransferDiscardsThatImage) {
    TwainAgent agent(Pages("transfer"));
    agent.Scan(1, 52);
    HWND dialog = agent.SourceDialog(u"Feeder");
    ASSERT_NE(dialog, nullptr);
    PostedAction stop([&] { agent.Stop(52); });
    TwainAgent::ClickNow(dialog, u"Scan");
    stop.Post();  // reached while the source lets messages through in its first transfer
    agent.Pump();
    EXPECT_EQ(stop.runs, 1);
    EXPECT_EQ(agent.States(), (std::vector<int>{1}));
    EXPECT_TRUE(agent.Queued().empty());
    EXPECT_TRUE(agent.ScannedFiles().empty());
    EXPECT_NE(agent.Log().find("Aborted job after scanning"), std::string::npos);
    EXPECT_EQ(agent.Manager().GetState(), 0);
    agent.Scan(1, 53);
    EXPECT_NE(agent.SourceDialog(u"Feeder"), nullptr) << "the next scan starts afresh";
}

TEST(TwainSession, AStopBetweenTransfersKeepsTheImagesAlreadyTaken) {
    TwainAgent agent(Pages("feed"));
    agent.Scan(1, 54);
    HWND dialog = agent.SourceDialog(u"Feeder");
    ASSERT_NE(dialog, nullptr);
    PostedAction stop([&] { agent.Stop(54); });
    TwainAgent::ClickNow(dialog, u"Scan");
    stop.Post();  // reached while the source feeds the second sheet
    agent.Pump();
    EXPECT_EQ(agent.States(), (std::vector<int>{1}));
    EXPECT_EQ(agent.Queued().size(), 1u);
    EXPECT_EQ(agent.Log().find("Aborted job after scanning"), std::string::npos);
}

TEST(TwainSession, AStopForAnotherJobClearsAnEarlierStopOfTheRunningOne) {
    TwainAgent agent(Pages(""));
    agent.Scan(1, 55);
    HWND dialog = agent.SourceDialog(u"Feeder");
    ASSERT_NE(dialog, nullptr);
    TwainAgent::ClickNow(dialog, u"Scan");
    agent.Stop(55);
    agent.Stop(999);
    agent.Pump();
    EXPECT_EQ(agent.States(), (std::vector<int>{1, 2}));
    EXPECT_EQ(agent.Queued().size(), 3u);
}

TEST(TwainSession, TheAgentClosesInOrderWhileASourcesDialogIsUp) {
    HWND dialog = nullptr;
    {
        TwainAgent agent(kTwoSources);
        agent.Scan(1, 56);
        dialog = agent.SourceDialog(u"First Scanner");
        ASSERT_NE(dialog, nullptr);
    }
    EXPECT_FALSE(IsWindow(dialog));
}

}  // namespace
