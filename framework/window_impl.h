// Window classes on the framework: a C++ object per window, whose message
// map handles the window's messages.
#pragma once

#include <windows.h>

#include <string>

#include "framework/message_map.h"
#include "framework/module.h"
#include "framework/window.h"
#include "framework/window_binding.h"

namespace fw {

// A window class: registered once per process on first use.
struct CWndClassInfo {
    WNDCLASSEXW wc;
    LPCWSTR cursorId;     // a system cursor, or null
    UINT iconResourceId;  // large and small icons from the module's resources, or 0
    ATOM atom = 0;
    std::u16string name;

    ATOM Register(WNDPROC startProc) {
        if (atom != 0) {
            return atom;
        }
        WNDCLASSEXW info = wc;
        info.cbSize = sizeof(info);
        info.lpfnWndProc = startProc;
        info.hInstance = ThisModule();
        name = info.lpszClassName != nullptr ? std::u16string(info.lpszClassName)
                                             : detail::GeneratedClassName(this);
        info.lpszClassName = name.c_str();
        if (cursorId != nullptr) {
            info.hCursor = ::LoadCursorW(nullptr, cursorId);
        }
        if (iconResourceId != 0) {
            info.hIcon = static_cast<HICON>(::LoadImageW(
                info.hInstance, MAKEINTRESOURCEW(iconResourceId), IMAGE_ICON,
                ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
            info.hIconSm = static_cast<HICON>(::LoadImageW(
                info.hInstance, MAKEINTRESOURCEW(iconResourceId), IMAGE_ICON,
                ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
        }
        atom = ::RegisterClassExW(&info);
        if (atom == 0 && ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS) {
            WNDCLASSEXW existing = {};
            existing.cbSize = sizeof(existing);
            atom = static_cast<ATOM>(::GetClassInfoExW(info.hInstance, name.c_str(), &existing));
        }
        return atom;
    }
};

// Declares the window class of a window implementation; a null name gets a
// generated one.
#define DECLARE_WND_CLASS(WndClassName)                                                           \
    static ::fw::CWndClassInfo& GetWndClassInfo() {                                               \
        static ::fw::CWndClassInfo info = {                                                       \
            {sizeof(WNDCLASSEXW), CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS, nullptr, 0, 0, nullptr,   \
             nullptr, nullptr, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1), nullptr, WndClassName, \
             nullptr},                                                                            \
            IDC_ARROW,                                                                            \
            0,                                                                                    \
            0,                                                                                    \
            {}};                                                                                  \
        return info;                                                                              \
    }

// The frame window's class: class style 0, arrow cursor, window colour,
// large and small icons from one icon resource.
#define DECLARE_FRAME_WND_CLASS(WndClassName, uCommonResourceID)                          \
    static ::fw::CWndClassInfo& GetWndClassInfo() {                                       \
        static ::fw::CWndClassInfo info = {                                               \
            {sizeof(WNDCLASSEXW), 0, nullptr, 0, 0, nullptr, nullptr, nullptr,            \
             reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1), nullptr, WndClassName, nullptr}, \
            IDC_ARROW,                                                                    \
            uCommonResourceID,                                                            \
            0,                                                                            \
            {}};                                                                          \
        return info;                                                                      \
    }

template <class TBase = CWindow, class TWinTraits = CControlWinTraits>
class CWindowImplBaseT : public TBase, public CMessageMap {
public:
    using WinTraits = TWinTraits;

    CWindowImplBaseT() = default;
    CWindowImplBaseT(const CWindowImplBaseT&) = delete;
    CWindowImplBaseT& operator=(const CWindowImplBaseT&) = delete;
    virtual ~CWindowImplBaseT() {
        if (this->m_hWnd != nullptr) {
            detail::UnbindWindow(this->m_hWnd);
        }
    }

    virtual WNDPROC GetWindowProc() { return WindowProc; }
    // Called after the window's last message; the window handle is gone.
    virtual void OnFinalMessage(HWND) {}

    // The message being handled, while a handler runs.
    const MSG* GetCurrentMessage() const { return m_pCurrentMsg; }

    LRESULT DefWindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) {
        return ::CallWindowProcW(m_pfnSuperWindowProc, this->m_hWnd, uMsg, wParam, lParam);
    }
    LRESULT DefWindowProc() {
        const MSG* msg = m_pCurrentMsg;
        return msg == nullptr ? 0 : DefWindowProc(msg->message, msg->wParam, msg->lParam);
    }

    // Takes over an existing window (a dialog's control, say): its messages
    // reach this object's message map first, then its own procedure.
    BOOL SubclassWindow(HWND hWnd) {
        if (this->m_hWnd != nullptr || !::IsWindow(hWnd)) {
            return FALSE;
        }
        detail::BindWindow(hWnd, static_cast<CWindowImplBaseT*>(this));
        LONG_PTR previous =
            ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GetWindowProc()));
        if (previous == 0) {
            detail::UnbindWindow(hWnd);
            return FALSE;
        }
        m_pfnSuperWindowProc = reinterpret_cast<WNDPROC>(previous);
        this->m_hWnd = hWnd;
        return TRUE;
    }

    HWND UnsubclassWindow() {
        HWND hWnd = this->m_hWnd;
        if (hWnd == nullptr) {
            return nullptr;
        }
        ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuperWindowProc));
        m_pfnSuperWindowProc = ::DefWindowProcW;
        detail::UnbindWindow(hWnd);
        this->m_hWnd = nullptr;
        return hWnd;
    }

    static LRESULT CALLBACK StartWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
        auto* self = static_cast<CWindowImplBaseT*>(detail::TakeCreatingObject());
        if (self == nullptr) {
            return ::DefWindowProcW(hWnd, uMsg, wParam, lParam);
        }
        self->m_hWnd = hWnd;
        detail::BindWindow(hWnd, self);
        WNDPROC proc = self->GetWindowProc();
        ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc));
        return proc(hWnd, uMsg, wParam, lParam);
    }

    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
        auto* self = static_cast<CWindowImplBaseT*>(detail::FindWindowObject(hWnd));
        if (self == nullptr) {
            return ::DefWindowProcW(hWnd, uMsg, wParam, lParam);
        }
        MSG msg = {hWnd, uMsg, wParam, lParam, 0, {0, 0}};
        const MSG* outer = self->m_pCurrentMsg;
        self->m_pCurrentMsg = &msg;
        LRESULT result = 0;
        BOOL handled = self->ProcessWindowMessage(hWnd, uMsg, wParam, lParam, result, 0);
        self->m_pCurrentMsg = outer;
        if (!handled) {
            result = self->DefWindowProc(uMsg, wParam, lParam);
        }
        if (uMsg == WM_NCDESTROY) {
            self->m_destroyed = true;
        }
        // The object lets go of its window once the outermost message is over.
        if (self->m_destroyed && outer == nullptr) {
            self->m_destroyed = false;
            detail::UnbindWindow(hWnd);
            self->m_pfnSuperWindowProc = ::DefWindowProcW;
            self->m_hWnd = nullptr;
            self->OnFinalMessage(hWnd);
        }
        return result;
    }

protected:
    HWND CreateWithClass(const std::u16string& className, HWND hWndParent, const RECT& rect,
                         LPCWSTR windowName, DWORD style, DWORD exStyle, HMENU menu,
                         LPVOID createParam) {
        detail::SetCreatingObject(static_cast<CWindowImplBaseT*>(this));
        // The default rectangle asks for the default position and size.
        const bool byDefault = rect.left == CW_USEDEFAULT;
        int x = byDefault ? CW_USEDEFAULT : rect.left;
        int y = byDefault ? CW_USEDEFAULT : rect.top;
        int width = byDefault ? CW_USEDEFAULT : rect.right - rect.left;
        int height = byDefault ? CW_USEDEFAULT : rect.bottom - rect.top;
        HWND hWnd = ::CreateWindowExW(exStyle, className.c_str(), windowName, style, x, y, width,
                                      height, hWndParent, menu, ThisModule(), createParam);
        detail::TakeCreatingObject();  // nothing left behind when creation failed early
        return hWnd;
    }

    const MSG* m_pCurrentMsg = nullptr;
    WNDPROC m_pfnSuperWindowProc = ::DefWindowProcW;

private:
    bool m_destroyed = false;
};

// A window implementation T with its own window class (DECLARE_WND_CLASS in T,
// or a generated class name).
template <class T, class TBase = CWindow, class TWinTraits = CControlWinTraits>
class CWindowImpl : public CWindowImplBaseT<TBase, TWinTraits> {
public:
    DECLARE_WND_CLASS(nullptr)

    HWND Create(HWND hWndParent, RECT rect = CWindow::rcDefault, LPCWSTR windowName = nullptr,
                DWORD style = 0, DWORD exStyle = 0, HMENU menu = nullptr,
                LPVOID createParam = nullptr) {
        CWndClassInfo& info = T::GetWndClassInfo();
        if (info.Register(this->StartWindowProc) == 0) {
            return nullptr;
        }
        return this->CreateWithClass(info.name, hWndParent, rect, windowName,
                                     TWinTraits::GetWndStyle(style),
                                     TWinTraits::GetWndExStyle(exStyle), menu, createParam);
    }
};

// A top-level frame window T (DECLARE_FRAME_WND_CLASS in T).
template <class T, class TBase = CWindow, class TWinTraits = CFrameWinTraits>
class CFrameWindowImpl : public CWindowImplBaseT<TBase, TWinTraits> {
public:
    DECLARE_FRAME_WND_CLASS(nullptr, 0)

    HWND Create(HWND hWndParent = nullptr, RECT rect = CWindow::rcDefault,
                LPCWSTR windowName = nullptr, DWORD style = 0, DWORD exStyle = 0,
                HMENU menu = nullptr, LPVOID createParam = nullptr) {
        CWndClassInfo& info = T::GetWndClassInfo();
        if (info.Register(this->StartWindowProc) == 0) {
            return nullptr;
        }
        return this->CreateWithClass(info.name, hWndParent, rect, windowName,
                                     TWinTraits::GetWndStyle(style),
                                     TWinTraits::GetWndExStyle(exStyle), menu, createParam);
    }
};

}  // namespace fw
