#include "wia_agent_fixture.h"

#include <gtest/gtest.h>

#include "desktop_user.h"
#include "wia_dialogs.h"

namespace vexlo::test {

void DescribeWiaDevices(const std::string& text) {
    WriteFileBytes(SessionFile("wia-devices"), text);
}

namespace {

// Describes the devices before the agent's window makes its scanners; gives
// the TWAIN sources on.
const std::string& DevicesThen(const std::string& devices, const std::string& twainSources) {
    DescribeWiaDevices(devices);
    return twainSources;
}

}  // namespace

WiaAgent::WiaAgent(const std::string& devices, const std::string& settings,
                   const std::string& twainSources)
    : agent(DevicesThen(devices, twainSources), settings) {}

WiaAgent::~WiaAgent() = default;

void WiaAgent::RunWith(const Action& action) {
    if (!action) {
        agent.Pump();
        return;
    }
    // Posted after the scanner's own message: it runs in the loop of the
    // dialog that message opens.
    PostedAction posted([this, action] {
        ++actionsRun;
        action(*this);
    });
    posted.Post();
    agent.Pump();
}

void WiaAgent::Scan(int scanType, int jobId, const Action& atDialog) {
    agent.Send(ScanRequest(scanType, jobId));
    RunWith(atDialog);
}

void WiaAgent::Select(const Action& inDialog) {
    agent.Send(Request(kRequestSelectScanner, kInterfaceWia));
    RunWith(inDialog);
}

HWND WiaAgent::DeviceDialog(const std::u16string& name) const {
    HWND dialog = FindWindowW(u"#32770", name.c_str());
    return dialog != nullptr && IsWindowVisible(dialog) ? dialog : nullptr;
}

HWND WiaAgent::SelectionDialog() const {
    return DeviceDialog(kSelectionTitle);
}

HWND WiaAgent::SelectionList() const {
    HWND dialog = SelectionDialog();
    return dialog != nullptr ? desktop_user::FindListView(dialog) : nullptr;
}

std::vector<std::u16string> WiaAgent::Rows() const {
    std::vector<std::u16string> rows;
    HWND list = SelectionList();
    int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char16_t text[260] = {};
        LVITEMW item = {};
        item.pszText = text;
        item.cchTextMax = 260;
        SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(&item));
        rows.push_back(text);
    }
    return rows;
}

std::vector<int> WiaAgent::SelectedRows() const {
    std::vector<int> rows;
    HWND list = SelectionList();
    for (LRESULT at = SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
         at >= 0;
         at = SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(at), LVNI_SELECTED)) {
        rows.push_back(static_cast<int>(at));
    }
    return rows;
}

void WiaAgent::PressScan(const std::u16string& deviceName) {
    HWND dialog = DeviceDialog(deviceName);
    ASSERT_NE(dialog, nullptr) << "the device dialog is up";
    EXPECT_TRUE(desktop_user::PressWiaScan(dialog));
}

void WiaAgent::PressCancel(const std::u16string& deviceName) {
    HWND dialog = DeviceDialog(deviceName);
    ASSERT_NE(dialog, nullptr) << "the device dialog is up";
    EXPECT_TRUE(desktop_user::PressWiaCancel(dialog));
}

void WiaAgent::ClickRow(int row, bool control) {
    HWND list = SelectionList();
    ASSERT_NE(list, nullptr) << "the selection dialog is up";
    desktop_user::ListClick how;
    how.control = control;
    EXPECT_TRUE(desktop_user::ClickListRow(list, row, how));
    agent.Pump();  // the clicks are posted
}

void WiaAgent::PressSelection(const std::u16string& button) {
    HWND dialog = SelectionDialog();
    ASSERT_NE(dialog, nullptr) << "the selection dialog is up";
    EXPECT_TRUE(desktop_user::PressButton(dialog, button));
}

}  // namespace vexlo::test
