// Window classes and windows.
#include <unistd.h>

#include <algorithm>

#include "internal/handles.h"
#include "w32/crt.h"
#include "w32/kernel.h"
#include "window/core.h"
#include "window/remote.h"
#include "window/session.h"

using w32::window::FindLocal;
using w32::window::Handle;
using w32::window::State;
using w32::window::TheState;
using w32::window::Value;
using w32::window::Window;
using w32::window::WindowClass;

namespace {

bool SameName(const std::u16string& a, LPCWSTR b) {
    return _wcsicmp(a.c_str(), b) == 0;
}

std::shared_ptr<WindowClass> FindClass(State& state, LPCWSTR name) {
    if (name == nullptr) {
        return nullptr;
    }
    for (auto& windowClass : state.classes) {
        if (IS_INTRESOURCE(name)
                ? windowClass->atom == static_cast<ATOM>(reinterpret_cast<uintptr_t>(name))
                : SameName(windowClass->name, name)) {
            return windowClass;
        }
    }
    return nullptr;
}

// Another process's window, as far as the session knows it.
std::optional<w32::session::WindowRecord> Remote(HWND hwnd) {
    if (hwnd == nullptr) {
        return std::nullopt;
    }
    auto record = w32::session::ReadWindow(Value(hwnd));
    if (record && record->pid == getpid()) {
        return std::nullopt;  // ours, and already gone from the local table
    }
    return record;
}

void Republish(const std::shared_ptr<Window>& window) {
    w32::window::PublishRecord(*window);
}

void Destroy(const std::shared_ptr<Window>& window);

void DestroyTree(const std::shared_ptr<Window>& window) {
    HWND hwnd = Handle(window->handle);
    // Owned windows of this thread go first, completely. An owned window of
    // another thread is only unlinked: its thread ends it (a modal loop
    // there goes on until its dialog is ended).
    std::vector<std::shared_ptr<Window>> owned;
    {
        State& state = TheState();
        std::lock_guard<std::mutex> guard(state.lock);
        for (auto& [handle, other] : state.windows) {
            if (other->owner != window->handle || other->destroying) {
                continue;
            }
            if (other->tid == window->tid) {
                owned.push_back(other);
            } else {
                other->owner = 0;
            }
        }
    }
    // A window of another thread is not published from here: its fields are
    // its own thread's, which publishes the cleared owner with its next change.
    for (auto& other : owned) {
        Destroy(other);
    }
    w32::window::CallProcedure(hwnd, WM_DESTROY, 0, 0);
    std::vector<uint32_t> children;
    {
        State& state = TheState();
        std::lock_guard<std::mutex> guard(state.lock);
        children = window->children;
    }
    for (uint32_t child : children) {
        if (auto childWindow = FindLocal(Handle(child)); childWindow && !childWindow->destroying) {
            childWindow->destroying = true;
            DestroyTree(childWindow);
        }
    }
    w32::window::CallProcedure(hwnd, WM_NCDESTROY, 0, 0);
    {
        State& state = TheState();
        std::lock_guard<std::mutex> guard(state.lock);
        state.windows.erase(window->handle);
        if (auto parent = state.windows.find(window->parent); parent != state.windows.end()) {
            auto& siblings = parent->second->children;
            siblings.erase(std::remove(siblings.begin(), siblings.end(), window->handle),
                           siblings.end());
        }
    }
    w32::session::WithdrawWindow(window->handle);
    // Its timers and posted messages go with it.
    auto queue = w32::window::QueueOf(window->tid);
    std::lock_guard<std::mutex> guard(queue->lock);
    auto& timers = queue->timers;
    timers.erase(std::remove_if(timers.begin(), timers.end(),
                                [&](const w32::window::Timer& t) { return t.hwnd == hwnd; }),
                 timers.end());
    auto& posted = queue->posted;
    posted.erase(
        std::remove_if(posted.begin(), posted.end(), [&](const MSG& m) { return m.hwnd == hwnd; }),
        posted.end());
}

void Destroy(const std::shared_ptr<Window>& window) {
    if (window->destroying) {
        return;
    }
    window->destroying = true;
    DestroyTree(window);
}

}  // namespace

namespace w32::window {

LRESULT CallProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<Window> window = FindLocal(hwnd);
    if (!window || window->proc == nullptr) {
        return 0;
    }
    return window->proc(hwnd, message, wParam, lParam);
}

}  // namespace w32::window

W32API ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* lpwcx) {
    if (lpwcx == nullptr || lpwcx->lpszClassName == nullptr || lpwcx->lpfnWndProc == nullptr ||
        IS_INTRESOURCE(lpwcx->lpszClassName)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    State& state = TheState();
    std::lock_guard<std::mutex> guard(state.lock);
    if (FindClass(state, lpwcx->lpszClassName)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    auto windowClass = std::make_shared<WindowClass>();
    windowClass->name = lpwcx->lpszClassName;
    windowClass->info = *lpwcx;
    windowClass->info.lpszClassName = nullptr;  // the name lives in `name`
    windowClass->atom = state.nextAtom++;
    state.classes.push_back(windowClass);
    return windowClass->atom;
}

W32API BOOL WINAPI UnregisterClassW(LPCWSTR lpClassName, HINSTANCE) {
    State& state = TheState();
    std::lock_guard<std::mutex> guard(state.lock);
    auto windowClass = FindClass(state, lpClassName);
    if (!windowClass) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    state.classes.erase(std::remove(state.classes.begin(), state.classes.end(), windowClass),
                        state.classes.end());
    return TRUE;
}

W32API BOOL WINAPI GetClassInfoExW(HINSTANCE, LPCWSTR lpszClass, LPWNDCLASSEXW lpwcx) {
    State& state = TheState();
    std::lock_guard<std::mutex> guard(state.lock);
    auto windowClass = FindClass(state, lpszClass);
    if (!windowClass || lpwcx == nullptr) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    *lpwcx = windowClass->info;
    lpwcx->lpszClassName = windowClass->name.c_str();
    return windowClass->atom;
}

W32API int WINAPI GetClassNameW(HWND hWnd, LPWSTR lpClassName, int nMaxCount) {
    std::u16string name;
    if (auto window = FindLocal(hWnd)) {
        name = window->windowClass->name;
    } else if (auto record = Remote(hWnd)) {
        name = record->className;
    } else {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (lpClassName == nullptr || nMaxCount <= 0) {
        return 0;
    }
    size_t count = std::min(name.size(), static_cast<size_t>(nMaxCount - 1));
    name.copy(lpClassName, count);
    lpClassName[count] = 0;
    return static_cast<int>(count);
}

W32API HWND WINAPI GetDesktopWindow(void) {
    return Handle(w32::window::kDesktopHandle);
}

W32API HWND WINAPI CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName,
                                   DWORD dwStyle, int X, int Y, int nWidth, int nHeight,
                                   HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                                   LPVOID lpParam) {
    w32::window::CloseWindowsOnSignals();
    auto window = std::make_shared<Window>();
    {
        State& state = TheState();
        std::lock_guard<std::mutex> guard(state.lock);
        window->windowClass = FindClass(state, lpClassName);
    }
    if (!window->windowClass) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    window->handle = w32::AllocateHandleValue();
    window->tid = GetCurrentThreadId();
    w32::window::CurrentQueue();  // the thread's windows end with the thread
    window->proc = window->windowClass->info.lpfnWndProc;
    window->style = dwStyle;
    window->exStyle = dwExStyle;
    window->topmost = (dwExStyle & WS_EX_TOPMOST) != 0;
    // A template's ordinal (a bitmap static's image) is no text.
    window->title = lpWindowName != nullptr && !IS_INTRESOURCE(lpWindowName) ? lpWindowName : u"";
    window->instance = hInstance;
    if (hWndParent == HWND_MESSAGE) {
        window->messageOnly = true;
    } else if (hWndParent != nullptr && Value(hWndParent) != w32::window::kDesktopHandle) {
        auto parent = FindLocal(hWndParent);
        if (!parent) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        if (dwStyle & WS_CHILD) {
            window->parent = parent->handle;
        } else {
            window->owner = parent->handle;  // a popup's parent is its owner
        }
    }
    if (dwStyle & WS_CHILD) {
        window->controlId = static_cast<int>(reinterpret_cast<intptr_t>(hMenu));
    }
    int width = nWidth == CW_USEDEFAULT ? 640 : nWidth;
    int height = nHeight == CW_USEDEFAULT ? 480 : nHeight;
    int x = X == CW_USEDEFAULT ? 0 : X;
    int y = Y == CW_USEDEFAULT ? 0 : Y;
    window->rect = {x, y, x + width, y + height};
    {
        State& state = TheState();
        std::lock_guard<std::mutex> guard(state.lock);
        state.windows[window->handle] = window;
        if (window->parent != 0) {
            state.windows[window->parent]->children.push_back(window->handle);
        }
    }
    w32::window::StartServer();
    Republish(window);

    HWND hwnd = Handle(window->handle);
    CREATESTRUCTW create{};
    create.lpCreateParams = lpParam;
    create.hInstance = hInstance;
    create.hMenu = hMenu;
    create.hwndParent = hWndParent;
    create.cx = width;
    create.cy = height;
    create.x = x;
    create.y = y;
    create.style = static_cast<LONG>(dwStyle);
    create.lpszName = lpWindowName;
    create.lpszClass = lpClassName;
    create.dwExStyle = dwExStyle;
    if (!w32::window::CallProcedure(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create)) ||
        w32::window::CallProcedure(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        if (FindLocal(hwnd)) {
            DestroyWindow(hwnd);
        }
        return nullptr;
    }
    return FindLocal(hwnd) ? hwnd : nullptr;
}

W32API BOOL WINAPI DestroyWindow(HWND hWnd) {
    auto window = FindLocal(hWnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (window->tid != GetCurrentThreadId()) {
        SetLastError(ERROR_ACCESS_DENIED);  // only the owning thread destroys a window
        return FALSE;
    }
    Destroy(window);
    return TRUE;
}

W32API BOOL WINAPI IsWindow(HWND hWnd) {
    if (hWnd == nullptr) {
        return FALSE;
    }
    if (Value(hWnd) == w32::window::kDesktopHandle) {
        return TRUE;
    }
    if (auto window = FindLocal(hWnd)) {
        return TRUE;
    }
    return Remote(hWnd).has_value();
}

W32API BOOL WINAPI IsWindowVisible(HWND hWnd) {
    if (auto window = FindLocal(hWnd)) {
        return (window->style & WS_VISIBLE) != 0;
    }
    auto record = Remote(hWnd);
    return record && (record->style & WS_VISIBLE) != 0;
}

W32API BOOL WINAPI IsWindowEnabled(HWND hWnd) {
    if (auto window = FindLocal(hWnd)) {
        return (window->style & WS_DISABLED) == 0;
    }
    auto record = Remote(hWnd);
    return record && (record->style & WS_DISABLED) == 0;
}

W32API HWND WINAPI GetParent(HWND hWnd) {
    if (auto window = FindLocal(hWnd)) {
        return Handle(window->parent != 0 ? window->parent : window->owner.load());
    }
    if (auto record = Remote(hWnd)) {
        return Handle(record->parent != 0 ? record->parent : record->owner);
    }
    return nullptr;
}

W32API HWND WINAPI GetWindow(HWND hWnd, UINT uCmd) {
    auto window = FindLocal(hWnd);
    if (!window) {
        return nullptr;
    }
    if (uCmd == GW_OWNER) {
        return Handle(window->owner);
    }
    if (uCmd == GW_CHILD) {
        State& state = TheState();
        std::lock_guard<std::mutex> guard(state.lock);
        return window->children.empty() ? nullptr : Handle(window->children.front());
    }
    return nullptr;
}

W32API BOOL WINAPI EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam) {
    for (const auto& record : w32::session::AllWindows()) {
        if (record.parent == 0 && !record.messageOnly) {
            if (!lpEnumFunc(Handle(record.handle), lParam)) {
                break;
            }
        }
    }
    return TRUE;
}

W32API BOOL WINAPI EnumChildWindows(HWND hWndParent, WNDENUMPROC lpEnumFunc, LPARAM lParam) {
    for (const auto& record : w32::session::AllWindows()) {
        if (record.parent == Value(hWndParent)) {
            if (!lpEnumFunc(Handle(record.handle), lParam)) {
                break;
            }
        }
    }
    return TRUE;
}

W32API HWND WINAPI FindWindowExW(HWND hWndParent, HWND hWndChildAfter, LPCWSTR lpszClass,
                                 LPCWSTR lpszWindow) {
    const bool messageOnly = hWndParent == HWND_MESSAGE;
    const uint32_t parent = (hWndParent == nullptr || messageOnly) ? 0 : Value(hWndParent);
    bool passed = hWndChildAfter == nullptr;
    for (const auto& record : w32::session::AllWindows()) {
        if (!passed) {
            passed = record.handle == Value(hWndChildAfter);
            continue;
        }
        if (record.parent != parent || record.messageOnly != messageOnly) {
            continue;
        }
        if (parent == 0 && !messageOnly && Value(hWndParent) == w32::window::kDesktopHandle) {
            // the desktop as parent means top level
        }
        if (lpszClass != nullptr && _wcsicmp(record.className.c_str(), lpszClass) != 0) {
            continue;
        }
        if (lpszWindow != nullptr && record.title != lpszWindow) {
            continue;
        }
        // A window being destroyed in this process is not found any more.
        if (record.pid == getpid() && !FindLocal(Handle(record.handle))) {
            continue;
        }
        return Handle(record.handle);
    }
    return nullptr;
}

W32API HWND WINAPI FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName) {
    return FindWindowExW(nullptr, nullptr, lpClassName, lpWindowName);
}

W32API DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
    if (auto window = FindLocal(hWnd)) {
        if (lpdwProcessId != nullptr) {
            *lpdwProcessId = static_cast<DWORD>(getpid());
        }
        return window->tid;
    }
    if (auto record = Remote(hWnd)) {
        if (lpdwProcessId != nullptr) {
            *lpdwProcessId = static_cast<DWORD>(record->pid);
        }
        return record->tid;
    }
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
}

W32API BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
    auto window = FindLocal(hWnd);
    if (!window) {
        return FALSE;
    }
    BOOL wasVisible = (window->style & WS_VISIBLE) != 0;
    {
        State& state = TheState();
        std::lock_guard<std::mutex> guard(state.lock);
        if (nCmdShow == 0) {
            window->style &= ~static_cast<DWORD>(WS_VISIBLE);
        } else {
            window->style |= WS_VISIBLE;
        }
    }
    Republish(window);
    if (nCmdShow != 0 && !wasVisible) {
        InvalidateRect(hWnd, nullptr, TRUE);
    }
    return wasVisible;
}

W32API BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy,
                                UINT uFlags) {
    auto window = FindLocal(hWnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    {
        State& state = TheState();
        std::lock_guard<std::mutex> guard(state.lock);
        if ((uFlags & SWP_NOZORDER) == 0) {
            if (hWndInsertAfter == HWND_TOPMOST) {
                window->topmost = true;
            } else if (hWndInsertAfter == HWND_NOTOPMOST) {
                window->topmost = false;
            }
        }
        if ((uFlags & SWP_NOMOVE) == 0) {
            int width = window->rect.right - window->rect.left;
            int height = window->rect.bottom - window->rect.top;
            window->rect = {X, Y, X + width, Y + height};
        }
        if ((uFlags & SWP_NOSIZE) == 0) {
            window->rect.right = window->rect.left + cx;
            window->rect.bottom = window->rect.top + cy;
        }
        if (uFlags & SWP_SHOWWINDOW) {
            window->style |= WS_VISIBLE;
        }
        if (uFlags & SWP_HIDEWINDOW) {
            window->style &= ~static_cast<DWORD>(WS_VISIBLE);
        }
    }
    Republish(window);
    return TRUE;
}

W32API BOOL WINAPI SetLayeredWindowAttributes(HWND hwnd, COLORREF, BYTE bAlpha, DWORD dwFlags) {
    auto window = FindLocal(hwnd);
    if (!window || (window->exStyle & WS_EX_LAYERED) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (dwFlags & LWA_ALPHA) {
        window->alpha = bAlpha;
    }
    return TRUE;
}

W32API LONG_PTR WINAPI GetWindowLongPtrW(HWND hWnd, int nIndex) {
    auto window = FindLocal(hWnd);
    if (!window) {
        if (auto record = Remote(hWnd)) {
            if (nIndex == GWL_STYLE)
                return static_cast<LONG_PTR>(record->style);
            if (nIndex == GWL_EXSTYLE)
                return static_cast<LONG_PTR>(record->exStyle);
            if (nIndex == GWLP_ID)
                return record->controlId;
        }
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    State& state = TheState();
    std::lock_guard<std::mutex> guard(state.lock);
    switch (nIndex) {
        case GWLP_WNDPROC:
            return reinterpret_cast<LONG_PTR>(window->proc);
        case GWLP_HINSTANCE:
            return reinterpret_cast<LONG_PTR>(window->instance);
        case GWLP_HWNDPARENT:
            return static_cast<LONG_PTR>(window->parent != 0 ? window->parent
                                                             : window->owner.load());
        case GWLP_ID:
            return window->controlId;
        case GWL_STYLE:
            return static_cast<LONG_PTR>(window->style);
        case GWL_EXSTYLE:
            return static_cast<LONG_PTR>(window->exStyle | (window->topmost ? WS_EX_TOPMOST : 0));
        case GWLP_USERDATA:
            return window->userData;
        case DWLP_MSGRESULT:
        case DWLP_DLGPROC:
        case DWLP_USER:
            return window->dialogLongs[nIndex / 8];
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
    }
}

W32API LONG_PTR WINAPI SetWindowLongPtrW(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
    auto window = FindLocal(hWnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    LONG_PTR previous = 0;
    bool republish = false;
    {
        State& state = TheState();
        std::lock_guard<std::mutex> guard(state.lock);
        switch (nIndex) {
            case GWLP_WNDPROC:
                previous = reinterpret_cast<LONG_PTR>(window->proc);
                window->proc = reinterpret_cast<WNDPROC>(dwNewLong);
                break;
            case GWLP_ID:
                previous = window->controlId;
                window->controlId = static_cast<int>(dwNewLong);
                republish = true;
                break;
            case GWL_STYLE:
                previous = static_cast<LONG_PTR>(window->style);
                window->style = static_cast<DWORD>(dwNewLong);
                republish = true;
                break;
            case GWL_EXSTYLE:
                previous = static_cast<LONG_PTR>(window->exStyle);
                window->exStyle = static_cast<DWORD>(dwNewLong);
                window->topmost = (window->exStyle & WS_EX_TOPMOST) != 0 || window->topmost;
                republish = true;
                break;
            case GWLP_USERDATA:
                previous = window->userData;
                window->userData = dwNewLong;
                break;
            case DWLP_MSGRESULT:
            case DWLP_DLGPROC:
            case DWLP_USER:
                previous = window->dialogLongs[nIndex / 8];
                window->dialogLongs[nIndex / 8] = dwNewLong;
                break;
            default:
                SetLastError(ERROR_INVALID_PARAMETER);
                return 0;
        }
    }
    if (republish) {
        Republish(window);
    }
    SetLastError(NO_ERROR);
    return previous;
}

W32API BOOL WINAPI SetWindowTextW(HWND hWnd, LPCWSTR lpString) {
    // Another process's window gets the text's characters, not its pointer.
    return SendMessageW(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) != 0;
}

W32API int WINAPI GetWindowTextW(HWND hWnd, LPWSTR lpString, int nMaxCount) {
    std::u16string title;
    if (auto window = FindLocal(hWnd)) {
        State& state = TheState();
        std::lock_guard<std::mutex> guard(state.lock);
        title = window->title;
    } else if (auto record = Remote(hWnd)) {
        title = record->title;  // texts are kept in the session for other processes
    } else {
        return 0;
    }
    if (lpString == nullptr || nMaxCount <= 0) {
        return 0;
    }
    size_t count = std::min(title.size(), static_cast<size_t>(nMaxCount - 1));
    title.copy(lpString, count);
    lpString[count] = 0;
    return static_cast<int>(count);
}

W32API int WINAPI GetWindowTextLengthW(HWND hWnd) {
    if (auto window = FindLocal(hWnd)) {
        State& state = TheState();
        std::lock_guard<std::mutex> guard(state.lock);
        return static_cast<int>(window->title.size());
    }
    auto record = Remote(hWnd);
    return record ? static_cast<int>(record->title.size()) : 0;
}

W32API BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable) {
    auto window = FindLocal(hWnd);
    if (!window) {
        return FALSE;
    }
    BOOL wasDisabled;
    {
        State& state = TheState();
        std::lock_guard<std::mutex> guard(state.lock);
        wasDisabled = (window->style & WS_DISABLED) != 0;
        if (bEnable) {
            window->style &= ~static_cast<DWORD>(WS_DISABLED);
        } else {
            window->style |= WS_DISABLED;
        }
    }
    Republish(window);
    if (wasDisabled != !bEnable) {
        SendMessageW(hWnd, WM_ENABLE, bEnable ? TRUE : FALSE, 0);
    }
    return wasDisabled;
}

namespace {
thread_local HWND activeWindow = nullptr;
thread_local HWND focusWindow = nullptr;
HWND foregroundWindow = nullptr;
}  // namespace

W32API HWND WINAPI SetActiveWindow(HWND hWnd) {
    HWND previous = activeWindow;
    if (FindLocal(hWnd)) {
        activeWindow = hWnd;
    }
    return previous;
}

W32API HWND WINAPI GetActiveWindow(void) {
    return IsWindow(activeWindow) ? activeWindow : nullptr;
}

W32API BOOL WINAPI SetForegroundWindow(HWND hWnd) {
    if (!IsWindow(hWnd)) {
        return FALSE;
    }
    __atomic_store_n(&foregroundWindow, hWnd, __ATOMIC_SEQ_CST);
    if (FindLocal(hWnd)) {
        activeWindow = hWnd;
    }
    return TRUE;
}

W32API HWND WINAPI GetForegroundWindow(void) {
    return __atomic_load_n(&foregroundWindow, __ATOMIC_SEQ_CST);
}

W32API HWND WINAPI SetFocus(HWND hWnd) {
    HWND previous = focusWindow;
    if (hWnd == nullptr || FindLocal(hWnd)) {
        focusWindow = hWnd;
    }
    return previous;
}

W32API HWND WINAPI GetFocus(void) {
    return IsWindow(focusWindow) ? focusWindow : nullptr;
}

W32API int WINAPI GetDlgCtrlID(HWND hWnd) {
    return static_cast<int>(GetWindowLongPtrW(hWnd, GWLP_ID));
}

W32API HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) {
    auto dialog = FindLocal(hDlg);
    if (dialog) {
        std::vector<uint32_t> children;
        {
            State& state = TheState();
            std::lock_guard<std::mutex> guard(state.lock);
            children = dialog->children;
        }
        for (uint32_t child : children) {
            auto window = FindLocal(Handle(child));
            if (window && window->controlId == nIDDlgItem) {
                return Handle(child);
            }
        }
        return nullptr;
    }
    for (const auto& record : w32::session::AllWindows()) {
        if (record.parent == Value(hDlg) && record.controlId == nIDDlgItem) {
            return Handle(record.handle);
        }
    }
    return nullptr;
}

W32API BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
    auto window = FindLocal(hWnd);
    if (!window || lpRect == nullptr) {
        return FALSE;
    }
    *lpRect = {0, 0, window->rect.right - window->rect.left,
               window->rect.bottom - window->rect.top};
    return TRUE;
}

W32API BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) {
    if (lpRect == nullptr) {
        return FALSE;
    }
    if (auto window = FindLocal(hWnd)) {
        *lpRect = w32::window::ScreenRect(*window);
        return TRUE;
    }
    if (auto record = Remote(hWnd)) {
        *lpRect = {record->left, record->top, record->right, record->bottom};
        return TRUE;
    }
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
}

// Every message may reach every window of the session here: nothing is filtered.
W32API BOOL WINAPI ChangeWindowMessageFilter(UINT, DWORD dwFlag) {
    return dwFlag == MSGFLT_ADD || dwFlag == MSGFLT_REMOVE;
}
