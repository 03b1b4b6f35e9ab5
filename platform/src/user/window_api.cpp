// Window classes and windows: creation, destruction, queries and changes.
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "internal/handles.h"
#include "session/session.h"
#include "user/port.h"
#include "user/window.h"
#include "w32/desktop.h"

using namespace w32::user;

namespace w32::user {

void Republish(HWND hwnd) {
    auto w = FindLocal(hwnd);
    if (!w)
        return;
    Window copy;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
        copy.handle = w->handle;
        copy.tid = w->tid;
        copy.cls = w->cls;
        copy.style = w->style;
        copy.exStyle = w->exStyle;
        copy.parent = w->parent;
        copy.owner = w->owner;
        copy.messageOnly = w->messageOnly;
        copy.topmost = w->topmost;
        copy.id = w->id;
        copy.text = w->text;
        if (w->destroying)
            return;
    }
    PublishWindow(copy);
}

void DestroyThreadWindows(DWORD tid) {
    for (auto& w : LocalWindows()) {
        if (w->tid != tid)
            continue;
        UnpublishWindow(w->handle);
        RemoveLocal(w->handle);
    }
}

}  // namespace w32::user

namespace {

constexpr int kScreenWidth = 1920;
constexpr int kScreenHeight = 1080;

HWND gDesktop() {
    static HWND desktop = ToHwnd(w32::AllocateHandleValue());
    return desktop;
}

std::u16string ClassNameOf(LPCWSTR name) {
    if (IS_INTRESOURCE(name)) {
        switch (reinterpret_cast<uintptr_t>(name)) {
            case 0x80:
                return u"Button";
            case 0x81:
                return u"Edit";
            case 0x82:
                return u"Static";
            case 0x8000:
                return u"#32768";
            case 0x8002:
                return u"#32770";
            default:
                return u"";
        }
    }
    return name;
}

bool IsLocalOnThisThread(const std::shared_ptr<Window>& w) {
    return w && w->tid == CurrentTid();
}

}  // namespace

W32API ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* wc) {
    if (!wc || !wc->lpszClassName || wc->cbSize != sizeof(WNDCLASSEXW) || !wc->lpfnWndProc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto cls = std::make_shared<WindowClass>();
    cls->name = ClassNameOf(wc->lpszClassName);
    if (cls->name.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    cls->wc = *wc;
    cls->wc.lpszClassName = nullptr;
    cls->wc.lpszMenuName = nullptr;
    RegisterSystemClasses();
    if (!AddClass(cls)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    UINT atom = w32::session::RegisterAtom(u"#class#" + cls->name);
    return static_cast<ATOM>(atom ? atom : 0xC000);
}

W32API ATOM WINAPI RegisterClassW(const WNDCLASSW* wc) {
    if (!wc)
        return 0;
    WNDCLASSEXW ex{};
    ex.cbSize = sizeof ex;
    ex.style = wc->style;
    ex.lpfnWndProc = wc->lpfnWndProc;
    ex.cbClsExtra = wc->cbClsExtra;
    ex.cbWndExtra = wc->cbWndExtra;
    ex.hInstance = wc->hInstance;
    ex.hIcon = wc->hIcon;
    ex.hCursor = wc->hCursor;
    ex.hbrBackground = wc->hbrBackground;
    ex.lpszMenuName = wc->lpszMenuName;
    ex.lpszClassName = wc->lpszClassName;
    return RegisterClassExW(&ex);
}

W32API BOOL WINAPI UnregisterClassW(LPCWSTR name, HINSTANCE) {
    std::u16string n = ClassNameOf(name);
    for (auto& w : LocalWindows()) {
        if (w->cls && w32::session::EqualNoCase(w->cls->name.c_str(), n.c_str())) {
            SetLastError(5 /* ERROR_ACCESS_DENIED: windows of the class exist */);
            return FALSE;
        }
    }
    if (!RemoveClass(n.c_str())) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    return TRUE;
}

W32API BOOL WINAPI GetClassInfoExW(HINSTANCE, LPCWSTR name, LPWNDCLASSEXW out) {
    auto cls = FindClass(ClassNameOf(name).c_str());
    if (!cls || !out) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    *out = cls->wc;
    out->lpszClassName = name;
    return TRUE;
}

W32API int WINAPI GetClassNameW(HWND hwnd, LPWSTR buf, int max) {
    std::u16string name;
    if (auto w = FindLocal(hwnd)) {
        name = w->cls->name;
    } else {
        RemoteWindow r;
        if (!LookupRemote(hwnd, &r)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        name = r.className;
    }
    if (!buf || max <= 0)
        return 0;
    int n = std::min<int>(static_cast<int>(name.size()), max - 1);
    std::memcpy(buf, name.data(), n * sizeof(char16_t));
    buf[n] = 0;
    return n;
}

W32API ULONG_PTR WINAPI GetClassLongPtrW(HWND hwnd, int index) {
    auto w = FindLocal(hwnd);
    if (!w)
        return 0;
    std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
    const WNDCLASSEXW& wc = w->cls->wc;
    switch (index) {
        case GCLP_HICON:
            return reinterpret_cast<ULONG_PTR>(wc.hIcon);
        case GCLP_HICONSM:
            return reinterpret_cast<ULONG_PTR>(wc.hIconSm);
        case GCLP_HCURSOR:
            return reinterpret_cast<ULONG_PTR>(wc.hCursor);
        case GCLP_HBRBACKGROUND:
            return reinterpret_cast<ULONG_PTR>(wc.hbrBackground);
        case GCLP_WNDPROC:
            return reinterpret_cast<ULONG_PTR>(wc.lpfnWndProc);
        case GCL_STYLE:
            return wc.style;
        default:
            return 0;
    }
}

W32API ULONG_PTR WINAPI SetClassLongPtrW(HWND hwnd, int index, LONG_PTR value) {
    auto w = FindLocal(hwnd);
    if (!w)
        return 0;
    ULONG_PTR old = GetClassLongPtrW(hwnd, index);
    std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
    WNDCLASSEXW& wc = w->cls->wc;
    switch (index) {
        case GCLP_HICON:
            wc.hIcon = reinterpret_cast<HICON>(value);
            break;
        case GCLP_HICONSM:
            wc.hIconSm = reinterpret_cast<HICON>(value);
            break;
        case GCLP_HCURSOR:
            wc.hCursor = reinterpret_cast<HCURSOR>(value);
            break;
        case GCLP_HBRBACKGROUND:
            wc.hbrBackground = reinterpret_cast<HBRUSH>(value);
            break;
        case GCL_STYLE:
            wc.style = static_cast<UINT>(value);
            break;
        default:
            return 0;
    }
    return old;
}

W32API HWND WINAPI GetDesktopWindow(void) {
    return gDesktop();
}

W32API HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName,
                                   DWORD style, int x, int y, int cx, int cy, HWND parent,
                                   HMENU menu, HINSTANCE instance, LPVOID param) {
    std::u16string clsName = ClassNameOf(className);
    auto cls = FindClass(clsName.c_str());
    if (!cls) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    auto w = std::make_shared<Window>();
    w->tid = CurrentTid();
    w->cls = cls;
    w->proc = cls->wc.lpfnWndProc;
    w->instance = instance;
    w->style = style;
    w->exStyle = exStyle;
    w->topmost = (exStyle & WS_EX_TOPMOST) != 0;
    w->text = ToString(windowName);
    if (cls->wc.cbWndExtra > 0)
        w->extra.assign(static_cast<size_t>(cls->wc.cbWndExtra), 0);
    if (parent == HWND_MESSAGE) {
        w->messageOnly = true;
    } else if (parent && parent != gDesktop()) {
        if (!IsWindow(parent)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        if (style & WS_CHILD) {
            w->parent = parent;
        } else {
            // A popup or overlapped window is owned by the top-level window of its parent.
            HWND root = parent;
            while (auto p = FindLocal(root)) {
                if (!p->parent)
                    break;
                root = p->parent;
            }
            w->owner = root;
        }
    } else if (style & WS_CHILD) {
        SetLastError(1406 /* ERROR_TLW_WITH_WSCHILD */);
        return nullptr;
    }
    if (style & WS_CHILD)
        w->id = static_cast<int>(reinterpret_cast<intptr_t>(menu));
    if (x == CW_USEDEFAULT)
        x = y = 0;
    if (cx == CW_USEDEFAULT) {
        cx = 640;
        cy = 480;
    }
    w->rect = RECT{x, y, x + cx, y + cy};
    w->handle = ToHwnd(w32::AllocateHandleValue());
    HWND h = w->handle;

    auto port = Port::Current();
    port->EnsureListening();
    AddLocal(w);
    if (w->parent) {
        if (auto p = FindLocal(w->parent)) {
            std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
            p->children.push_back(h);
        }
    }
    PublishWindow(*w);

    CREATESTRUCTW cs{};
    cs.lpCreateParams = param;
    cs.hInstance = instance;
    cs.hMenu = menu;
    cs.hwndParent = parent;
    cs.cx = cx;
    cs.cy = cy;
    cs.x = x;
    cs.y = y;
    cs.style = static_cast<LONG>(style);
    cs.lpszName = windowName;
    cs.lpszClass = className;
    cs.dwExStyle = exStyle;
    bool ok = CallWindow(h, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) != 0;
    if (ok && FindLocal(h))
        ok = CallWindow(h, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) != -1;
    if (!ok || !FindLocal(h)) {
        if (FindLocal(h))
            DestroyWindow(h);
        SetLastError(1400);
        return nullptr;
    }
    if (style & WS_VISIBLE) {
        // Made visible by its style: the window is shown as ShowWindow would.
        CallWindow(h, WM_SHOWWINDOW, TRUE, 0);
    }
    return h;
}

W32API BOOL WINAPI DestroyWindow(HWND hwnd) {
    auto w = FindLocal(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (w->tid != CurrentTid()) {
        SetLastError(5);  // ERROR_ACCESS_DENIED: only the window's thread destroys it
        return FALSE;
    }
    {
        std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
        if (w->destroying)
            return TRUE;
        w->destroying = true;
    }
    // Owned windows go first.
    for (auto& o : LocalWindows()) {
        if (o->owner == hwnd && o->tid == w->tid)
            DestroyWindow(o->handle);
    }
    if (w->style & WS_VISIBLE) {
        std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
        w->style &= ~WS_VISIBLE;
    }
    UnpublishWindow(hwnd);  // invisible to other processes from now on
    CallWindow(hwnd, WM_DESTROY, 0, 0);
    std::vector<HWND> children;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
        children = w->children;
    }
    for (HWND c : children) {
        if (auto cw = FindLocal(c)) {
            {
                std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
                cw->destroying = false;
            }
            DestroyWindow(c);
        }
    }
    // Timers of the window stop with it.
    if (auto port = Port::CurrentIfAny()) {
        std::lock_guard<std::mutex> guard(port->mutex);
        auto& t = port->timers;
        t.erase(std::remove_if(t.begin(), t.end(), [&](const Timer& x) { return x.hwnd == hwnd; }),
                t.end());
    }
    CallWindow(hwnd, WM_NCDESTROY, 0, 0);
    if (w->parent) {
        if (auto p = FindLocal(w->parent)) {
            std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
            auto& c = p->children;
            c.erase(std::remove(c.begin(), c.end(), hwnd), c.end());
        }
    }
    RemoveLocal(hwnd);
    return TRUE;
}

W32API BOOL WINAPI IsWindow(HWND hwnd) {
    if (!hwnd)
        return FALSE;
    if (hwnd == gDesktop())
        return TRUE;
    if (FindLocal(hwnd))
        return TRUE;
    return LookupRemote(hwnd, nullptr) ? TRUE : FALSE;
}

W32API BOOL WINAPI IsWindowVisible(HWND hwnd) {
    // Visible when it and all its parents have WS_VISIBLE.
    for (int depth = 0; hwnd && depth < 64; ++depth) {
        DWORD style = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
        if (!IsWindow(hwnd) || !(style & WS_VISIBLE))
            return FALSE;
        if (!(style & WS_CHILD))
            return TRUE;
        hwnd = GetParent(hwnd);
    }
    return FALSE;
}

W32API BOOL WINAPI IsWindowEnabled(HWND hwnd) {
    if (!IsWindow(hwnd))
        return FALSE;
    return (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_DISABLED) ? FALSE : TRUE;
}

W32API BOOL WINAPI IsChild(HWND parent, HWND hwnd) {
    for (int depth = 0; depth < 64; ++depth) {
        HWND p = nullptr;
        if (auto w = FindLocal(hwnd)) {
            p = w->parent;
        } else {
            RemoteWindow r;
            if (!LookupRemote(hwnd, &r))
                return FALSE;
            p = r.parent;
        }
        if (!p)
            return FALSE;
        if (p == parent)
            return TRUE;
        hwnd = p;
    }
    return FALSE;
}

namespace {

// Every live window of the session in table order.
std::vector<W32_WINDOW_INFO> Snapshot() {
    std::vector<W32_WINDOW_INFO> out;
    std::vector<uint64_t> instances;
    {
        w32::session::TableLock lock;
        if (!lock.ok())
            return out;
        w32::session::SharedWindow* t = w32::session::Windows();
        for (uint32_t i = 0; i < w32::session::kMaxWindows; ++i) {
            const auto& e = t[i];
            if (e.handle == 0 && !(e.flags & w32::session::kUsed))
                break;
            if (!(e.flags & w32::session::kUsed))
                continue;
            W32_WINDOW_INFO info{};
            info.hwnd = ToHwnd(e.handle);
            info.parent = ToHwnd(e.parent);
            info.owner = ToHwnd(e.owner);
            info.processId = e.pid;
            info.threadId = e.tid;
            info.style = e.style;
            info.exStyle = e.exStyle;
            info.controlId = e.controlId;
            info.visible = (e.flags & w32::session::kVisible) ? TRUE : FALSE;
            info.enabled = (e.flags & w32::session::kEnabled) ? TRUE : FALSE;
            info.topmost = (e.flags & w32::session::kTopmost) ? TRUE : FALSE;
            info.messageOnly = (e.flags & w32::session::kMessageOnly) ? TRUE : FALSE;
            std::memcpy(info.className, e.className, sizeof info.className);
            std::memcpy(info.text, e.text, sizeof info.text);
            out.push_back(info);
            instances.push_back(e.instance);
        }
    }
    std::vector<W32_WINDOW_INFO> live;
    for (size_t i = 0; i < out.size(); ++i)
        if (w32::session::IsInstanceAlive(instances[i]))
            live.push_back(out[i]);
    return live;
}

}  // namespace

W32API UINT WINAPI W32ListWindows(W32_WINDOW_INFO* windows, UINT max) {
    auto all = Snapshot();
    for (UINT i = 0; i < max && i < all.size(); ++i)
        windows[i] = all[i];
    return static_cast<UINT>(all.size());
}

W32API BOOL WINAPI W32GetWindowInfo(HWND hwnd, W32_WINDOW_INFO* info) {
    for (auto& w : Snapshot()) {
        if (w.hwnd == hwnd) {
            if (info)
                *info = w;
            return TRUE;
        }
    }
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
}

W32API HWND WINAPI FindWindowExW(HWND parent, HWND after, LPCWSTR cls, LPCWSTR title) {
    std::u16string clsName = cls ? ClassNameOf(cls) : u"";
    bool passed = after == nullptr;
    bool messageOnly = parent == HWND_MESSAGE;
    if (parent == gDesktop() || parent == HWND_MESSAGE)
        parent = nullptr;
    for (auto& w : Snapshot()) {
        if (!passed) {
            passed = w.hwnd == after;
            continue;
        }
        if (w.parent != parent || (w.messageOnly != 0) != messageOnly)
            continue;
        if (cls && !w32::session::EqualNoCase(w.className, clsName.c_str()))
            continue;
        if (title && !w32::session::EqualNoCase(w.text, title))
            continue;
        return w.hwnd;
    }
    SetLastError(ERROR_NOT_FOUND);
    return nullptr;
}

W32API HWND WINAPI FindWindowW(LPCWSTR cls, LPCWSTR title) {
    return FindWindowExW(nullptr, nullptr, cls, title);
}

W32API BOOL WINAPI EnumWindows(WNDENUMPROC proc, LPARAM lParam) {
    for (auto& w : Snapshot()) {
        if (w.parent || w.messageOnly)
            continue;
        if (!proc(w.hwnd, lParam))
            return FALSE;
    }
    return TRUE;
}

W32API BOOL WINAPI EnumChildWindows(HWND parent, WNDENUMPROC proc, LPARAM lParam) {
    for (auto& w : Snapshot()) {
        if (!w.parent || !IsChild(parent, w.hwnd))
            continue;
        if (!proc(w.hwnd, lParam))
            return FALSE;
    }
    return TRUE;
}

W32API DWORD WINAPI GetWindowThreadProcessId(HWND hwnd, LPDWORD pid) {
    if (auto w = FindLocal(hwnd)) {
        if (pid)
            *pid = static_cast<DWORD>(getpid());
        return w->tid;
    }
    RemoteWindow r;
    if (!LookupRemote(hwnd, &r)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (pid)
        *pid = r.pid;
    return r.tid;
}

W32API HWND WINAPI GetParent(HWND hwnd) {
    if (auto w = FindLocal(hwnd))
        return w->parent ? w->parent : w->owner;
    RemoteWindow r;
    if (!LookupRemote(hwnd, &r))
        return nullptr;
    return r.parent ? r.parent : r.owner;
}

W32API HWND WINAPI SetParent(HWND child, HWND parent) {
    auto w = FindLocal(child);
    if (!w)
        return nullptr;
    HWND old;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
        old = w->parent;
        if (auto p = FindLocal(old)) {
            auto& c = p->children;
            c.erase(std::remove(c.begin(), c.end(), child), c.end());
        }
        w->messageOnly = parent == HWND_MESSAGE;
        w->parent = (parent == HWND_MESSAGE || parent == gDesktop()) ? nullptr : parent;
        if (auto p = FindLocal(w->parent))
            p->children.push_back(child);
    }
    Republish(child);
    return old ? old : gDesktop();
}

W32API HWND WINAPI GetAncestor(HWND hwnd, UINT flags) {
    if (!IsWindow(hwnd))
        return nullptr;
    if (flags == GA_PARENT) {
        HWND p = nullptr;
        if (auto w = FindLocal(hwnd)) {
            p = w->parent;
        } else {
            RemoteWindow r;
            LookupRemote(hwnd, &r);
            p = r.parent;
        }
        return p ? p : gDesktop();
    }
    HWND root = hwnd;
    for (int depth = 0; depth < 64; ++depth) {
        HWND p = nullptr;
        if (auto w = FindLocal(root)) {
            p = w->parent;
            if (!p && flags == GA_ROOTOWNER)
                p = w->owner;
        } else {
            RemoteWindow r;
            if (!LookupRemote(root, &r))
                break;
            p = r.parent;
            if (!p && flags == GA_ROOTOWNER)
                p = r.owner;
        }
        if (!p)
            break;
        root = p;
    }
    return root;
}

W32API HWND WINAPI GetWindow(HWND hwnd, UINT cmd) {
    auto w = FindLocal(hwnd);
    if (!w)
        return nullptr;
    std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
    switch (cmd) {
        case GW_OWNER:
            return w->owner;
        case GW_CHILD:
            return w->children.empty() ? nullptr : w->children.front();
        case GW_HWNDNEXT:
        case GW_HWNDPREV: {
            auto p = FindLocal(w->parent);
            if (!p)
                return nullptr;
            auto& c = p->children;
            auto it = std::find(c.begin(), c.end(), hwnd);
            if (it == c.end())
                return nullptr;
            if (cmd == GW_HWNDNEXT)
                return (it + 1 == c.end()) ? nullptr : *(it + 1);
            return it == c.begin() ? nullptr : *(it - 1);
        }
        case GW_HWNDFIRST:
        case GW_HWNDLAST: {
            auto p = FindLocal(w->parent);
            if (!p || p->children.empty())
                return hwnd;
            return cmd == GW_HWNDFIRST ? p->children.front() : p->children.back();
        }
        case GW_ENABLEDPOPUP:
            for (auto& o : LocalWindows())
                if (o->owner == hwnd && !(o->style & WS_DISABLED) && (o->style & WS_VISIBLE))
                    return o->handle;
            return nullptr;
        default:
            return nullptr;
    }
}

W32API BOOL WINAPI ShowWindow(HWND hwnd, int cmd) {
    auto w = FindLocal(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    bool show = cmd != SW_HIDE && cmd != SW_MINIMIZE;
    bool was;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
        was = (w->style & WS_VISIBLE) != 0;
        if (cmd == SW_HIDE)
            w->style &= ~WS_VISIBLE;
        else
            w->style |= WS_VISIBLE;
    }
    if (was != show)
        CallWindow(hwnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    Republish(hwnd);
    return was ? TRUE : FALSE;
}

W32API BOOL WINAPI UpdateWindow(HWND hwnd) {
    if (!FindLocal(hwnd))
        return FALSE;
    return TRUE;
}

W32API BOOL WINAPI InvalidateRect(HWND hwnd, const RECT*, BOOL) {
    return hwnd == nullptr || IsWindow(hwnd);
}

W32API BOOL WINAPI SetWindowPos(HWND hwnd, HWND after, int x, int y, int cx, int cy, UINT flags) {
    auto w = FindLocal(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    bool showChange = false, show = false;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
        if (!(flags & SWP_NOMOVE)) {
            LONG width = w->rect.right - w->rect.left, height = w->rect.bottom - w->rect.top;
            w->rect = RECT{x, y, x + width, y + height};
        }
        if (!(flags & SWP_NOSIZE)) {
            w->rect.right = w->rect.left + cx;
            w->rect.bottom = w->rect.top + cy;
        }
        if (!(flags & SWP_NOZORDER)) {
            if (after == HWND_TOPMOST) {
                w->topmost = true;
                w->exStyle |= WS_EX_TOPMOST;
            } else if (after == HWND_NOTOPMOST) {
                w->topmost = false;
                w->exStyle &= ~WS_EX_TOPMOST;
            }
        }
        if ((flags & SWP_SHOWWINDOW) && !(w->style & WS_VISIBLE)) {
            w->style |= WS_VISIBLE;
            showChange = show = true;
        }
        if ((flags & SWP_HIDEWINDOW) && (w->style & WS_VISIBLE)) {
            w->style &= ~WS_VISIBLE;
            showChange = true;
        }
    }
    if (showChange)
        CallWindow(hwnd, WM_SHOWWINDOW, show, 0);
    Republish(hwnd);
    return TRUE;
}

W32API BOOL WINAPI MoveWindow(HWND hwnd, int x, int y, int cx, int cy, BOOL) {
    return SetWindowPos(hwnd, nullptr, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

W32API BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect) {
    if (hwnd == gDesktop()) {
        *rect = RECT{0, 0, kScreenWidth, kScreenHeight};
        return TRUE;
    }
    auto w = FindLocal(hwnd);
    if (!w || !rect)
        return FALSE;
    std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
    *rect = w->rect;
    return TRUE;
}

W32API BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rect) {
    RECT r;
    if (!rect || !GetWindowRect(hwnd, &r))
        return FALSE;
    *rect = RECT{0, 0, r.right - r.left, r.bottom - r.top};
    return TRUE;
}

W32API BOOL WINAPI ScreenToClient(HWND hwnd, LPPOINT pt) {
    RECT r;
    if (!pt || !GetWindowRect(hwnd, &r))
        return FALSE;
    pt->x -= r.left;
    pt->y -= r.top;
    return TRUE;
}

W32API BOOL WINAPI ClientToScreen(HWND hwnd, LPPOINT pt) {
    RECT r;
    if (!pt || !GetWindowRect(hwnd, &r))
        return FALSE;
    pt->x += r.left;
    pt->y += r.top;
    return TRUE;
}

W32API LONG_PTR WINAPI GetWindowLongPtrW(HWND hwnd, int index) {
    auto w = FindLocal(hwnd);
    if (!w) {
        RemoteWindow r;
        if (!LookupRemote(hwnd, &r)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        // Another process's window: only what the session table knows.
        if (index == GWL_STYLE)
            return static_cast<LONG>(r.style);
        if (index == GWL_EXSTYLE)
            return static_cast<LONG>(r.exStyle);
        if (index == GWLP_HWNDPARENT)
            return reinterpret_cast<LONG_PTR>(r.owner);
        SetLastError(5);
        return 0;
    }
    std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
    switch (index) {
        case GWLP_WNDPROC:
            return reinterpret_cast<LONG_PTR>(w->proc);
        case GWLP_HINSTANCE:
            return reinterpret_cast<LONG_PTR>(w->instance);
        case GWLP_HWNDPARENT:
            return reinterpret_cast<LONG_PTR>(w->owner ? w->owner : w->parent);
        case GWLP_ID:
            return w->id;
        case GWL_STYLE:
            return static_cast<LONG>(w->style);
        case GWL_EXSTYLE:
            return static_cast<LONG>(w->exStyle);
        case GWLP_USERDATA:
            return w->userData;
        default:
            if (index >= 0 && static_cast<size_t>(index) + sizeof(LONG_PTR) <= w->extra.size()) {
                LONG_PTR v;
                std::memcpy(&v, w->extra.data() + index, sizeof v);
                return v;
            }
            SetLastError(1413 /* ERROR_INVALID_INDEX */);
            return 0;
    }
}

W32API LONG_PTR WINAPI SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value) {
    auto w = FindLocal(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    LONG_PTR old = 0;
    bool publish = false;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
        switch (index) {
            case GWLP_WNDPROC:
                old = reinterpret_cast<LONG_PTR>(w->proc);
                w->proc = reinterpret_cast<WNDPROC>(value);
                break;
            case GWLP_HINSTANCE:
                old = reinterpret_cast<LONG_PTR>(w->instance);
                w->instance = reinterpret_cast<HINSTANCE>(value);
                break;
            case GWLP_HWNDPARENT:
                old = reinterpret_cast<LONG_PTR>(w->owner);
                w->owner = reinterpret_cast<HWND>(value);
                publish = true;
                break;
            case GWLP_ID:
                old = w->id;
                w->id = static_cast<int>(value);
                publish = true;
                break;
            case GWL_STYLE:
                old = static_cast<LONG>(w->style);
                w->style = static_cast<DWORD>(value);
                publish = true;
                break;
            case GWL_EXSTYLE:
                old = static_cast<LONG>(w->exStyle);
                w->exStyle = static_cast<DWORD>(value);
                w->topmost = (w->exStyle & WS_EX_TOPMOST) != 0;
                publish = true;
                break;
            case GWLP_USERDATA:
                old = w->userData;
                w->userData = value;
                break;
            default:
                if (index >= 0 &&
                    static_cast<size_t>(index) + sizeof(LONG_PTR) <= w->extra.size()) {
                    std::memcpy(&old, w->extra.data() + index, sizeof old);
                    std::memcpy(w->extra.data() + index, &value, sizeof value);
                    break;
                }
                SetLastError(1413);
                return 0;
        }
    }
    if (publish)
        Republish(hwnd);
    SetLastError(0);
    return old;
}

W32API LONG WINAPI GetWindowLongW(HWND hwnd, int index) {
    return static_cast<LONG>(GetWindowLongPtrW(hwnd, index));
}

W32API LONG WINAPI SetWindowLongW(HWND hwnd, int index, LONG value) {
    return static_cast<LONG>(SetWindowLongPtrW(hwnd, index, value));
}

W32API BOOL WINAPI SetLayeredWindowAttributes(HWND hwnd, COLORREF key, BYTE alpha, DWORD flags) {
    auto w = FindLocal(hwnd);
    if (!w || !(w->exStyle & WS_EX_LAYERED)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
    w->colorKey = key;
    w->alpha = alpha;
    w->layeredFlags = flags;
    return TRUE;
}

W32API BOOL WINAPI GetLayeredWindowAttributes(HWND hwnd, COLORREF* key, BYTE* alpha, DWORD* flags) {
    auto w = FindLocal(hwnd);
    if (!w || !(w->exStyle & WS_EX_LAYERED))
        return FALSE;
    std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
    if (key)
        *key = w->colorKey;
    if (alpha)
        *alpha = w->alpha;
    if (flags)
        *flags = w->layeredFlags;
    return TRUE;
}

W32API BOOL WINAPI SetWindowTextW(HWND hwnd, LPCWSTR text) {
    auto w = FindLocal(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (w->tid == CurrentTid())
        return CallWindow(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
    return SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

W32API int WINAPI GetWindowTextW(HWND hwnd, LPWSTR buf, int max) {
    if (!buf || max <= 0)
        return 0;
    std::u16string text;
    if (auto w = FindLocal(hwnd)) {
        if (IsLocalOnThisThread(w))
            return static_cast<int>(CallWindow(hwnd, WM_GETTEXT, static_cast<WPARAM>(max),
                                               reinterpret_cast<LPARAM>(buf)));
        std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
        text = w->text;
    } else {
        RemoteWindow r;
        if (!LookupRemote(hwnd, &r)) {
            buf[0] = 0;
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        text = r.text;
    }
    int n = std::min<int>(static_cast<int>(text.size()), max - 1);
    std::memcpy(buf, text.data(), n * sizeof(char16_t));
    buf[n] = 0;
    return n;
}

W32API int WINAPI GetWindowTextLengthW(HWND hwnd) {
    if (auto w = FindLocal(hwnd)) {
        if (IsLocalOnThisThread(w))
            return static_cast<int>(CallWindow(hwnd, WM_GETTEXTLENGTH, 0, 0));
        std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
        return static_cast<int>(w->text.size());
    }
    RemoteWindow r;
    if (!LookupRemote(hwnd, &r))
        return 0;
    return static_cast<int>(r.text.size());
}

W32API BOOL WINAPI EnableWindow(HWND hwnd, BOOL enable) {
    auto w = FindLocal(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    bool wasDisabled;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
        wasDisabled = (w->style & WS_DISABLED) != 0;
        if (enable)
            w->style &= ~WS_DISABLED;
        else
            w->style |= WS_DISABLED;
    }
    if (wasDisabled == (enable != 0)) {
        Republish(hwnd);
        if (w->tid == CurrentTid())
            CallWindow(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
        else
            SendNotifyMessageW(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
    }
    return wasDisabled ? TRUE : FALSE;
}

namespace {
std::mutex gFocusMutex;
HWND gActive = nullptr;
HWND gForeground = nullptr;
thread_local HWND tFocus = nullptr;
thread_local HWND tCapture = nullptr;
}  // namespace

W32API HWND WINAPI SetActiveWindow(HWND hwnd) {
    if (!IsWindow(hwnd))
        return nullptr;
    HWND old;
    {
        std::lock_guard<std::mutex> guard(gFocusMutex);
        old = gActive;
        gActive = hwnd;
    }
    if (old != hwnd) {
        if (auto w = FindLocal(hwnd); w && w->tid == CurrentTid())
            CallWindow(hwnd, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(old));
    }
    return old;
}

W32API HWND WINAPI GetActiveWindow(void) {
    std::lock_guard<std::mutex> guard(gFocusMutex);
    return gActive && FindLocal(gActive) ? gActive : nullptr;
}

W32API BOOL WINAPI SetForegroundWindow(HWND hwnd) {
    if (!IsWindow(hwnd))
        return FALSE;
    {
        std::lock_guard<std::mutex> guard(gFocusMutex);
        gForeground = hwnd;
    }
    if (FindLocal(hwnd))
        SetActiveWindow(hwnd);
    return TRUE;
}

W32API HWND WINAPI GetForegroundWindow(void) {
    std::lock_guard<std::mutex> guard(gFocusMutex);
    return gForeground;
}

W32API BOOL WINAPI BringWindowToTop(HWND hwnd) {
    return IsWindow(hwnd);
}

W32API HWND WINAPI SetFocus(HWND hwnd) {
    HWND old = tFocus;
    if (hwnd && !FindLocal(hwnd))
        return nullptr;
    tFocus = hwnd;
    if (old != hwnd) {
        if (old && FindLocal(old))
            CallWindow(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
        if (hwnd)
            CallWindow(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    }
    return old;
}

W32API HWND WINAPI GetFocus(void) {
    return tFocus && FindLocal(tFocus) ? tFocus : nullptr;
}

W32API HWND WINAPI SetCapture(HWND hwnd) {
    HWND old = tCapture;
    tCapture = hwnd;
    return old;
}

W32API BOOL WINAPI ReleaseCapture(void) {
    tCapture = nullptr;
    return TRUE;
}

W32API HWND WINAPI GetCapture(void) {
    return tCapture;
}

W32API int WINAPI GetSystemMetrics(int index) {
    switch (index) {
        case SM_CXSCREEN:
        case SM_CXVIRTUALSCREEN:
            return kScreenWidth;
        case SM_CYSCREEN:
        case SM_CYVIRTUALSCREEN:
            return kScreenHeight;
        case SM_CXICON:
        case SM_CYICON:
        case SM_CXCURSOR:
        case SM_CYCURSOR:
            return 32;
        case SM_CXSMICON:
        case SM_CYSMICON:
            return 16;
        case SM_CMONITORS:
            return 1;
        default:
            return 0;
    }
}

W32API DWORD WINAPI GetSysColor(int index) {
    switch (index) {
        case COLOR_WINDOW:
            return RGB(255, 255, 255);
        case COLOR_WINDOWTEXT:
        case COLOR_BTNTEXT:
        case COLOR_MENUTEXT:
            return RGB(0, 0, 0);
        case COLOR_BTNFACE:
        case COLOR_MENU:
            return RGB(240, 240, 240);
        case COLOR_HIGHLIGHT:
            return RGB(0, 120, 215);
        case COLOR_HIGHLIGHTTEXT:
            return RGB(255, 255, 255);
        case COLOR_GRAYTEXT:
            return RGB(109, 109, 109);
        case COLOR_HOTLIGHT:
            return RGB(0, 102, 204);
        default:
            return RGB(192, 192, 192);
    }
}

namespace {
// The simulated pointer lives in the session so the simulated user can move it.
POINT gCursor{kScreenWidth / 2, kScreenHeight / 2};
std::mutex gCursorMutex;
}  // namespace

W32API BOOL WINAPI GetCursorPos(LPPOINT pt) {
    if (!pt)
        return FALSE;
    std::lock_guard<std::mutex> guard(gCursorMutex);
    *pt = gCursor;
    return TRUE;
}

W32API BOOL WINAPI SetCursorPos(int x, int y) {
    std::lock_guard<std::mutex> guard(gCursorMutex);
    gCursor = POINT{x, y};
    return TRUE;
}

namespace {
HMONITOR TheMonitor() {
    static HMONITOR m = w32::HandleFromValue<HMONITOR>(w32::AllocateHandleValue());
    return m;
}
}  // namespace

W32API HMONITOR WINAPI MonitorFromPoint(POINT pt, DWORD flags) {
    bool inside = pt.x >= 0 && pt.y >= 0 && pt.x < kScreenWidth && pt.y < kScreenHeight;
    if (inside || flags != MONITOR_DEFAULTTONULL)
        return TheMonitor();
    return nullptr;
}

W32API HMONITOR WINAPI MonitorFromWindow(HWND, DWORD) {
    return TheMonitor();
}

W32API BOOL WINAPI GetMonitorInfoW(HMONITOR monitor, LPMONITORINFO info) {
    if (monitor != TheMonitor() || !info || info->cbSize < sizeof(MONITORINFO))
        return FALSE;
    info->rcMonitor = RECT{0, 0, kScreenWidth, kScreenHeight};
    info->rcWork = RECT{0, 0, kScreenWidth, kScreenHeight - 40};
    info->dwFlags = MONITORINFOF_PRIMARY;
    return TRUE;
}

W32API BOOL WINAPI SetRect(LPRECT r, int l, int t, int ri, int b) {
    if (!r)
        return FALSE;
    *r = RECT{l, t, ri, b};
    return TRUE;
}

W32API BOOL WINAPI SetRectEmpty(LPRECT r) {
    return SetRect(r, 0, 0, 0, 0);
}

W32API BOOL WINAPI PtInRect(const RECT* r, POINT pt) {
    return r && pt.x >= r->left && pt.x < r->right && pt.y >= r->top && pt.y < r->bottom;
}

W32API BOOL WINAPI OffsetRect(LPRECT r, int dx, int dy) {
    if (!r)
        return FALSE;
    r->left += dx;
    r->right += dx;
    r->top += dy;
    r->bottom += dy;
    return TRUE;
}

W32API BOOL WINAPI IsRectEmpty(const RECT* r) {
    return !r || r->right <= r->left || r->bottom <= r->top;
}
