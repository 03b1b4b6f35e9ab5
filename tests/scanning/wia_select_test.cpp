// The WIA device selection through the agent: the dialog's rows and their
// order, the first row's selection, clicks in the list, the name and id
// handed back, and what the selection answers and remembers.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "agent/base/settings.h"
#include "desktop_user.h"
#include "wia_dialogs.h"
#include "wia_agent_fixture.h"

namespace {

using vexlo::GetSettings;
using vexlo::test::kWiaMode;
using vexlo::test::WiaAgent;

std::string Device(const std::string& id, const std::string& name) {
    return "[device]\nid = " + id + "\nname = " + name + "\n";
}

const std::string kTwoDevices = Device("dev-B", "Alpha Scanner") + Device("dev-A", "Zeta Scanner");
const std::string kRememberB =
    std::string(kWiaMode) + "[wia]\nwia-scanner=dev-B\nwia-scanner-name=Alpha Scanner\n";

TEST(WiaSelectDialog, RowsFollowTheIdsAndTheFirstRowStartsSelectedWhateverIsRemembered) {
    WiaAgent agent(kTwoDevices, kRememberB);
    std::vector<std::u16string> rows;
    std::vector<int> selected;
    HWND focus = nullptr;
    HWND list = nullptr;
    std::u16string caption;
    agent.Select([&](WiaAgent& user) {
        rows = user.Rows();
        selected = user.SelectedRows();
        list = user.SelectionList();
        focus = GetFocus();
        char16_t text[64] = {};
        GetWindowTextW(user.SelectionDialog(), text, 64);
        caption = text;
        user.PressSelection(u"Cancel");
    });
    ASSERT_EQ(agent.actionsRun, 1);
    EXPECT_EQ(caption, u"Выбор сканера");
    EXPECT_EQ(rows, (std::vector<std::u16string>{u"Zeta Scanner", u"Alpha Scanner"}));
    EXPECT_EQ(selected, (std::vector<int>{0})) << "dev-A's row, though dev-B is remembered";
    EXPECT_EQ(focus, list) << "the list has the keyboard focus";
    EXPECT_TRUE(agent.Answers().empty());
}

TEST(WiaSelectDialog, AConfirmedSelectionAnswers101AndRemembersTheDeviceButNotTheMode) {
    WiaAgent agent(kTwoDevices);
    int stateInDialog = -1;
    agent.Select([&](WiaAgent& user) {
        stateInDialog = user.Wia().GetState();
        user.ClickRow(1);
        EXPECT_EQ(user.SelectedRows(), (std::vector<int>{1}));
        user.PressSelection(u"OK");
    });
    EXPECT_EQ(stateInDialog, 1);
    ASSERT_EQ(agent.States(), (std::vector<int>{101}));
    EXPECT_EQ(agent.Answers()[0].text, u"Alpha Scanner");
    EXPECT_EQ(GetSettings()->wiaScanner.value_or(u""), u"dev-B");
    EXPECT_EQ(GetSettings()->wiaScannerName, u"Alpha Scanner");
    EXPECT_EQ(GetSettings()->scanMode, 2);
    EXPECT_EQ(agent.Wia().GetState(), 0);
    EXPECT_NE(agent.Log().find("Coun wia scanners is 2"), std::string::npos);
    EXPECT_EQ(agent.Wia().GetSelectedScanner(), u"Alpha Scanner");
}

TEST(WiaSelectDialog, CancelEscapeAndTheCloseBoxAnswerNothingAndChangeNoSetting) {
    const std::vector<std::function<void(WiaAgent&)>> endings = {
        [](WiaAgent& user) { user.PressSelection(u"Cancel"); },
        [](WiaAgent& user) { desktop_user::PressKey(user.SelectionDialog(), VK_ESCAPE); },
        [](WiaAgent& user) { desktop_user::CloseWindow(user.SelectionDialog()); },
    };
    for (size_t i = 0; i < endings.size(); ++i) {
        SCOPED_TRACE(i);
        WiaAgent agent(kTwoDevices, kRememberB);
        agent.Select([&](WiaAgent& user) {
            user.ClickRow(0);
            endings[i](user);
        });
        EXPECT_TRUE(agent.Answers().empty());
        EXPECT_EQ(GetSettings()->wiaScanner.value_or(u""), u"dev-B");
        EXPECT_EQ(GetSettings()->wiaScannerName, u"Alpha Scanner");
        EXPECT_EQ(agent.SelectionDialog(), nullptr);
        EXPECT_EQ(agent.Wia().GetState(), 0);
    }
}

TEST(WiaSelectDialog, AClickUnderTheRowsSelectsTheFirstRowAgain) {
    WiaAgent agent(kTwoDevices);
    std::vector<int> afterRowClick;
    std::vector<int> afterEmptyClick;
    agent.Select([&](WiaAgent& user) {
        user.ClickRow(1);
        afterRowClick = user.SelectedRows();
        user.ClickRow(-1);
        afterEmptyClick = user.SelectedRows();
        user.PressSelection(u"OK");
    });
    EXPECT_EQ(afterRowClick, (std::vector<int>{1}));
    EXPECT_EQ(afterEmptyClick, (std::vector<int>{0}));
    ASSERT_EQ(agent.States(), (std::vector<int>{101}));
    EXPECT_EQ(agent.Answers()[0].text, u"Zeta Scanner");
}

TEST(WiaSelectDialog, DeselectingTheOnlyRowWithCtrlLeavesNoNameAndNothingIsSent) {
    WiaAgent agent(kTwoDevices, kRememberB);
    std::vector<int> selected = {-1};
    agent.Select([&](WiaAgent& user) {
        user.ClickRow(0, true);
        selected = user.SelectedRows();
        user.PressSelection(u"OK");
    });
    EXPECT_TRUE(selected.empty());
    EXPECT_TRUE(agent.Answers().empty());
    EXPECT_EQ(GetSettings()->wiaScanner.value_or(u""), u"dev-B");
}

TEST(WiaSelectDialog, NamesThatDifferOnlyInCaseGiveTheIdThatSortsFirst) {
    WiaAgent agent(Device("dev-2", "Office") + Device("dev-1", "OFFICE") + Device("dev-3", "Home"));
    agent.Select([](WiaAgent& user) {
        EXPECT_EQ(user.Rows(), (std::vector<std::u16string>{u"OFFICE", u"Office", u"Home"}));
        user.ClickRow(1);
        user.PressSelection(u"OK");
    });
    ASSERT_EQ(agent.States(), (std::vector<int>{101}));
    EXPECT_EQ(agent.Answers()[0].text, u"Office");
    EXPECT_EQ(GetSettings()->wiaScanner.value_or(u""), u"dev-1");
    EXPECT_EQ(GetSettings()->wiaScannerName, u"Office");
}

TEST(WiaSelectDialog, ADoubleClickOnARowDoesNotCloseTheDialog) {
    WiaAgent agent(kTwoDevices);
    bool stillOpen = false;
    agent.Select([&](WiaAgent& user) {
        desktop_user::ListClick twice;
        twice.twice = true;
        EXPECT_TRUE(desktop_user::ClickListRow(user.SelectionList(), 1, twice));
        user.Pump();
        stillOpen = user.SelectionDialog() != nullptr;
        user.PressSelection(u"OK");
    });
    EXPECT_TRUE(stillOpen);
    ASSERT_EQ(agent.States(), (std::vector<int>{101}));
    EXPECT_EQ(agent.Answers()[0].text, u"Alpha Scanner");
}

TEST(WiaSelectDialog, ASecondSelectionWhileTheDialogIsOpenIsIgnored) {
    WiaAgent agent(kTwoDevices);
    int dialogs = 0;
    agent.Select([&](WiaAgent& user) {
        ++dialogs;
        user.Send(vexlo::test::Request(vexlo::kRequestSelectScanner, vexlo::kInterfaceWia));
        user.Pump();  // the second selection's message is handled inside this dialog
        user.PressSelection(u"OK");
    });
    agent.Pump();
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(agent.States(), (std::vector<int>{101})) << "one answer only";
}

TEST(WiaSelectDialog, AScanRequestWhileTheDialogIsOpenIsBusy) {
    WiaAgent agent(kTwoDevices);
    agent.Select([](WiaAgent& user) {
        user.Send(vexlo::test::ScanRequest(1, 60));
        user.PressSelection(u"Cancel");
    });
    EXPECT_EQ(agent.States(), (std::vector<int>{-3}));
}

TEST(WiaSelectDialog, AnEmptyDeviceListGivesAnEmptyNameAndNoAnswer) {
    WiaAgent agent("");
    std::vector<std::u16string> rows = {u"unset"};
    agent.Select([&](WiaAgent& user) {
        rows = user.Rows();
        user.PressSelection(u"OK");
    });
    EXPECT_TRUE(rows.empty());
    EXPECT_TRUE(agent.Answers().empty());
    EXPECT_EQ(agent.Wia().GetState(), 0);
}

TEST(WiaSelectDialog, WithoutADeviceManagerASelectionShowsNothingAndLogsOnce) {
    WiaAgent agent("[manager]\nfail = absent\n" + Device("dev-1", "Flatbed"));
    agent.Select();
    EXPECT_EQ(agent.SelectionDialog(), nullptr);
    EXPECT_TRUE(agent.Answers().empty());
    std::string log = agent.Log();
    const std::string line = "m_pWiaDevMgr is null... Don't open select wia dialog";
    size_t at = log.find(line);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(log.find(line, at + 1), std::string::npos);
}

TEST(WiaSelectDialog, ASelectionDuringAScanRunIsRefusedAndTheScanGoesOn) {
    WiaAgent agent(Device("dev-1", "Flatbed"));
    bool selectionShown = true;
    agent.Scan(1, 61, [&](WiaAgent& user) {
        user.Send(vexlo::test::Request(vexlo::kRequestSelectScanner, vexlo::kInterfaceWia));
        user.Pump();
        selectionShown = user.SelectionDialog() != nullptr;
        user.PressScan(u"Flatbed");
    });
    EXPECT_FALSE(selectionShown);
    EXPECT_EQ(agent.States(), (std::vector<int>{1, 2}));
    ASSERT_EQ(agent.Queued().size(), 1u);
    EXPECT_EQ(agent.Queued()[0].jobId, 61) << "the running job was not emptied";
}

}  // namespace

namespace {

TEST(WiaSelectDialog, AScanStoredBeforeASelectionRunsAfterItWithItsJob) {
    WiaAgent agent(Device("dev-1", "Flatbed"));
    // The selection's message comes first; the scan's is dispatched inside
    // the selection dialog's loop and waits for it.
    agent.Send(vexlo::test::Request(vexlo::kRequestSelectScanner, vexlo::kInterfaceWia));
    std::thread user([] {
        HWND dialog = desktop_user::WaitForWiaDeviceDialog(u"Flatbed", std::chrono::seconds(10));
        EXPECT_NE(dialog, nullptr);
        EXPECT_TRUE(desktop_user::PressWiaScan(dialog));
    });
    bool scanShownInSelection = true;
    agent.Scan(1, 62, [&](WiaAgent& inSelection) {
        scanShownInSelection = inSelection.DeviceDialog(u"Flatbed") != nullptr;
        EXPECT_EQ(inSelection.Wia().GetState(), 1);
        inSelection.PressSelection(u"Cancel");
    });
    agent.Pump();
    user.join();
    EXPECT_FALSE(scanShownInSelection);
    EXPECT_EQ(agent.States(), (std::vector<int>{1, 2})) << "the job was not wiped";
    ASSERT_EQ(agent.Queued().size(), 1u);
    EXPECT_EQ(agent.Queued()[0].jobId, 62);
    EXPECT_EQ(agent.Wia().GetState(), 0);
}

}  // namespace
