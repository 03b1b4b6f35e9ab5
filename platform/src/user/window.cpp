#include "user/window.h"

#include <unistd.h>

#include <algorithm>
#include <map>

#include "session/session.h"

namespace w32::user {

namespace {

struct Registry {
    std::recursive_mutex mutex;
    std::map<uint32_t, std::shared_ptr<Window>> windows;
    std::vector<uint32_t> order;
    std::vector<std::shared_ptr<WindowClass>> classes;
};

Registry& Reg() {
    static auto* r = new Registry;  // used by thread exits after static destruction
    return *r;
}

}  // namespace

std::recursive_mutex& WindowsMutex() {
    return Reg().mutex;
}

std::shared_ptr<Window> FindLocal(HWND hwnd) {
    std::lock_guard<std::recursive_mutex> guard(Reg().mutex);
    auto it = Reg().windows.find(Value(hwnd));
    return it == Reg().windows.end() ? nullptr : it->second;
}

std::vector<std::shared_ptr<Window>> LocalWindows() {
    std::lock_guard<std::recursive_mutex> guard(Reg().mutex);
    std::vector<std::shared_ptr<Window>> out;
    for (uint32_t v : Reg().order) {
        auto it = Reg().windows.find(v);
        if (it != Reg().windows.end())
            out.push_back(it->second);
    }
    return out;
}

// Internal: used by the window API to add and remove windows.
void AddLocal(const std::shared_ptr<Window>& w) {
    std::lock_guard<std::recursive_mutex> guard(Reg().mutex);
    Reg().windows[Value(w->handle)] = w;
    Reg().order.push_back(Value(w->handle));
}

void RemoveLocal(HWND hwnd) {
    std::lock_guard<std::recursive_mutex> guard(Reg().mutex);
    Reg().windows.erase(Value(hwnd));
    auto& o = Reg().order;
    o.erase(std::remove(o.begin(), o.end(), Value(hwnd)), o.end());
}

std::shared_ptr<WindowClass> FindClass(const char16_t* name) {
    RegisterSystemClasses();
    std::lock_guard<std::recursive_mutex> guard(Reg().mutex);
    for (auto& c : Reg().classes)
        if (session::EqualNoCase(c->name.c_str(), name))
            return c;
    return nullptr;
}

bool AddClass(const std::shared_ptr<WindowClass>& cls) {
    std::lock_guard<std::recursive_mutex> guard(Reg().mutex);
    for (auto& c : Reg().classes)
        if (session::EqualNoCase(c->name.c_str(), cls->name.c_str()))
            return false;
    Reg().classes.push_back(cls);
    return true;
}

bool RemoveClass(const char16_t* name) {
    std::lock_guard<std::recursive_mutex> guard(Reg().mutex);
    auto& cs = Reg().classes;
    for (auto it = cs.begin(); it != cs.end(); ++it) {
        if (!(*it)->system && session::EqualNoCase((*it)->name.c_str(), name)) {
            cs.erase(it);
            return true;
        }
    }
    return false;
}

namespace {
void AddSystemClass(const char16_t* name, WNDPROC proc, int extra) {
    auto c = std::make_shared<WindowClass>();
    c->name = name;
    c->system = true;
    c->wc.cbSize = sizeof(WNDCLASSEXW);
    c->wc.lpfnWndProc = proc;
    c->wc.cbWndExtra = extra;
    c->wc.lpszClassName = nullptr;
    std::lock_guard<std::recursive_mutex> guard(Reg().mutex);
    Reg().classes.push_back(c);
}
}  // namespace

void RegisterSystemClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        AddSystemClass(u"Button", ButtonProc, 0);
        AddSystemClass(u"Static", StaticProc, 0);
        AddSystemClass(u"Edit", EditProc, 0);
        AddSystemClass(u"#32770", DefDlgProcW, 3 * static_cast<int>(sizeof(LONG_PTR)));
        AddSystemClass(u"#32768", MenuWindowProc, 0);
    });
}

LRESULT CallWindow(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto w = FindLocal(hwnd);
    if (!w)
        return 0;
    WNDPROC proc;
    {
        std::lock_guard<std::recursive_mutex> guard(Reg().mutex);
        proc = w->proc;
    }
    if (!proc)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    return proc(hwnd, msg, wParam, lParam);
}

void PublishWindow(const Window& w) {
    session::TableLock lock;
    if (!lock.ok())
        return;
    session::SharedWindow* table = session::Windows();
    session::SharedWindow* slot = nullptr;
    session::SharedWindow* freeSlot = nullptr;
    for (uint32_t i = 0; i < session::kMaxWindows; ++i) {
        session::SharedWindow& e = table[i];
        if ((e.flags & session::kUsed) && e.handle == Value(w.handle)) {
            slot = &e;
            break;
        }
        if (!freeSlot) {
            if (!(e.flags & session::kUsed)) {
                freeSlot = &e;
            } else if (!session::IsInstanceAlive(e.instance)) {
                e.flags = 0;  // a dead process's window: clean it
                freeSlot = &e;
            }
        }
        if (e.handle == 0 && !(e.flags & session::kUsed))
            break;  // never used beyond here
    }
    if (!slot)
        slot = freeSlot;
    if (!slot)
        return;  // the table is full: the window stays private to its process
    slot->handle = Value(w.handle);
    slot->pid = static_cast<uint32_t>(getpid());
    slot->tid = w.tid;
    slot->instance = session::ProcessInstance();
    slot->parent = Value(w.parent);
    slot->owner = Value(w.owner);
    slot->style = w.style;
    slot->exStyle = w.exStyle;
    slot->controlId = w.id;
    uint32_t flags = session::kUsed;
    if (w.style & WS_VISIBLE)
        flags |= session::kVisible;
    if (!(w.style & WS_DISABLED))
        flags |= session::kEnabled;
    if (w.topmost)
        flags |= session::kTopmost;
    if (w.messageOnly)
        flags |= session::kMessageOnly;
    slot->flags = flags;
    session::CopyText(slot->className, session::kClassChars, w.cls ? w.cls->name : u"");
    session::CopyText(slot->text, session::kTextChars, w.text);
}

void UnpublishWindow(HWND hwnd) {
    session::TableLock lock;
    if (!lock.ok())
        return;
    session::SharedWindow* table = session::Windows();
    for (uint32_t i = 0; i < session::kMaxWindows; ++i) {
        session::SharedWindow& e = table[i];
        if (e.handle == 0 && !(e.flags & session::kUsed))
            break;
        if ((e.flags & session::kUsed) && e.handle == Value(hwnd)) {
            e.flags = 0;  // the handle stays so that later scans run past the slot
            return;
        }
    }
}

bool LookupRemote(HWND hwnd, RemoteWindow* out) {
    uint32_t v = Value(hwnd);
    if (v == 0)
        return false;
    uint64_t instance = 0;
    {
        session::TableLock lock;
        if (!lock.ok())
            return false;
        session::SharedWindow* table = session::Windows();
        for (uint32_t i = 0; i < session::kMaxWindows; ++i) {
            session::SharedWindow& e = table[i];
            if (e.handle == 0 && !(e.flags & session::kUsed))
                break;
            if ((e.flags & session::kUsed) && e.handle == v) {
                instance = e.instance;
                if (out) {
                    out->instance = e.instance;
                    out->pid = e.pid;
                    out->tid = e.tid;
                    out->parent = ToHwnd(e.parent);
                    out->owner = ToHwnd(e.owner);
                    out->style = e.style;
                    out->exStyle = e.exStyle;
                    out->messageOnly = (e.flags & session::kMessageOnly) != 0;
                    out->className = e.className;
                    out->text = e.text;
                }
                break;
            }
        }
    }
    return instance != 0 && session::IsInstanceAlive(instance);
}

std::u16string ToString(LPCWSTR s) {
    return s ? std::u16string(s) : std::u16string();
}

}  // namespace w32::user
