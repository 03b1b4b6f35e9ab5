// The dialog in which the user picks one of the connected WIA devices: a
// list of the devices' names in the order of their ids, OK and Cancel. The
// WIA scanner fills it, runs it over its own window and takes the chosen
// name and id back; the dialog touches neither the settings nor the device
// manager.
#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "framework/dialog.h"

namespace vexlo {

class CWiaSelectScannerDialog final : public fw::CDialogImpl<CWiaSelectScannerDialog> {
public:
    enum { IDD = 133 };
    static constexpr int kDeviceList = 1005;

    BEGIN_MSG_MAP(CWiaSelectScannerDialog)
    MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialogMessage)
    COMMAND_HANDLER(IDOK, BN_CLICKED, OnOKCommand)
    COMMAND_HANDLER(IDCANCEL, BN_CLICKED, OnCancelCommand)
    NOTIFY_HANDLER(kDeviceList, NM_CLICK, OnListClick)
    NOTIFY_HANDLER(kDeviceList, NM_DBLCLK, OnListClick)
    NOTIFY_HANDLER(kDeviceList, NM_RCLICK, OnListClick)
    NOTIFY_HANDLER(kDeviceList, NM_RDBLCLK, OnListClick)
    END_MSG_MAP()

    // The devices (id to name) to list and the id of the one chosen now.
    void SetDevices(std::map<std::u16string, std::u16string> deviceMap,
                    const std::u16string& currentId);
    // Runs the dialog modally over the owner: IDOK, IDCANCEL, or -1 when it
    // cannot be made. However the run ends, the dialog is no longer open.
    INT_PTR Run(HWND owner);
    // After IDOK: the chosen row's name (empty when no row was selected).
    std::u16string GetSelectedName() const { return selection; }
    // The id of the first device, in id order, whose name is the chosen one
    // without regard to case; empty when none is.
    std::u16string GetSelectedId() const;
    bool IsOpen() const { return isOpen; }

    void OnInitDialog();
    void OnOK();
    void SelectFirstRow();

private:
    LRESULT OnInitDialogMessage(UINT, WPARAM, LPARAM, BOOL&);
    LRESULT OnOKCommand(WORD, WORD, HWND, BOOL&);
    LRESULT OnCancelCommand(WORD, WORD, HWND, BOOL&);
    LRESULT OnListClick(int, LPNMHDR header, BOOL&);

    std::map<std::u16string, std::u16string> devices;  // ordered by id
    std::u16string selection;  // on entry the current id; after OK the chosen name
    bool isOpen = false;
};

}  // namespace vexlo
