#include "agent/scanning/wia_select_dialog.h"

#include <vector>

namespace {

// Dialog resource 133 (Russian).
const W32_DIALOG_CONTROL kControls[] = {
    {IDOK, u"Button", u"OK", 53, 83, 50, 14, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
     0},
    {IDCANCEL, u"Button", u"Cancel", 104, 83, 50, 14, WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0},
    {vexlo::CWiaSelectScannerDialog::kDeviceList, WC_LISTVIEWW, u"", 7, 18, 146, 63,
     WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | LVS_LIST | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
         LVS_ALIGNLEFT,
     WS_EX_LEFTSCROLLBAR},
    {-1, u"Static", u"Сканеры:", 7, 7, 147, 8, WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT, 0},
};

// Weight 400 and character set 1 of the font are what the stand-in's
// dialogs use anyway.
const W32_DIALOG_TEMPLATE kSelectScannerDialog = {
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS,
    0,
    80,
    80,
    161,
    102,
    u"Выбор сканера",
    u"MS Shell Dlg",
    8,
    kControls,
    static_cast<int>(sizeof(kControls) / sizeof(kControls[0])),
};

static_assert(static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT |
                                 DS_FIXEDSYS) == 0x80C800C8u);
static_assert(static_cast<DWORD>(WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | LVS_LIST |
                                 LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_ALIGNLEFT) == 0x5081080Fu);

}  // namespace

W32_RESOURCE(RT_DIALOG, vexlo::CWiaSelectScannerDialog::IDD, &kSelectScannerDialog,
             sizeof(kSelectScannerDialog))

namespace vexlo {
namespace {

constexpr int kNameBufferLength = 260;

}  // namespace

void CWiaSelectScannerDialog::SetDevices(std::map<std::u16string, std::u16string> deviceMap,
                                         const std::u16string& currentId) {
    devices = std::move(deviceMap);
    selection = currentId;
}

INT_PTR CWiaSelectScannerDialog::Run(HWND owner) {
    INT_PTR result = DoModal(owner);
    // A loop ended by WM_QUIT destroys the dialog without OK or Cancel: it
    // must not stay open for ever, or no later selection would be shown.
    isOpen = false;
    return result;
}

std::u16string CWiaSelectScannerDialog::GetSelectedId() const {
    for (const auto& [id, name] : devices) {
        if (_wcsicmp(name.c_str(), selection.c_str()) == 0) {
            return id;
        }
    }
    return {};
}

LRESULT CWiaSelectScannerDialog::OnInitDialogMessage(UINT, WPARAM, LPARAM, BOOL&) {
    isOpen = true;
    OnInitDialog();
    return 0;  // the focus is set
}

void CWiaSelectScannerDialog::OnInitDialog() {
    HWND list = GetDlgItem(kDeviceList);
    RECT client = {};
    ::GetClientRect(list, &client);
    char16_t noHeader[] = u"";
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = client.right - client.left;
    column.pszText = noHeader;
    column.iSubItem = 0;
    ::SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));

    int index = 0;
    for (const auto& [id, name] : devices) {
        std::u16string text = name;
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = index++;
        item.iSubItem = 0;
        item.pszText = text.data();
        ::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    // The first row is the initial choice, whichever device is the current one.
    SelectFirstRow();
    ::SetFocus(list);
}

void CWiaSelectScannerDialog::SelectFirstRow() {
    LVITEMW item = {};
    item.state = LVIS_SELECTED | LVIS_ACTIVATING;
    item.stateMask = LVIS_SELECTED | LVIS_ACTIVATING;
    ::SendMessageW(GetDlgItem(kDeviceList), LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&item));
}

void CWiaSelectScannerDialog::OnOK() {
    HWND list = GetDlgItem(kDeviceList);
    std::vector<char16_t> name(kNameBufferLength, u'\0');
    LRESULT row = ::SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    if (row >= 0) {
        LVITEMW item = {};
        item.iSubItem = 0;
        item.pszText = name.data();
        item.cchTextMax = kNameBufferLength;
        ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                       reinterpret_cast<LPARAM>(&item));
    }
    selection = name.data();
    isOpen = false;
    EndDialog(IDOK);
}

LRESULT CWiaSelectScannerDialog::OnOKCommand(WORD, WORD, HWND, BOOL&) {
    OnOK();
    return 0;
}

LRESULT CWiaSelectScannerDialog::OnCancelCommand(WORD, WORD, HWND, BOOL&) {
    isOpen = false;
    EndDialog(IDCANCEL);
    return 0;
}

LRESULT CWiaSelectScannerDialog::OnListClick(int, LPNMHDR header, BOOL&) {
    // A click beside the rows clears the selection: show the first row again.
    if (reinterpret_cast<LPNMITEMACTIVATE>(header)->iItem == -1) {
        SelectFirstRow();
    }
    return 0;
}

}  // namespace vexlo
