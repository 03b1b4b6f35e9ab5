#include "device_dialog.h"

namespace wia_service {
namespace {

constexpr int kDialogId = 1;
constexpr int kPromptText = 1001;

const W32_DIALOG_CONTROL kControls[] = {
    {kPromptText, u"Static", u"Place the paper in the device and press Scan.", 10, 10, 200, 10,
     WS_VISIBLE | SS_LEFT, 0},
    {kDeviceDialogScan, u"Button", u"Scan", 70, 40, 65, 14,
     WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0},
    {kDeviceDialogCancel, u"Button", u"Cancel", 145, 40, 65, 14,
     WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0},
};

const W32_DIALOG_TEMPLATE kTemplate = {
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
    0,
    40,
    40,
    220,
    62,
    u"",
    u"MS Shell Dlg",
    8,
    kControls,
    static_cast<int>(sizeof(kControls) / sizeof(kControls[0])),
};

INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowTextW(hwnd, reinterpret_cast<const char16_t*>(lParam));
        return TRUE;
    }
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED &&
        (LOWORD(wParam) == kDeviceDialogScan || LOWORD(wParam) == kDeviceDialogCancel)) {
        EndDialog(hwnd, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

HINSTANCE ThisLibrary() {
    HMODULE module = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&Procedure), &module);
    return module;
}

}  // namespace

// The library stays loaded once the device manager class was asked for, so
// its dialog can be a resource of its own.
W32_RESOURCE(RT_DIALOG, kDialogId, &kTemplate, sizeof(kTemplate))

bool RunDeviceDialog(HWND owner, const std::u16string& title) {
    INT_PTR result = DialogBoxParamW(ThisLibrary(), MAKEINTRESOURCEW(kDialogId), owner, Procedure,
                                     reinterpret_cast<LPARAM>(title.c_str()));
    return result == kDeviceDialogScan;
}

}  // namespace wia_service
