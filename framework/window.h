// CWindow: a thin wrapper of a window handle, and the window traits that give
// a window class its default styles.
#pragma once

#include <windows.h>

#include <string>

namespace fw {

class CWindow {
public:
    static RECT rcDefault;

    explicit CWindow(HWND hWnd = nullptr) : m_hWnd(hWnd) {}
    CWindow& operator=(HWND hWnd) {
        m_hWnd = hWnd;
        return *this;
    }
    operator HWND() const { return m_hWnd; }

    void Attach(HWND hWnd) { m_hWnd = hWnd; }
    HWND Detach() {
        HWND hWnd = m_hWnd;
        m_hWnd = nullptr;
        return hWnd;
    }

    BOOL IsWindow() const { return ::IsWindow(m_hWnd); }
    BOOL DestroyWindow() {
        if (!::DestroyWindow(m_hWnd)) {
            return FALSE;
        }
        m_hWnd = nullptr;
        return TRUE;
    }
    BOOL ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }
    BOOL SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
        return ::SetWindowPos(m_hWnd, insertAfter, x, y, cx, cy, flags);
    }
    BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
    HWND SetActiveWindow() { return ::SetActiveWindow(m_hWnd); }
    BOOL SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
    HWND SetFocus() { return ::SetFocus(m_hWnd); }
    HWND GetParent() const { return ::GetParent(m_hWnd); }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    BOOL GetClientRect(LPRECT rect) const { return ::GetClientRect(m_hWnd, rect); }
    BOOL GetWindowRect(LPRECT rect) const { return ::GetWindowRect(m_hWnd, rect); }
    BOOL Invalidate(BOOL erase = TRUE) { return ::InvalidateRect(m_hWnd, nullptr, erase); }

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return ::PostMessageW(m_hWnd, message, wParam, lParam);
    }
    LRESULT SendDlgItemMessage(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return ::SendDlgItemMessageW(m_hWnd, id, message, wParam, lParam);
    }

    BOOL SetWindowText(LPCWSTR text) { return ::SetWindowTextW(m_hWnd, text); }
    BOOL SetDlgItemText(int id, LPCWSTR text) { return ::SetDlgItemTextW(m_hWnd, id, text); }
    std::u16string GetWindowText() const {
        int length = ::GetWindowTextLengthW(m_hWnd);
        std::u16string text(static_cast<size_t>(length > 0 ? length : 0) + 1, u'\0');
        int copied = ::GetWindowTextW(m_hWnd, text.data(), static_cast<int>(text.size()));
        text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
        return text;
    }

    UINT_PTR SetTimer(UINT_PTR id, UINT elapse) { return ::SetTimer(m_hWnd, id, elapse, nullptr); }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }

    LONG_PTR GetWindowLongPtr(int index) const { return ::GetWindowLongPtrW(m_hWnd, index); }
    LONG_PTR SetWindowLongPtr(int index, LONG_PTR value) {
        return ::SetWindowLongPtrW(m_hWnd, index, value);
    }
    DWORD GetStyle() const { return static_cast<DWORD>(GetWindowLongPtr(GWL_STYLE)); }
    DWORD GetExStyle() const { return static_cast<DWORD>(GetWindowLongPtr(GWL_EXSTYLE)); }
    BOOL ModifyStyleEx(DWORD remove, DWORD add) {
        DWORD style = GetExStyle();
        DWORD changed = (style & ~remove) | add;
        if (changed == style) {
            return FALSE;
        }
        SetWindowLongPtr(GWL_EXSTYLE, static_cast<LONG_PTR>(changed));
        return TRUE;
    }

    HWND m_hWnd;
};

// Default styles of a window class: used when Create is given no style.
template <DWORD style = 0, DWORD exStyle = 0>
class CWinTraits {
public:
    static DWORD GetWndStyle(DWORD requested) { return requested == 0 ? style : requested; }
    static DWORD GetWndExStyle(DWORD requested) { return requested == 0 ? exStyle : requested; }
};

using CNullTraits = CWinTraits<0, 0>;
using CControlWinTraits = CWinTraits<WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0>;
using CFrameWinTraits = CWinTraits<WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                                   WS_EX_APPWINDOW | WS_EX_WINDOWEDGE>;

}  // namespace fw
