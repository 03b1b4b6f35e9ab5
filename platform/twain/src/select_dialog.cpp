#include "select_dialog.h"

#include <algorithm>

#include "dialog_template.h"

namespace twain_dsm {
namespace {

constexpr int kFirstSource = 2000;
constexpr int kChoiceText = 1003;
constexpr short kRowHeight = 16;

struct Selection {
    const std::vector<std::u16string>* names;
    int chosen;
};

void ShowChoice(HWND dialog, const Selection& selection) {
    const std::u16string none;
    const std::u16string& name =
        selection.chosen >= 0 ? (*selection.names)[static_cast<size_t>(selection.chosen)] : none;
    SetDlgItemTextW(dialog, kChoiceText, name.c_str());
    EnableWindow(GetDlgItem(dialog, IDOK), selection.chosen >= 0 ? TRUE : FALSE);
}

INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
        ShowChoice(hwnd, *reinterpret_cast<Selection*>(lParam));
        return TRUE;
    }
    auto* selection = reinterpret_cast<Selection*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (selection == nullptr || message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) {
        return FALSE;
    }
    int id = LOWORD(wParam);
    int count = static_cast<int>(selection->names->size());
    if (id >= kFirstSource && id < kFirstSource + count) {
        selection->chosen = id - kFirstSource;
        ShowChoice(hwnd, *selection);
        return TRUE;
    }
    if (id == IDOK && selection->chosen >= 0) {
        EndDialog(hwnd, IDOK);
        return TRUE;
    }
    if (id == IDCANCEL) {
        EndDialog(hwnd, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int RunSelectDialog(HWND owner, const std::vector<std::u16string>& names, int preselected) {
    const short rows = static_cast<short>(std::min<size_t>(names.size(), 40));
    const short listTop = 22;
    const short buttonsTop = static_cast<short>(listTop + rows * (kRowHeight + 2) + 24);
    DialogTemplate form(u"Select Source", 220, static_cast<short>(buttonsTop + 26));
    form.AddControl(-1, u"Static", u"Sources:", 10, 8, 200, 10, SS_LEFT);
    for (short i = 0; i < rows; ++i) {
        form.AddControl(kFirstSource + i, u"Button", names[static_cast<size_t>(i)], 10,
                        static_cast<short>(listTop + i * (kRowHeight + 2)), 200, kRowHeight,
                        BS_PUSHBUTTON | WS_TABSTOP);
    }
    form.AddControl(kChoiceText, u"Static", u"", 10, static_cast<short>(buttonsTop - 18), 200, 10,
                    SS_LEFT);
    form.AddControl(IDOK, u"Button", u"Select", 60, buttonsTop, 70, 16,
                    BS_DEFPUSHBUTTON | WS_TABSTOP);
    form.AddControl(IDCANCEL, u"Button", u"Cancel", 140, buttonsTop, 70, 16,
                    BS_PUSHBUTTON | WS_TABSTOP);

    Selection selection{&names, preselected >= 0 && preselected < rows ? preselected : -1};
    INT_PTR result = DialogBoxParamW(ThisLibrary(), form.Register(), owner, Procedure,
                                     reinterpret_cast<LPARAM>(&selection));
    return result == IDOK ? selection.chosen : -1;
}

}  // namespace twain_dsm
