// The common print dialog: a modal window titled "Print" on the calling
// thread, listing the session's printers, with "Print", "Apply" and "Cancel".
#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "print/printer_surface.h"
#include "w32/commctrl.h"
#include "w32/crt.h"
#include "w32/dialog.h"
#include "w32/kernel.h"
#include "w32/module.h"
#include "w32/user.h"

namespace {

using w32::print::PrinterDescription;

constexpr int kDialogId = 0x7301;
constexpr int kPrinterList = 1000;
constexpr int kApplyButton = 1001;
constexpr int kPrompt = 1002;

const W32_DIALOG_CONTROL kControls[] = {
    {kPrompt, u"Static", u"Select Printer", 7, 7, 200, 10, WS_VISIBLE | SS_LEFT, 0},
    {kPrinterList, WC_LISTVIEWW, u"", 7, 20, 200, 60,
     WS_VISIBLE | WS_BORDER | WS_TABSTOP | LVS_LIST | LVS_SINGLESEL | LVS_SHOWSELALWAYS, 0},
    {IDOK, u"Button", u"Print", 37, 88, 50, 14, WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0},
    {IDCANCEL, u"Button", u"Cancel", 92, 88, 50, 14, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0},
    {kApplyButton, u"Button", u"Apply", 147, 88, 50, 14, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
     0},
};

const W32_DIALOG_TEMPLATE kTemplate = {
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
    0,
    30,
    30,
    214,
    108,
    u"Print",
    u"MS Shell Dlg",
    8,
    kControls,
    static_cast<int>(sizeof(kControls) / sizeof(kControls[0])),
};

// What one run of the dialog shows and what the user chose.
struct DialogRun {
    std::vector<PrinterDescription> printers;
    int initial = 0;
    int chosen = -1;
    bool applied = false;
    int appliedIndex = -1;
};

int SelectedRow(HWND dialog) {
    return static_cast<int>(SendMessageW(GetDlgItem(dialog, kPrinterList), LVM_GETNEXTITEM,
                                         static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void Fill(HWND dialog, DialogRun& run) {
    HWND list = GetDlgItem(dialog, kPrinterList);
    int index = 0;
    for (const PrinterDescription& printer : run.printers) {
        std::u16string text = printer.name;
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = index++;
        item.pszText = text.data();
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    LVITEMW state = {};
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(run.initial),
                 reinterpret_cast<LPARAM>(&state));
}

INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* run = reinterpret_cast<DialogRun*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        run = reinterpret_cast<DialogRun*>(lParam);
        Fill(hwnd, *run);
        // A topmost owner keeps its dialog above it.
        HWND owner = GetWindow(hwnd, GW_OWNER);
        if (owner != nullptr && (GetWindowLongPtrW(owner, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0) {
            SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
        return TRUE;
    }
    if (message != WM_COMMAND || run == nullptr || HIWORD(wParam) != BN_CLICKED) {
        return FALSE;
    }
    int row = SelectedRow(hwnd);
    switch (LOWORD(wParam)) {
        case IDOK:
            run->chosen = row >= 0 ? row : run->initial;
            EndDialog(hwnd, PD_RESULT_PRINT);
            return TRUE;
        case kApplyButton:
            // The choice is kept; the dialog stays open.
            run->applied = true;
            run->appliedIndex = row >= 0 ? row : run->initial;
            return TRUE;
        case IDCANCEL:
            EndDialog(hwnd, run->applied ? PD_RESULT_APPLY : PD_RESULT_CANCEL);
            return TRUE;
        default:
            return FALSE;
    }
}

// The dialog's template, registered on first use: a registration while the
// runtime loads would reach the session before the program could choose it.
HINSTANCE ThisLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        W32RegisterResource(reinterpret_cast<const void*>(&Procedure), RT_DIALOG,
                            MAKEINTRESOURCEW(kDialogId), &kTemplate, sizeof(kTemplate));
    });
    HMODULE module = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&Procedure), &module);
    return module;
}

// A movable block holding a copy of the bytes; null when none can be had.
HGLOBAL MovableCopy(const void* data, size_t size) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    void* memory = block != nullptr ? GlobalLock(block) : nullptr;
    if (memory == nullptr) {
        GlobalFree(block);
        return nullptr;
    }
    memcpy(memory, data, size);
    GlobalUnlock(block);
    return block;
}

HGLOBAL MakeDevNames(const PrinterDescription& printer) {
    std::u16string driver = u"winspool";
    std::u16string output = u"";
    std::vector<char16_t> block(sizeof(DEVNAMES) / sizeof(char16_t));
    auto append = [&](const std::u16string& text) {
        WORD offset = static_cast<WORD>(block.size());
        block.insert(block.end(), text.begin(), text.end());
        block.push_back(0);
        return offset;
    };
    DEVNAMES names = {};
    names.wDriverOffset = append(driver);
    names.wDeviceOffset = append(printer.name);
    names.wOutputOffset = append(output);
    names.wDefault = printer.isDefault ? DN_DEFAULTPRN : 0;
    memcpy(block.data(), &names, sizeof names);
    return MovableCopy(block.data(), block.size() * sizeof(char16_t));
}

// The device named in a DEVNAMES block the caller gave; empty when unreadable.
std::u16string NamedDevice(HGLOBAL devNames) {
    if (devNames == nullptr) {
        return {};
    }
    SIZE_T size = GlobalSize(devNames);
    const auto* memory = static_cast<const char16_t*>(GlobalLock(devNames));
    if (memory == nullptr) {
        return {};
    }
    std::u16string name;
    DEVNAMES names = {};
    if (size >= sizeof names) {
        memcpy(&names, memory, sizeof names);
        size_t count = size / sizeof(char16_t);
        for (size_t i = names.wDeviceOffset; i < count && memory[i] != 0; ++i) {
            name += memory[i];
        }
    }
    GlobalUnlock(devNames);
    return name;
}

// Replaces the caller's blocks with the chosen printer's.
void HandBack(LPPRINTDLGEXW pd, const PrinterDescription& printer, bool returnDc) {
    auto surface = std::make_shared<w32::print::PrinterSurface>(printer);
    DEVMODEW mode = surface->DeviceMode();
    GlobalFree(pd->hDevMode);
    GlobalFree(pd->hDevNames);
    pd->hDevMode = MovableCopy(&mode, sizeof mode);
    pd->hDevNames = MakeDevNames(printer);
    if (returnDc) {
        pd->hDC = w32::print::CreatePrinterDc(printer, &mode);
    }
}

}  // namespace

W32API HRESULT WINAPI PrintDlgExW(LPPRINTDLGEXW lppd) {
    if (lppd == nullptr) {
        return E_POINTER;
    }
    if (lppd->lStructSize != sizeof(PRINTDLGEXW)) {
        return E_INVALIDARG;
    }
    if (lppd->hwndOwner == nullptr || !IsWindow(lppd->hwndOwner)) {
        return E_HANDLE;
    }
    if ((lppd->nMaxPageRanges > 0 && lppd->lpPageRanges == nullptr) ||
        lppd->nPageRanges > lppd->nMaxPageRanges || lppd->nMinPage > lppd->nMaxPage) {
        return E_INVALIDARG;
    }
    w32::print::PrinterSet set = w32::print::ReadPrinters();
    if (set.dialogFails || set.printers.empty()) {
        return E_FAIL;
    }
    DialogRun run;
    run.printers = set.printers;
    std::u16string wanted = NamedDevice(lppd->hDevNames);
    for (size_t i = 0; i < run.printers.size(); ++i) {
        const PrinterDescription& printer = run.printers[i];
        if (wanted.empty() ? printer.isDefault
                           : _wcsicmp(printer.name.c_str(), wanted.c_str()) == 0) {
            run.initial = static_cast<int>(i);
            break;
        }
    }
    INT_PTR result = DialogBoxParamW(ThisLibrary(), MAKEINTRESOURCEW(kDialogId), lppd->hwndOwner,
                                     Procedure, reinterpret_cast<LPARAM>(&run));
    if (result == -1) {
        return E_FAIL;
    }
    lppd->dwResultAction = static_cast<DWORD>(result);
    if (result == PD_RESULT_PRINT && run.chosen >= 0 &&
        run.chosen < static_cast<int>(run.printers.size())) {
        HandBack(lppd, run.printers[run.chosen], (lppd->Flags & PD_RETURNDC) != 0);
        lppd->nCopies = 1;
    } else if (result == PD_RESULT_APPLY && run.appliedIndex >= 0 &&
               run.appliedIndex < static_cast<int>(run.printers.size())) {
        HandBack(lppd, run.printers[run.appliedIndex], false);
    }
    return S_OK;
}
