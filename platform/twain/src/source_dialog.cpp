#include "source_dialog.h"

namespace twain_dsm {

bool SourceDialog::Show(HWND owner, const std::u16string& title) {
    if (window != nullptr) {
        return true;
    }
    DialogTemplate form(title, 200, 80);
    form.AddControl(kStatusText, u"Static", u"Ready", 10, 10, 180, 12, SS_LEFT);
    form.AddControl(kScanButton, u"Button", u"Scan", 40, 50, 60, 16, BS_DEFPUSHBUTTON | WS_TABSTOP);
    form.AddControl(kCloseButton, u"Button", u"Close", 110, 50, 60, 16, BS_PUSHBUTTON | WS_TABSTOP);
    window = CreateDialogParamW(ThisLibrary(), form.Register(), owner, Procedure,
                                reinterpret_cast<LPARAM>(this));
    return window != nullptr;
}

void SourceDialog::Destroy() {
    if (window == nullptr) {
        return;
    }
    HWND closing = window;
    window = nullptr;
    SetWindowLongPtrW(closing, GWLP_USERDATA, 0);
    if (IsWindow(closing)) {
        DestroyWindow(closing);
    }
}

bool SourceDialog::Owns(HWND hwnd) const {
    return window != nullptr && hwnd != nullptr && (hwnd == window || GetParent(hwnd) == window);
}

void SourceDialog::SetBusy(bool busy, const std::u16string& status) {
    if (window == nullptr) {
        return;
    }
    EnableWindow(GetDlgItem(window, kScanButton), busy ? FALSE : TRUE);
    SetDlgItemTextW(window, kStatusText, status.c_str());
}

INT_PTR CALLBACK SourceDialog::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
        return TRUE;
    }
    auto* self = reinterpret_cast<SourceDialog*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr || message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) {
        return FALSE;
    }
    switch (LOWORD(wParam)) {
        case kScanButton:
            self->events.OnScanPressed();
            return TRUE;
        case kCloseButton:
            self->events.OnClosePressed();
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace twain_dsm
