// Dialogs on the framework: a C++ object per dialog over a dialog-template
// resource (T::IDD), with a message map as its dialog procedure.
#pragma once

#include <windows.h>

#include "framework/message_map.h"
#include "framework/module.h"
#include "framework/window.h"
#include "framework/window_binding.h"

namespace fw {

template <class TBase = CWindow>
class CDialogImplBaseT : public TBase, public CMessageMap {
public:
    CDialogImplBaseT() = default;
    CDialogImplBaseT(const CDialogImplBaseT&) = delete;
    CDialogImplBaseT& operator=(const CDialogImplBaseT&) = delete;
    virtual ~CDialogImplBaseT() {
        if (this->m_hWnd != nullptr) {
            detail::UnbindWindow(this->m_hWnd);
        }
    }

    virtual DLGPROC GetDialogProc() { return DialogProc; }
    virtual void OnFinalMessage(HWND) {}

    // The dialog procedure: binds the dialog to the object being created on
    // its first message, then hands every message to the message map.
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
        auto* self = static_cast<CDialogImplBaseT*>(detail::FindWindowObject(hWnd));
        if (self == nullptr) {
            self = static_cast<CDialogImplBaseT*>(detail::TakeCreatingObject());
            if (self == nullptr) {
                return FALSE;
            }
            self->m_hWnd = hWnd;
            detail::BindWindow(hWnd, self);
        }
        MSG msg = {hWnd, uMsg, wParam, lParam, 0, {0, 0}};
        const MSG* outer = self->m_pCurrentMsg;
        self->m_pCurrentMsg = &msg;
        LRESULT result = 0;
        BOOL handled = self->ProcessWindowMessage(hWnd, uMsg, wParam, lParam, result, 0);
        self->m_pCurrentMsg = outer;
        INT_PTR answer = FALSE;
        if (handled) {
            switch (uMsg) {
                // These messages take the handler's result as the procedure's own.
                case WM_INITDIALOG:
                case WM_CTLCOLORBTN:
                case WM_CTLCOLORDLG:
                case WM_CTLCOLOREDIT:
                case WM_CTLCOLORLISTBOX:
                case WM_CTLCOLORMSGBOX:
                case WM_CTLCOLORSCROLLBAR:
                case WM_CTLCOLORSTATIC:
                case WM_COMPAREITEM:
                case WM_VKEYTOITEM:
                case WM_CHARTOITEM:
                case WM_QUERYDRAGICON:
                    answer = static_cast<INT_PTR>(result);
                    break;
                default:
                    ::SetWindowLongPtrW(hWnd, DWLP_MSGRESULT, result);
                    answer = TRUE;
                    break;
            }
        }
        if (uMsg == WM_NCDESTROY) {
            self->m_destroyed = true;
        }
        if (self->m_destroyed && outer == nullptr) {
            self->m_destroyed = false;
            detail::UnbindWindow(hWnd);
            self->m_hWnd = nullptr;
            self->OnFinalMessage(hWnd);
        }
        return answer;
    }

    const MSG* GetCurrentMessage() const { return m_pCurrentMsg; }

protected:
    const MSG* m_pCurrentMsg = nullptr;

private:
    bool m_destroyed = false;
};

// T declares `enum { IDD = <dialog resource id> };` and a message map.
template <class T, class TBase = CWindow>
class CDialogImpl : public CDialogImplBaseT<TBase> {
public:
    // Runs the dialog modally; the owner is disabled while it runs. Returns
    // the EndDialog result, or -1 when the dialog could not be created.
    INT_PTR DoModal(HWND hWndParent = ::GetActiveWindow(), LPARAM initParam = 0) {
        detail::SetCreatingObject(static_cast<CDialogImplBaseT<TBase>*>(this));
        INT_PTR result = ::DialogBoxParamW(ThisModule(), MAKEINTRESOURCEW(T::IDD), hWndParent,
                                           T::DialogProc, initParam);
        detail::TakeCreatingObject();
        return result;
    }

    // A modeless dialog.
    HWND Create(HWND hWndParent, LPARAM initParam = 0) {
        detail::SetCreatingObject(static_cast<CDialogImplBaseT<TBase>*>(this));
        HWND hWnd = ::CreateDialogParamW(ThisModule(), MAKEINTRESOURCEW(T::IDD), hWndParent,
                                         T::DialogProc, initParam);
        detail::TakeCreatingObject();
        return hWnd;
    }

    BOOL EndDialog(int result) { return ::EndDialog(this->m_hWnd, result); }
};

// The data-exchange mixin of a dialog that exchanges nothing: the dialog
// reads and writes its controls itself.
template <class T>
class CWinDataExchange {
public:
    BOOL DoDataExchange(BOOL saveAndValidate = FALSE, UINT controlId = static_cast<UINT>(-1)) {
        (void)saveAndValidate;
        (void)controlId;
        return TRUE;
    }
};

}  // namespace fw
