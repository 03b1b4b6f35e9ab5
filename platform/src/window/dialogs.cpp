// Dialogs: made from templates, run modally with the owner disabled, ended
// by EndDialog; the dialog manager's keyboard rules.
#include <algorithm>
#include <map>
#include <mutex>

#include "w32/dialog.h"
#include "w32/module.h"
#include "w32/shell.h"
#include "w32/user.h"
#include "window/controls.h"
#include "window/painting.h"

namespace {

constexpr const char16_t* kDialogClass = u"#32770";

struct DialogState {
    DLGPROC proc = nullptr;
    bool ended = false;
    INT_PTR result = 0;
};

std::mutex& Lock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}

std::map<HWND, DialogState>& Dialogs() {
    static auto* dialogs = new std::map<HWND, DialogState>;
    return *dialogs;
}

// The dialog being created on this thread, until its window has a state.
thread_local DLGPROC creatingProc = nullptr;

DLGPROC ProcOf(HWND hwnd) {
    std::lock_guard<std::mutex> guard(Lock());
    auto it = Dialogs().find(hwnd);
    return it == Dialogs().end() ? creatingProc : it->second.proc;
}

LRESULT CALLBACK DialogWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    DLGPROC proc = ProcOf(hwnd);
    INT_PTR handled = proc != nullptr ? proc(hwnd, message, wParam, lParam) : FALSE;
    switch (message) {
        case WM_INITDIALOG:
            return handled;
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
            // The dialog manager keeps what the dialog answered for the paint's record.
            w32::window::NoteColourAnswer(
                message == WM_CTLCOLORDLG ? hwnd : reinterpret_cast<HWND>(lParam),
                reinterpret_cast<HBRUSH>(handled));
            return handled;  // the procedure's answer is the result itself
        case WM_NCDESTROY: {
            std::lock_guard<std::mutex> guard(Lock());
            Dialogs().erase(hwnd);
            return 0;
        }
        default:
            break;
    }
    if (handled) {
        return GetWindowLongPtrW(hwnd, DWLP_MSGRESULT);
    }
    return DefDlgProcW(hwnd, message, wParam, lParam);
}

void RegisterDialogClass() {
    static std::once_flag once;
    std::call_once(once, [] {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = DialogWindowProc;
        wc.lpszClassName = kDialogClass;
        RegisterClassExW(&wc);
    });
    w32::window::RegisterStandardControls();
}

// Dialog units to pixels for the 8-point dialog font: 4 x 8 base units.
int X(short units) {
    return units * 6 / 4;
}
int Y(short units) {
    return units * 13 / 8;
}

// Where a dialog of this size opens: DS_CENTER centres it in the work area of
// the owner's monitor (the primary one without an owner), its top left kept
// inside that area; otherwise the template's own position.
POINT Origin(const W32_DIALOG_TEMPLATE& form, HWND owner, int width, int height) {
    POINT origin = {X(form.x), Y(form.y)};
    if ((form.style & DS_CENTER) == 0 || (form.style & WS_CHILD) != 0) {
        return origin;
    }
    HMONITOR monitor = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    RECT ownerRect;
    if (owner != nullptr && GetWindowRect(owner, &ownerRect)) {
        POINT middle = {ownerRect.left + (ownerRect.right - ownerRect.left) / 2,
                        ownerRect.top + (ownerRect.bottom - ownerRect.top) / 2};
        monitor = MonitorFromPoint(middle, MONITOR_DEFAULTTONEAREST);
    }
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    if (!GetMonitorInfoW(monitor, &info)) {
        return origin;
    }
    const RECT& work = info.rcWork;
    origin.x = std::max(work.left, work.left + (work.right - work.left - width) / 2);
    origin.y = std::max(work.top, work.top + (work.bottom - work.top - height) / 2);
    return origin;
}

HWND Make(HINSTANCE instance, LPCWSTR name, HWND owner, DLGPROC proc, LPARAM initParam) {
    HRSRC resource = FindResourceW(instance, name, RT_DIALOG);
    if (resource == nullptr || SizeofResource(instance, resource) < sizeof(W32_DIALOG_TEMPLATE)) {
        return nullptr;
    }
    const auto* form =
        static_cast<const W32_DIALOG_TEMPLATE*>(LockResource(LoadResource(instance, resource)));
    RegisterDialogClass();
    creatingProc = proc;
    DWORD style = form->style & ~static_cast<DWORD>(WS_VISIBLE);
    int width = X(form->cx);
    int height = Y(form->cy);
    POINT origin = Origin(*form, owner, width, height);
    HWND dialog = CreateWindowExW(form->exStyle, kDialogClass, form->caption, style, origin.x,
                                  origin.y, width, height, owner, nullptr, instance, nullptr);
    if (dialog == nullptr) {
        creatingProc = nullptr;
        return nullptr;
    }
    {
        std::lock_guard<std::mutex> guard(Lock());
        Dialogs()[dialog].proc = proc;
    }
    creatingProc = nullptr;
    SetWindowLongPtrW(dialog, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(proc));
    HWND firstTabStop = nullptr;
    for (int i = 0; i < form->controlCount; ++i) {
        const W32_DIALOG_CONTROL& control = form->controls[i];
        HWND item = CreateWindowExW(
            control.exStyle, control.className, control.text, control.style | WS_CHILD,
            X(control.x), Y(control.y), X(control.cx), Y(control.cy), dialog,
            reinterpret_cast<HMENU>(static_cast<intptr_t>(control.id)), instance, nullptr);
        if (item != nullptr && firstTabStop == nullptr && (control.style & WS_TABSTOP)) {
            firstTabStop = item;
        }
    }
    if (SendMessageW(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTabStop), initParam) &&
        firstTabStop != nullptr) {
        SetFocus(firstTabStop);
    }
    return dialog;
}

bool Ended(HWND dialog, INT_PTR* result) {
    std::lock_guard<std::mutex> guard(Lock());
    auto it = Dialogs().find(dialog);
    if (it == Dialogs().end()) {
        return true;  // destroyed from outside
    }
    *result = it->second.result;
    return it->second.ended;
}

// The default push button's id, or IDOK.
int DefaultButton(HWND dialog) {
    LRESULT answer = SendMessageW(dialog, DM_GETDEFID, 0, 0);
    if (HIWORD(answer) == DC_HASDEFID) {
        return LOWORD(answer);
    }
    struct Search {
        int id = IDOK;
    } search;
    EnumChildWindows(
        dialog,
        [](HWND child, LPARAM data) -> BOOL {
            WCHAR className[16] = {};
            GetClassNameW(child, className, 16);
            if (std::u16string(className) == u"Button" &&
                (GetWindowLongPtrW(child, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON) {
                reinterpret_cast<Search*>(data)->id = GetDlgCtrlID(child);
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.id;
}

}  // namespace

W32API LRESULT WINAPI DefDlgProcW(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam) {
    switch (Msg) {
        case WM_CLOSE:
            // The close box is Cancel.
            SendMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(hDlg, IDCANCEL)));
            return 0;
        case DM_GETDEFID:
            return 0;
        case WM_PAINT:
            // The dialog's background: the dialog procedure answers WM_CTLCOLORDLG.
            w32::window::PaintWithColours(hDlg, WM_CTLCOLORDLG, hDlg);
            return 0;
        default:
            return DefWindowProcW(hDlg, Msg, wParam, lParam);
    }
}

W32API BOOL WINAPI IsDialogMessageW(HWND hDlg, LPMSG lpMsg) {
    if (lpMsg == nullptr || lpMsg->message != WM_KEYDOWN) {
        return FALSE;
    }
    HWND target = lpMsg->hwnd;
    bool ours = target == hDlg || GetParent(target) == hDlg;
    if (!ours) {
        return FALSE;
    }
    if (lpMsg->wParam == VK_RETURN) {
        int id = DefaultButton(hDlg);
        SendMessageW(hDlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(hDlg, id)));
        return TRUE;
    }
    if (lpMsg->wParam == VK_ESCAPE) {
        SendMessageW(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(hDlg, IDCANCEL)));
        return TRUE;
    }
    return FALSE;
}

W32API HWND WINAPI CreateDialogParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent,
                                      DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    HWND dialog = Make(hInstance, lpTemplateName, hWndParent, lpDialogFunc, dwInitParam);
    if (dialog != nullptr) {
        ShowWindow(dialog, SW_SHOW);
    }
    return dialog;
}

W32API INT_PTR WINAPI DialogBoxParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent,
                                      DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    HWND dialog = Make(hInstance, lpTemplateName, hWndParent, lpDialogFunc, dwInitParam);
    if (dialog == nullptr) {
        return -1;
    }
    INT_PTR result = 0;
    bool ownerDisabled = false;
    if (!Ended(dialog, &result)) {  // WM_INITDIALOG may end it at once
        if (hWndParent != nullptr && IsWindowEnabled(hWndParent)) {
            EnableWindow(hWndParent, FALSE);
            ownerDisabled = true;
        }
        ShowWindow(dialog, SW_SHOW);
        SetActiveWindow(dialog);
        MSG msg;
        while (!Ended(dialog, &result)) {
            BOOL got = GetMessageW(&msg, nullptr, 0, 0);
            if (got == 0) {
                PostQuitMessage(static_cast<int>(msg.wParam));  // the loop above gets it too
                break;
            }
            if (got < 0) {
                break;
            }
            if (!IsDialogMessageW(dialog, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    }
    Ended(dialog, &result);
    if (ownerDisabled) {
        EnableWindow(hWndParent, TRUE);
    }
    if (IsWindow(dialog)) {
        DestroyWindow(dialog);
    }
    return result;
}

W32API BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult) {
    std::lock_guard<std::mutex> guard(Lock());
    auto it = Dialogs().find(hDlg);
    if (it == Dialogs().end()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    it->second.ended = true;
    it->second.result = nResult;
    // A modal loop waiting in GetMessage must look again.
    PostMessageW(hDlg, WM_NULL, 0, 0);
    return TRUE;
}

// Dialog items by their control id.
W32API LRESULT WINAPI SendDlgItemMessageW(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam,
                                          LPARAM lParam) {
    HWND item = GetDlgItem(hDlg, nIDDlgItem);
    return item != nullptr ? SendMessageW(item, Msg, wParam, lParam) : 0;
}

W32API BOOL WINAPI SetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPCWSTR lpString) {
    HWND item = GetDlgItem(hDlg, nIDDlgItem);
    return item != nullptr && SetWindowTextW(item, lpString);
}

W32API UINT WINAPI GetDlgItemTextW(HWND hDlg, int nIDDlgItem, LPWSTR lpString, int cchMax) {
    HWND item = GetDlgItem(hDlg, nIDDlgItem);
    if (item == nullptr) {
        if (lpString != nullptr && cchMax > 0) {
            lpString[0] = 0;
        }
        return 0;
    }
    return static_cast<UINT>(GetWindowTextW(item, lpString, cchMax));
}
