// Menus, popup menus tracked modally in a "#32768" window, and the simulated
// user's way into an open popup menu.
#include <sys/socket.h>
#include <poll.h>

#include <cstring>
#include <map>

#include "internal/handles.h"
#include "module/modules.h"
#include "session/session.h"
#include "user/port.h"
#include "user/window.h"
#include "w32/desktop.h"

using namespace w32::user;
namespace wire = w32::wire;

namespace {

struct MenuItem {
    UINT flags = 0;
    UINT id = 0;
    std::u16string text;
    HMENU submenu = nullptr;
    ULONG_PTR data = 0;
};

struct Menu {
    bool popup = false;
    std::vector<MenuItem> items;
};

std::mutex gMenusMutex;
std::map<uint32_t, std::shared_ptr<Menu>>& Menus() {
    static auto* m = new std::map<uint32_t, std::shared_ptr<Menu>>;
    return *m;
}

std::shared_ptr<Menu> Get(HMENU h) {
    std::lock_guard<std::mutex> guard(gMenusMutex);
    auto it = Menus().find(w32::ValueFromHandle(h));
    return it == Menus().end() ? nullptr : it->second;
}

HMENU NewMenu(bool popup) {
    auto m = std::make_shared<Menu>();
    m->popup = popup;
    uint32_t v = w32::AllocateHandleValue();
    std::lock_guard<std::mutex> guard(gMenusMutex);
    Menus()[v] = m;
    return w32::HandleFromValue<HMENU>(v);
}

HMENU Build(const W32_MENU_ITEM* items, size_t count, bool popup) {
    HMENU h = NewMenu(popup);
    auto m = Get(h);
    for (size_t i = 0; i < count; ++i) {
        MenuItem it;
        it.flags = items[i].flags & ~MF_END;
        it.id = items[i].id;
        it.text = items[i].text ? items[i].text : u"";
        if ((items[i].flags & MF_POPUP) && items[i].children) {
            it.submenu = Build(items[i].children, items[i].childCount, true);
            it.id = static_cast<UINT>(w32::ValueFromHandle(it.submenu));
        }
        std::lock_guard<std::mutex> guard(gMenusMutex);
        m->items.push_back(std::move(it));
    }
    return h;
}

// The item by command (searching submenus) or by position.
MenuItem* Locate(const std::shared_ptr<Menu>& m, UINT item, UINT flags) {
    if (!m)
        return nullptr;
    if (flags & MF_BYPOSITION)
        return item < m->items.size() ? &m->items[item] : nullptr;
    for (auto& it : m->items) {
        if (!(it.flags & MF_POPUP) && it.id == item)
            return &it;
        if (it.submenu) {
            if (MenuItem* found = Locate(Get(it.submenu), item, flags))
                return found;
        }
    }
    return nullptr;
}

void Flatten(const std::shared_ptr<Menu>& m, std::vector<W32_POPUP_ITEM>* out) {
    if (!m)
        return;
    for (auto& it : m->items) {
        W32_POPUP_ITEM p{};
        p.id = (it.flags & MF_POPUP) ? 0 : it.id;
        p.flags = it.flags;
        size_t n = std::min<size_t>(it.text.size(), 255);
        std::memcpy(p.text, it.text.data(), n * sizeof(char16_t));
        out->push_back(p);
    }
}

bool Choosable(const std::shared_ptr<Menu>& m, UINT id) {
    std::lock_guard<std::mutex> guard(gMenusMutex);
    MenuItem* it = Locate(m, id, MF_BYCOMMAND);
    return it && !(it->flags & (MF_GRAYED | MF_DISABLED | MF_SEPARATOR));
}

}  // namespace

W32API HMENU WINAPI CreateMenu(void) {
    return NewMenu(false);
}
W32API HMENU WINAPI CreatePopupMenu(void) {
    return NewMenu(true);
}

W32API HMENU WINAPI LoadMenuW(HINSTANCE inst, LPCWSTR name) {
    auto* r = w32::module::Find(inst, RT_MENU, name);
    if (!r || !r->data) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    auto* t = static_cast<const W32_MENU_TEMPLATE*>(r->data);
    return Build(t->items, t->count, false);
}

W32API BOOL WINAPI DestroyMenu(HMENU h) {
    std::shared_ptr<Menu> m;
    {
        std::lock_guard<std::mutex> guard(gMenusMutex);
        auto it = Menus().find(w32::ValueFromHandle(h));
        if (it == Menus().end()) {
            SetLastError(ERROR_INVALID_MENU_HANDLE);
            return FALSE;
        }
        m = it->second;
        Menus().erase(it);
    }
    // Submenus go with their menu (one already destroyed is passed over).
    for (auto& item : m->items)
        if (item.submenu && Get(item.submenu))
            DestroyMenu(item.submenu);
    return TRUE;
}

W32API BOOL WINAPI IsMenu(HMENU h) {
    return Get(h) ? TRUE : FALSE;
}

W32API HMENU WINAPI GetSubMenu(HMENU h, int pos) {
    auto m = Get(h);
    std::lock_guard<std::mutex> guard(gMenusMutex);
    if (!m || pos < 0 || static_cast<size_t>(pos) >= m->items.size())
        return nullptr;
    return m->items[static_cast<size_t>(pos)].submenu;
}

W32API int WINAPI GetMenuItemCount(HMENU h) {
    auto m = Get(h);
    if (!m) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return -1;
    }
    std::lock_guard<std::mutex> guard(gMenusMutex);
    return static_cast<int>(m->items.size());
}

W32API UINT WINAPI GetMenuItemID(HMENU h, int pos) {
    auto m = Get(h);
    std::lock_guard<std::mutex> guard(gMenusMutex);
    if (!m || pos < 0 || static_cast<size_t>(pos) >= m->items.size())
        return static_cast<UINT>(-1);
    const MenuItem& it = m->items[static_cast<size_t>(pos)];
    return (it.flags & MF_POPUP) ? static_cast<UINT>(-1) : it.id;
}

W32API UINT WINAPI GetMenuState(HMENU h, UINT id, UINT flags) {
    auto m = Get(h);
    std::lock_guard<std::mutex> guard(gMenusMutex);
    MenuItem* it = Locate(m, id, flags);
    if (!it)
        return static_cast<UINT>(-1);
    return it->flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_POPUP | MF_SEPARATOR |
                        MF_DEFAULT | MF_HILITE);
}

W32API int WINAPI GetMenuStringW(HMENU h, UINT id, LPWSTR buf, int max, UINT flags) {
    auto m = Get(h);
    std::lock_guard<std::mutex> guard(gMenusMutex);
    MenuItem* it = Locate(m, id, flags);
    if (!it)
        return 0;
    if (!buf || max <= 0)
        return static_cast<int>(it->text.size());
    int n = std::min<int>(static_cast<int>(it->text.size()), max - 1);
    std::memcpy(buf, it->text.data(), static_cast<size_t>(n) * sizeof(char16_t));
    buf[n] = 0;
    return n;
}

W32API BOOL WINAPI InsertMenuW(HMENU h, UINT pos, UINT flags, UINT_PTR idNew, LPCWSTR text) {
    auto m = Get(h);
    if (!m) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    MenuItem it;
    it.flags = flags & ~(MF_BYPOSITION | MF_APPEND | MF_CHANGE | MF_DELETE | MF_REMOVE);
    if (flags & MF_POPUP) {
        it.submenu = reinterpret_cast<HMENU>(idNew);
        it.id = static_cast<UINT>(idNew);
    } else {
        it.id = static_cast<UINT>(idNew);
    }
    if (!(flags & (MF_SEPARATOR | MF_BITMAP | MF_OWNERDRAW)) && text)
        it.text = text;
    std::lock_guard<std::mutex> guard(gMenusMutex);
    size_t at = m->items.size();
    if (pos != static_cast<UINT>(-1)) {
        if (flags & MF_BYPOSITION) {
            at = std::min<size_t>(pos, m->items.size());
        } else {
            for (size_t i = 0; i < m->items.size(); ++i)
                if (m->items[i].id == pos)
                    at = i;
        }
    }
    m->items.insert(m->items.begin() + static_cast<std::ptrdiff_t>(at), std::move(it));
    return TRUE;
}

W32API BOOL WINAPI AppendMenuW(HMENU h, UINT flags, UINT_PTR idNew, LPCWSTR text) {
    return InsertMenuW(h, static_cast<UINT>(-1), flags | MF_BYPOSITION, idNew, text);
}

W32API BOOL WINAPI InsertMenuItemW(HMENU h, UINT item, BOOL byPos, LPCMENUITEMINFOW mii) {
    if (!mii)
        return FALSE;
    UINT flags = byPos ? MF_BYPOSITION : MF_BYCOMMAND;
    if (mii->fMask & (MIIM_FTYPE | MIIM_TYPE))
        flags |= mii->fType & (MF_SEPARATOR | MF_BITMAP);
    if (mii->fMask & MIIM_STATE)
        flags |= mii->fState & (MF_GRAYED | MF_CHECKED | MF_DEFAULT);
    UINT_PTR id = (mii->fMask & MIIM_ID) ? mii->wID : 0;
    if ((mii->fMask & MIIM_SUBMENU) && mii->hSubMenu) {
        flags |= MF_POPUP;
        id = reinterpret_cast<UINT_PTR>(mii->hSubMenu);
    }
    LPCWSTR text = (mii->fMask & (MIIM_STRING | MIIM_TYPE)) ? mii->dwTypeData : nullptr;
    return InsertMenuW(h, item, flags, id, text);
}

W32API BOOL WINAPI GetMenuItemInfoW(HMENU h, UINT item, BOOL byPos, LPMENUITEMINFOW mii) {
    auto m = Get(h);
    if (!mii)
        return FALSE;
    std::lock_guard<std::mutex> guard(gMenusMutex);
    MenuItem* it = Locate(m, item, byPos ? MF_BYPOSITION : MF_BYCOMMAND);
    if (!it)
        return FALSE;
    if (mii->fMask & (MIIM_FTYPE | MIIM_TYPE))
        mii->fType = it->flags & (MF_SEPARATOR | MF_BITMAP);
    if (mii->fMask & MIIM_STATE)
        mii->fState = it->flags & (MFS_GRAYED | MF_CHECKED | MF_DEFAULT);
    if (mii->fMask & MIIM_ID)
        mii->wID = it->id;
    if (mii->fMask & MIIM_SUBMENU)
        mii->hSubMenu = it->submenu;
    if (mii->fMask & MIIM_DATA)
        mii->dwItemData = it->data;
    if (mii->fMask & (MIIM_STRING | MIIM_TYPE)) {
        if (mii->dwTypeData && mii->cch > 0) {
            size_t n = std::min<size_t>(it->text.size(), mii->cch - 1);
            std::memcpy(mii->dwTypeData, it->text.data(), n * sizeof(char16_t));
            mii->dwTypeData[n] = 0;
        }
        mii->cch = static_cast<UINT>(it->text.size());
    }
    return TRUE;
}

W32API BOOL WINAPI RemoveMenu(HMENU h, UINT pos, UINT flags) {
    auto m = Get(h);
    if (!m)
        return FALSE;
    std::lock_guard<std::mutex> guard(gMenusMutex);
    for (size_t i = 0; i < m->items.size(); ++i) {
        bool hit = (flags & MF_BYPOSITION) ? i == pos : m->items[i].id == pos;
        if (hit) {
            m->items.erase(m->items.begin() + static_cast<std::ptrdiff_t>(i));
            return TRUE;
        }
    }
    return FALSE;
}

W32API BOOL WINAPI DeleteMenu(HMENU h, UINT pos, UINT flags) {
    HMENU sub = nullptr;
    if (flags & MF_BYPOSITION)
        sub = GetSubMenu(h, static_cast<int>(pos));
    if (!RemoveMenu(h, pos, flags))
        return FALSE;
    if (sub)
        DestroyMenu(sub);
    return TRUE;
}

W32API DWORD WINAPI CheckMenuItem(HMENU h, UINT id, UINT check) {
    auto m = Get(h);
    std::lock_guard<std::mutex> guard(gMenusMutex);
    MenuItem* it = Locate(m, id, check & MF_BYPOSITION);
    if (!it)
        return static_cast<DWORD>(-1);
    DWORD old = it->flags & MF_CHECKED;
    it->flags = (it->flags & ~MF_CHECKED) | (check & MF_CHECKED);
    return old;
}

W32API BOOL WINAPI EnableMenuItem(HMENU h, UINT id, UINT enable) {
    auto m = Get(h);
    std::lock_guard<std::mutex> guard(gMenusMutex);
    MenuItem* it = Locate(m, id, enable & MF_BYPOSITION);
    if (!it)
        return -1;
    BOOL old = static_cast<BOOL>(it->flags & (MF_GRAYED | MF_DISABLED));
    it->flags = (it->flags & ~(MF_GRAYED | MF_DISABLED)) | (enable & (MF_GRAYED | MF_DISABLED));
    return old;
}

W32API BOOL WINAPI SetMenuDefaultItem(HMENU h, UINT item, UINT byPos) {
    auto m = Get(h);
    if (!m)
        return FALSE;
    std::lock_guard<std::mutex> guard(gMenusMutex);
    for (size_t i = 0; i < m->items.size(); ++i) {
        bool hit = byPos ? i == item : m->items[i].id == item;
        if (hit)
            m->items[i].flags |= MF_DEFAULT;
        else
            m->items[i].flags &= ~MF_DEFAULT;
    }
    return TRUE;
}

namespace {
thread_local HWND tOpenMenuWindow = nullptr;
}

namespace w32::user {

LRESULT CALLBACK MenuWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto w = FindLocal(hwnd);
    if (!w)
        return 0;
    switch (msg) {
        case W32_MN_CHOOSE: {
            UINT id = static_cast<UINT>(wp);
            if (id != 0 && !Choosable(Get(w->popupMenu), id))
                return FALSE;
            std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
            w->menuChoice = id;
            w->menuDone = true;
            return TRUE;
        }
        case WM_KEYDOWN:
            if (wp == VK_ESCAPE || wp == VK_LEFT) {
                std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
                w->menuDone = true;
            }
            return 0;
        case WM_CANCELMODE:
        case WM_CLOSE: {
            std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
            w->menuDone = true;
            return 0;
        }
        default:
            return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

std::vector<uint8_t> AnswerMenuQuery(HWND menuWindow, bool* found) {
    *found = false;
    auto w = FindLocal(menuWindow);
    if (!w || !w->popupMenu || w->menuDone)
        return {};
    std::vector<W32_POPUP_ITEM> items;
    {
        std::lock_guard<std::mutex> guard(gMenusMutex);
        auto m = Menus().find(w32::ValueFromHandle(w->popupMenu));
        if (m == Menus().end())
            return {};
        Flatten(m->second, &items);
    }
    *found = true;
    std::vector<uint8_t> out(items.size() * sizeof(W32_POPUP_ITEM));
    if (!items.empty())
        std::memcpy(out.data(), items.data(), out.size());
    return out;
}

}  // namespace w32::user

W32API BOOL WINAPI TrackPopupMenuEx(HMENU h, UINT flags, int x, int y, HWND owner, LPTPMPARAMS) {
    auto m = Get(h);
    if (!m || !IsWindow(owner)) {
        SetLastError(m ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    if (tOpenMenuWindow && !(flags & TPM_RECURSE)) {
        SetLastError(1401);
        return FALSE;
    }
    if (!(flags & TPM_NONOTIFY)) {
        SendMessageW(owner, WM_ENTERMENULOOP, TRUE, 0);
        SendMessageW(owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(h), 0);
    }
    int count;
    {
        std::lock_guard<std::mutex> guard(gMenusMutex);
        count = static_cast<int>(m->items.size());
    }
    int cx = 160, cy = 22 * std::max(count, 1);
    if (flags & TPM_RIGHTALIGN)
        x -= cx;
    else if (flags & TPM_CENTERALIGN)
        x -= cx / 2;
    if (flags & TPM_BOTTOMALIGN)
        y -= cy;
    else if (flags & TPM_VCENTERALIGN)
        y -= cy / 2;
    HWND menuWindow =
        CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, u"#32768", u"", WS_POPUP | WS_VISIBLE, x,
                        y, cx, cy, owner, nullptr, nullptr, nullptr);
    if (!menuWindow)
        return FALSE;
    auto w = FindLocal(menuWindow);
    {
        std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
        w->popupMenu = h;
        w->topmost = true;
    }
    Republish(menuWindow);
    HWND outer = tOpenMenuWindow;
    tOpenMenuWindow = menuWindow;
    // The menu's modal loop: every message of the thread is dispatched.
    MSG msg;
    bool quit = false;
    int quitCode = 0;
    for (;;) {
        {
            std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
            if (w->menuDone || !FindLocal(menuWindow))
                break;
        }
        if (!IsWindow(owner))
            break;
        if (!GetMessageW(&msg, nullptr, 0, 0)) {
            quit = true;
            quitCode = static_cast<int>(msg.wParam);
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    tOpenMenuWindow = outer;
    UINT choice = 0;
    {
        std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
        choice = w->menuChoice;
    }
    if (FindLocal(menuWindow))
        DestroyWindow(menuWindow);
    if (!(flags & TPM_NONOTIFY) && IsWindow(owner))
        SendMessageW(owner, WM_EXITMENULOOP, TRUE, 0);
    if (quit)
        PostQuitMessage(quitCode);
    if (flags & TPM_RETURNCMD)
        return static_cast<BOOL>(choice);
    if (choice && IsWindow(owner))
        PostMessageW(owner, WM_COMMAND, MAKEWPARAM(choice, 0), 0);
    return TRUE;
}

W32API BOOL WINAPI TrackPopupMenu(HMENU h, UINT flags, int x, int y, int, HWND owner, const RECT*) {
    return TrackPopupMenuEx(h, flags, x, y, owner, nullptr);
}

W32API BOOL WINAPI EndMenu(void) {
    if (!tOpenMenuWindow)
        return FALSE;
    PostMessageW(tOpenMenuWindow, WM_CANCELMODE, 0, 0);
    return TRUE;
}

W32API int WINAPI W32GetPopupMenuItems(HWND menuWindow, W32_POPUP_ITEM* items, int max,
                                       DWORD timeoutMs) {
    if (auto w = FindLocal(menuWindow)) {
        bool found = false;
        auto bytes = AnswerMenuQuery(menuWindow, &found);
        if (!found)
            return -1;
        int n = static_cast<int>(bytes.size() / sizeof(W32_POPUP_ITEM));
        if (items && max > 0)
            std::memcpy(items, bytes.data(), std::min(n, max) * sizeof(W32_POPUP_ITEM));
        return n;
    }
    RemoteWindow r;
    if (!LookupRemote(menuWindow, &r) || r.className != u"#32768")
        return -1;
    // A one-off connection: the answer comes from the menu's own thread, which
    // runs the menu's modal loop.
    auto self = Port::Current();
    auto conn = self->Outgoing(r.instance, r.tid);
    if (!conn)
        return -1;
    wire::Header h{};
    h.type = static_cast<uint16_t>(wire::Type::QueryMenu);
    h.seq = conn->nextSeq++;
    h.hwnd = Value(menuWindow);
    if (!wire::WriteAll(conn->fd, wire::Encode(h, nullptr, 0), 2000)) {
        self->DropOutgoing(r.instance, r.tid);
        return -1;
    }
    int64_t deadline = NowMs() + timeoutMs;
    while (!conn->replies.count(h.seq)) {
        int64_t left = deadline - NowMs();
        if (left <= 0) {
            self->DropOutgoing(r.instance, r.tid);
            return -1;
        }
        pollfd p{conn->fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) > 0 && !conn->ReadReplies() &&
            !conn->replies.count(h.seq)) {
            self->DropOutgoing(r.instance, r.tid);
            return -1;
        }
    }
    wire::Frame f = std::move(conn->replies[h.seq]);
    conn->replies.erase(h.seq);
    if (f.header.lParam == 0)
        return -1;
    int n = static_cast<int>(f.payload.size() / sizeof(W32_POPUP_ITEM));
    if (items && max > 0)
        std::memcpy(items, f.payload.data(), std::min(n, max) * sizeof(W32_POPUP_ITEM));
    return n;
}

W32API BOOL WINAPI W32ChoosePopupMenuItem(HWND menuWindow, UINT id) {
    W32_WINDOW_INFO info;
    if (!W32GetWindowInfo(menuWindow, &info) || std::u16string(info.className) != u"#32768")
        return FALSE;
    return PostMessageW(menuWindow, id ? W32_MN_CHOOSE : WM_KEYDOWN, id ? id : VK_ESCAPE, 0);
}

W32API DWORD WINAPI W32GetSessionDirectory(LPWSTR buffer, DWORD size) {
    const std::string& dir = w32::session::Directory();
    if (!buffer || size == 0 || dir.size() >= size)
        return static_cast<DWORD>(dir.size() + 1);
    for (size_t i = 0; i < dir.size(); ++i)
        buffer[i] = static_cast<unsigned char>(dir[i]);
    buffer[dir.size()] = 0;
    return static_cast<DWORD>(dir.size());
}
