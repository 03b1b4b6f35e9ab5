// The dialog manager: dialogs from templates, modal loops, the dialog
// keyboard and the default dialog procedure.
#include <cstring>

#include "module/modules.h"
#include "user/port.h"
#include "user/window.h"

using namespace w32::user;

namespace {

// Dialog base units of "MS Shell Dlg" 8 point on the stand-in's screen.
constexpr int kBaseX = 6;
constexpr int kBaseY = 13;

int ToPixelsX(int du) {
    return du * kBaseX / 4;
}
int ToPixelsY(int du) {
    return du * kBaseY / 8;
}

DLGPROC DialogProcOf(HWND hdlg) {
    return reinterpret_cast<DLGPROC>(GetWindowLongPtrW(hdlg, DWLP_DLGPROC));
}

std::u16string ControlClass(const W32_DIALOG_ITEM& item) {
    if (item.className)
        return item.className;
    switch (item.classId) {
        case 0x80:
            return u"Button";
        case 0x81:
            return u"Edit";
        case 0x82:
            return u"Static";
        case 0x83:
            return u"ListBox";
        case 0x84:
            return u"ScrollBar";
        case 0x85:
            return u"ComboBox";
        default:
            return u"Static";
    }
}

HWND CreateFromTemplate(HINSTANCE inst, const W32_DIALOG_TEMPLATE* t, HWND owner, DLGPROC proc,
                        LPARAM param, bool modal) {
    if (!t) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    int cx = ToPixelsX(t->cx), cy = ToPixelsY(t->cy);
    int x = ToPixelsX(t->x), y = ToPixelsY(t->y);
    if (t->style & (DS_CENTER | DS_CENTERMOUSE)) {
        x = (GetSystemMetrics(SM_CXSCREEN) - cx) / 2;
        y = (GetSystemMetrics(SM_CYSCREEN) - cy) / 2;
    }
    DWORD style = t->style & ~WS_VISIBLE;
    const char16_t* cls = t->className ? t->className : u"#32770";
    HWND hdlg = CreateWindowExW(t->exStyle, cls, t->caption ? t->caption : u"", style, x, y, cx, cy,
                                owner, nullptr, inst, nullptr);
    if (!hdlg)
        return nullptr;
    auto w = FindLocal(hdlg);
    {
        std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
        w->dialog = std::make_unique<DialogState>();
        w->dialog->modal = modal;
    }
    SetWindowLongPtrW(hdlg, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(proc));
    HWND firstTab = nullptr;
    for (size_t i = 0; i < t->itemCount; ++i) {
        const W32_DIALOG_ITEM& item = t->items[i];
        std::u16string cname = ControlClass(item);
        const char16_t* text = item.text ? item.text : u"";
        HWND ctl = CreateWindowExW(
            item.exStyle, cname.c_str(), text, item.style | WS_CHILD, ToPixelsX(item.x),
            ToPixelsY(item.y), ToPixelsX(item.cx), ToPixelsY(item.cy), hdlg,
            reinterpret_cast<HMENU>(static_cast<intptr_t>(item.id)), inst, nullptr);
        if (!ctl) {
            if (!(t->style & DS_NOFAILCREATE)) {
                DestroyWindow(hdlg);
                return nullptr;
            }
            continue;
        }
        DWORD type = item.style & SS_TYPEMASK;
        if (cname == u"Static" && (type == SS_BITMAP || type == SS_ICON)) {
            LPCWSTR name = item.text ? item.text : MAKEINTRESOURCEW(item.textId);
            HANDLE image = LoadImageW(inst, name, type == SS_BITMAP ? IMAGE_BITMAP : IMAGE_ICON, 0,
                                      0, type == SS_ICON ? LR_DEFAULTSIZE | LR_SHARED : 0);
            SetWindowTextW(ctl, u"");
            if (image)
                SendMessageW(ctl, STM_SETIMAGE, type == SS_BITMAP ? IMAGE_BITMAP : IMAGE_ICON,
                             reinterpret_cast<LPARAM>(image));
        }
        if (!firstTab && (item.style & WS_TABSTOP) && !(item.style & WS_DISABLED))
            firstTab = ctl;
    }
    // WM_INITDIALOG: TRUE asks the dialog manager to focus the first tab stop.
    LRESULT init =
        proc ? proc(hdlg, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTab), param) : TRUE;
    if (!IsWindow(hdlg))
        return nullptr;
    if (init && firstTab)
        SetFocus(firstTab);
    if (t->style & WS_VISIBLE)
        ShowWindow(hdlg, SW_SHOW);
    return hdlg;
}

const W32_DIALOG_TEMPLATE* TemplateOf(HINSTANCE inst, LPCWSTR name) {
    auto* r = w32::module::Find(inst, RT_DIALOG, name);
    return r ? static_cast<const W32_DIALOG_TEMPLATE*>(r->data) : nullptr;
}

bool DialogEnded(HWND hdlg, INT_PTR* result) {
    auto w = FindLocal(hdlg);
    if (!w)
        return true;
    std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
    if (!w->dialog)
        return true;
    if (result)
        *result = w->dialog->result;
    return w->dialog->ended;
}

INT_PTR RunModal(HWND hdlg, HWND owner) {
    bool ownerWasEnabled = false;
    if (owner && FindLocal(owner)) {
        ownerWasEnabled = IsWindowEnabled(owner) != 0;
        if (ownerWasEnabled)
            EnableWindow(owner, FALSE);
    }
    ShowWindow(hdlg, SW_SHOW);
    // Painting asks the dialog procedure for its colours: the background,
    // then each control's.
    {
        HDC dc = GetDC(hdlg);
        SendMessageW(hdlg, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(hdlg));
        ReleaseDC(hdlg, dc);
        if (auto w = FindLocal(hdlg)) {
            std::vector<HWND> children;
            {
                std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
                children = w->children;
            }
            for (HWND c : children)
                SendMessageW(c, WM_PAINT, 0, 0);
        }
    }
    INT_PTR result = 0;
    MSG msg;
    bool quit = false;
    int quitCode = 0;
    while (!DialogEnded(hdlg, &result)) {
        if (!GetMessageW(&msg, nullptr, 0, 0)) {
            // WM_QUIT ends the dialog and is passed on to the loop outside.
            quit = true;
            quitCode = static_cast<int>(msg.wParam);
            break;
        }
        if (!IsDialogMessageW(hdlg, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    DialogEnded(hdlg, &result);
    if (ownerWasEnabled && IsWindow(owner))
        EnableWindow(owner, TRUE);
    if (IsWindow(hdlg))
        DestroyWindow(hdlg);
    if (owner && IsWindow(owner))
        SetActiveWindow(owner);
    if (quit)
        PostQuitMessage(quitCode);
    return result;
}

HWND OwnerOf(HWND parent) {
    if (!parent)
        return nullptr;
    // The owner of a modal dialog is a top-level window.
    HWND root = parent;
    while (auto w = FindLocal(root)) {
        if (!w->parent)
            break;
        root = w->parent;
    }
    return root;
}

}  // namespace

W32API HWND WINAPI CreateDialogIndirectParamW(HINSTANCE inst, LPCDLGTEMPLATEW t, HWND parent,
                                              DLGPROC proc, LPARAM param) {
    return CreateFromTemplate(inst, t, parent, proc, param, false);
}

W32API HWND WINAPI CreateDialogParamW(HINSTANCE inst, LPCWSTR name, HWND parent, DLGPROC proc,
                                      LPARAM param) {
    return CreateFromTemplate(inst, TemplateOf(inst, name), parent, proc, param, false);
}

W32API INT_PTR WINAPI DialogBoxIndirectParamW(HINSTANCE inst, LPCDLGTEMPLATEW t, HWND parent,
                                              DLGPROC proc, LPARAM param) {
    HWND owner = OwnerOf(parent);
    HWND hdlg = CreateFromTemplate(inst, t, owner, proc, param, true);
    if (!hdlg)
        return -1;
    return RunModal(hdlg, owner);
}

W32API INT_PTR WINAPI DialogBoxParamW(HINSTANCE inst, LPCWSTR name, HWND parent, DLGPROC proc,
                                      LPARAM param) {
    const W32_DIALOG_TEMPLATE* t = TemplateOf(inst, name);
    if (!t) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return -1;
    }
    return DialogBoxIndirectParamW(inst, t, parent, proc, param);
}

W32API BOOL WINAPI EndDialog(HWND hdlg, INT_PTR result) {
    auto w = FindLocal(hdlg);
    if (!w || !w->dialog) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    bool modal;
    HWND owner;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
        w->dialog->ended = true;
        w->dialog->result = result;
        modal = w->dialog->modal;
        owner = w->owner;
    }
    // The owner comes back before the dialog goes, as on Windows.
    if (modal && owner && FindLocal(owner))
        EnableWindow(owner, TRUE);
    ShowWindow(hdlg, SW_HIDE);
    if (auto port = Port::CurrentIfAny())
        port->Wake();
    return TRUE;
}

W32API LRESULT WINAPI DefDlgProcW(HWND hdlg, UINT msg, WPARAM wp, LPARAM lp) {
    DLGPROC proc = DialogProcOf(hdlg);
    if (proc) {
        SetWindowLongPtrW(hdlg, DWLP_MSGRESULT, 0);
        INT_PTR r = proc(hdlg, msg, wp, lp);
        switch (msg) {
            case WM_CTLCOLORMSGBOX:
            case WM_CTLCOLOREDIT:
            case WM_CTLCOLORLISTBOX:
            case WM_CTLCOLORBTN:
            case WM_CTLCOLORDLG:
            case WM_CTLCOLORSCROLLBAR:
            case WM_CTLCOLORSTATIC:
            case WM_INITDIALOG:
                if (r)
                    return r;  // these answers are the procedure's own result
                break;
            default:
                if (r)
                    return IsWindow(hdlg) ? GetWindowLongPtrW(hdlg, DWLP_MSGRESULT) : 0;
        }
    }
    switch (msg) {
        case WM_CLOSE:
            // The close box and Alt+F4 are IDCANCEL for a dialog.
            SendMessageW(hdlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(hdlg, IDCANCEL)));
            return 0;
        case DM_GETDEFID: {
            auto w = FindLocal(hdlg);
            if (!w)
                return 0;
            std::vector<HWND> children;
            {
                std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
                children = w->children;
            }
            for (HWND c : children) {
                auto cw = FindLocal(c);
                if (cw && cw->cls->name == u"Button" &&
                    (cw->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
                    return MAKELRESULT(cw->id, DC_HASDEFID);
            }
            return 0;
        }
        case DM_SETDEFID: {
            auto w = FindLocal(hdlg);
            if (!w)
                return FALSE;
            std::vector<HWND> children;
            {
                std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
                children = w->children;
            }
            for (HWND c : children) {
                auto cw = FindLocal(c);
                if (!cw || cw->cls->name != u"Button")
                    continue;
                DWORD type = cw->style & BS_TYPEMASK;
                if (cw->id == static_cast<int>(wp) && type == BS_PUSHBUTTON)
                    SendMessageW(c, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
                else if (cw->id != static_cast<int>(wp) && type == BS_DEFPUSHBUTTON)
                    SendMessageW(c, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
            }
            return TRUE;
        }
        case WM_NEXTDLGCTL: {
            HWND next =
                lp ? reinterpret_cast<HWND>(wp) : GetNextDlgTabItem(hdlg, GetFocus(), wp != 0);
            if (next)
                SetFocus(next);
            return 0;
        }
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        default:
            return DefWindowProcW(hdlg, msg, wp, lp);
    }
}

W32API BOOL WINAPI IsDialogMessageW(HWND hdlg, LPMSG msg) {
    if (!msg || !hdlg)
        return FALSE;
    if (msg->hwnd != hdlg && !IsChild(hdlg, msg->hwnd))
        return FALSE;
    if (msg->message == WM_KEYDOWN) {
        switch (msg->wParam) {
            case VK_RETURN: {
                HWND focus = GetFocus();
                auto fw = FindLocal(focus);
                if (fw && IsChild(hdlg, focus) && fw->cls->name == u"Button" &&
                    ((fw->style & BS_TYPEMASK) == BS_PUSHBUTTON ||
                     (fw->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)) {
                    SendMessageW(hdlg, WM_COMMAND, MAKEWPARAM(fw->id, BN_CLICKED),
                                 reinterpret_cast<LPARAM>(focus));
                    return TRUE;
                }
                LRESULT def = SendMessageW(hdlg, DM_GETDEFID, 0, 0);
                int id = HIWORD(def) == DC_HASDEFID ? LOWORD(def) : IDOK;
                HWND ctl = GetDlgItem(hdlg, id);
                if (ctl && !IsWindowEnabled(ctl))
                    return TRUE;
                SendMessageW(hdlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                             reinterpret_cast<LPARAM>(ctl));
                return TRUE;
            }
            case VK_ESCAPE:
                SendMessageW(hdlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                             reinterpret_cast<LPARAM>(GetDlgItem(hdlg, IDCANCEL)));
                return TRUE;
            case VK_TAB: {
                bool back = false;
                HWND next = GetNextDlgTabItem(hdlg, GetFocus(), back);
                if (next)
                    SetFocus(next);
                return TRUE;
            }
            default:
                break;
        }
    }
    if (msg->message == WM_CHAR &&
        (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE || msg->wParam == VK_TAB))
        return TRUE;
    TranslateMessage(msg);
    DispatchMessageW(msg);
    return TRUE;
}

W32API HWND WINAPI GetDlgItem(HWND hdlg, int id) {
    auto w = FindLocal(hdlg);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    std::vector<HWND> children;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
        children = w->children;
    }
    for (HWND c : children) {
        auto cw = FindLocal(c);
        if (cw && cw->id == id)
            return c;
    }
    SetLastError(1421 /* ERROR_CONTROL_ID_NOT_FOUND */);
    return nullptr;
}

W32API int WINAPI GetDlgCtrlID(HWND hwnd) {
    auto w = FindLocal(hwnd);
    return w ? w->id : 0;
}

W32API BOOL WINAPI SetDlgItemTextW(HWND hdlg, int id, LPCWSTR text) {
    HWND ctl = GetDlgItem(hdlg, id);
    return ctl ? SetWindowTextW(ctl, text) : FALSE;
}

W32API UINT WINAPI GetDlgItemTextW(HWND hdlg, int id, LPWSTR buf, int max) {
    HWND ctl = GetDlgItem(hdlg, id);
    if (!ctl) {
        if (buf && max > 0)
            buf[0] = 0;
        return 0;
    }
    return static_cast<UINT>(GetWindowTextW(ctl, buf, max));
}

W32API BOOL WINAPI SetDlgItemInt(HWND hdlg, int id, UINT value, BOOL isSigned) {
    std::string s = isSigned ? std::to_string(static_cast<int>(value)) : std::to_string(value);
    std::u16string w(s.begin(), s.end());
    return SetDlgItemTextW(hdlg, id, w.c_str());
}

W32API UINT WINAPI GetDlgItemInt(HWND hdlg, int id, BOOL* ok, BOOL isSigned) {
    char16_t buf[64];
    GetDlgItemTextW(hdlg, id, buf, 64);
    const char16_t* p = buf;
    while (*p == u' ')
        ++p;
    bool neg = false;
    if (isSigned && *p == u'-') {
        neg = true;
        ++p;
    }
    long long v = 0;
    bool any = false;
    while (*p >= u'0' && *p <= u'9' && v < (1LL << 33)) {
        v = v * 10 + (*p++ - u'0');
        any = true;
    }
    bool valid = any && *p == 0 && v <= (isSigned ? 0x7FFFFFFFLL + (neg ? 1 : 0) : 0xFFFFFFFFLL);
    if (ok)
        *ok = valid;
    if (!valid)
        return 0;
    return static_cast<UINT>(neg ? -v : v);
}

W32API LRESULT WINAPI SendDlgItemMessageW(HWND hdlg, int id, UINT msg, WPARAM wp, LPARAM lp) {
    HWND ctl = GetDlgItem(hdlg, id);
    return ctl ? SendMessageW(ctl, msg, wp, lp) : 0;
}

W32API BOOL WINAPI CheckDlgButton(HWND hdlg, int id, UINT check) {
    HWND ctl = GetDlgItem(hdlg, id);
    if (!ctl)
        return FALSE;
    SendMessageW(ctl, BM_SETCHECK, check, 0);
    return TRUE;
}

W32API UINT WINAPI IsDlgButtonChecked(HWND hdlg, int id) {
    return static_cast<UINT>(SendDlgItemMessageW(hdlg, id, BM_GETCHECK, 0, 0));
}

W32API HWND WINAPI GetNextDlgTabItem(HWND hdlg, HWND ctl, BOOL previous) {
    auto w = FindLocal(hdlg);
    if (!w)
        return nullptr;
    std::vector<HWND> stops;
    std::vector<HWND> children;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
        children = w->children;
    }
    for (HWND c : children) {
        auto cw = FindLocal(c);
        if (cw && (cw->style & WS_TABSTOP) && (cw->style & WS_VISIBLE) &&
            !(cw->style & WS_DISABLED))
            stops.push_back(c);
    }
    if (stops.empty())
        return nullptr;
    size_t i = 0;
    for (; i < stops.size(); ++i)
        if (stops[i] == ctl)
            break;
    if (i == stops.size())
        return previous ? stops.back() : stops.front();
    return previous ? stops[(i + stops.size() - 1) % stops.size()] : stops[(i + 1) % stops.size()];
}

W32API BOOL WINAPI MapDialogRect(HWND hdlg, LPRECT r) {
    if (!r || !FindLocal(hdlg))
        return FALSE;
    r->left = ToPixelsX(r->left);
    r->right = ToPixelsX(r->right);
    r->top = ToPixelsY(r->top);
    r->bottom = ToPixelsY(r->bottom);
    return TRUE;
}

W32API LONG WINAPI GetDialogBaseUnits(void) {
    return MAKELONG(kBaseX, kBaseY);
}
