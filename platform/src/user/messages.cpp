// Sending, posting and retrieving messages; timers; the default window
// procedure.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>

#include "session/session.h"
#include "user/port.h"
#include "user/window.h"

using namespace w32::user;
namespace wire = w32::wire;

#ifndef ERROR_MESSAGE_SYNC_ONLY
#define ERROR_MESSAGE_SYNC_ONLY 1159L
#endif

namespace {

// Where another process's window lives. Handles are never reused, so what the
// table once said about a handle stays true; whether the window still exists
// is the receiver's business (it answers 0 for a window that has gone).
struct Target {
    uint64_t instance;
    DWORD tid;
};
std::mutex gTargetsMutex;
std::map<uint32_t, Target> gTargets;

bool FindTarget(HWND hwnd, Target* out, bool checkAlive) {
    if (!checkAlive) {
        std::lock_guard<std::mutex> guard(gTargetsMutex);
        auto it = gTargets.find(Value(hwnd));
        if (it != gTargets.end()) {
            *out = it->second;
            return true;
        }
    }
    RemoteWindow r;
    if (!LookupRemote(hwnd, &r))
        return false;
    *out = Target{r.instance, r.tid};
    std::lock_guard<std::mutex> guard(gTargetsMutex);
    gTargets[Value(hwnd)] = *out;
    return true;
}

thread_local DWORD tMessageTime = 0;

bool MatchesFilter(const MSG& m, HWND hwnd, UINT first, UINT last) {
    if (hwnd == reinterpret_cast<HWND>(-1)) {
        if (m.hwnd)
            return false;
    } else if (hwnd && m.hwnd != hwnd && !IsChild(hwnd, m.hwnd)) {
        return false;
    }
    if (first == 0 && last == 0)
        return true;
    return m.message >= first && m.message <= last;
}

// Waits in a send: handles messages sent to this thread's windows meanwhile.
LRESULT SendToLocalThread(const std::shared_ptr<Window>& w, UINT msg, WPARAM wp, LPARAM lp,
                          int timeoutMs, bool* timedOut) {
    auto self = Port::Current();
    auto target = Port::ForThread(w->tid);
    if (!target)
        return 0;
    SentItem item;
    item.hwnd = w->handle;
    item.message = msg;
    item.wParam = wp;
    item.lParam = lp;
    if (msg == WM_COPYDATA) {
        item.copyData = true;
        auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lp);
        if (cds) {
            item.dwData = cds->dwData;
            if (cds->lpData && cds->cbData)
                item.bytes.assign(static_cast<const uint8_t*>(cds->lpData),
                                  static_cast<const uint8_t*>(cds->lpData) + cds->cbData);
            else
                item.noData = true;
        } else {
            item.noData = true;
        }
    }
    item.local = std::make_shared<Completion>();
    item.local->waiter = self;
    auto completion = item.local;
    if (!target->PushSent(std::move(item)))
        return 0;
    int64_t deadline = timeoutMs < 0 ? 0 : NowMs() + timeoutMs;
    for (;;) {
        self->Pump();
        self->HandleSent();
        if (completion->Done())
            break;
        int wait = -1;
        if (timeoutMs >= 0) {
            int64_t left = deadline - NowMs();
            if (left <= 0) {
                if (timedOut)
                    *timedOut = true;
                return 0;
            }
            wait = static_cast<int>(left);
        }
        self->Wait(wait, -1);
    }
    std::lock_guard<std::mutex> guard(completion->mutex);
    return completion->result;
}

LRESULT SendToProcess(HWND hwnd, const Target& t, UINT msg, WPARAM wp, LPARAM lp, int timeoutMs,
                      bool* timedOut, bool* failed) {
    auto self = Port::Current();
    auto conn = self->Outgoing(t.instance, t.tid);
    if (!conn) {
        *failed = true;
        return 0;
    }
    wire::Header h{};
    h.type = static_cast<uint16_t>(wire::Type::Send);
    h.seq = conn->nextSeq++;
    h.hwnd = Value(hwnd);
    h.message = msg;
    h.wParam = static_cast<uint64_t>(wp);
    h.lParam = static_cast<int64_t>(lp);
    std::vector<uint8_t> bytes;
    if (msg == WM_COPYDATA) {
        h.flags = wire::kCopyData;
        h.lParam = 0;
        auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lp);
        uint64_t dw = cds ? cds->dwData : 0;
        if (cds && cds->lpData && cds->cbData) {
            if (cds->cbData > wire::kMaxPayload - 8) {
                SetLastError(ERROR_INVALID_PARAMETER);
                *failed = true;
                return 0;
            }
            bytes = wire::Encode(h, &dw, 8, cds->lpData, cds->cbData);
        } else {
            h.flags |= wire::kNoData;
            bytes = wire::Encode(h, &dw, 8, nullptr, 0);
        }
    } else {
        bytes = wire::Encode(h, nullptr, 0);
    }
    if (!wire::WriteAll(conn->fd, bytes, 5000)) {
        self->DropOutgoing(t.instance, t.tid);
        *failed = true;
        return 0;
    }
    uint32_t seq = h.seq;
    int64_t deadline = timeoutMs < 0 ? 0 : NowMs() + timeoutMs;
    // The first wait tells whether anything came for this thread meanwhile.
    bool portReady = false;
    for (;;) {
        auto it = conn->replies.find(seq);
        if (it != conn->replies.end()) {
            LRESULT r = static_cast<LRESULT>(it->second.header.lParam);
            conn->replies.erase(it);
            return r;
        }
        if (conn->dead) {
            *failed = true;
            return 0;
        }
        if (portReady) {
            // Messages sent to this thread's windows are handled while it waits.
            self->Pump();
            self->HandleSent();
            if (conn->replies.count(seq))
                continue;
        }
        int wait = -1;
        if (timeoutMs >= 0) {
            int64_t left = deadline - NowMs();
            if (left <= 0) {
                // The late reply would confuse the connection: start afresh.
                conn->dead = true;
                self->DropOutgoing(t.instance, t.tid);
                if (timedOut)
                    *timedOut = true;
                return 0;
            }
            wait = static_cast<int>(left);
        }
        int ready = self->Wait(wait, conn->fd);
        portReady = (ready & Port::kPortReady) != 0;
        if (ready & Port::kExtraReady) {
            if (!conn->ReadReplies()) {
                // The receiving process died or broke the protocol: release the sender.
                conn->dead = true;
                self->DropOutgoing(t.instance, t.tid);
                auto r = conn->replies.find(seq);
                if (r != conn->replies.end())
                    return static_cast<LRESULT>(r->second.header.lParam);
                *failed = true;
                return 0;
            }
        }
    }
}

LRESULT SendInternal(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, int timeoutMs, bool* timedOut,
                     bool* failed) {
    if (hwnd == HWND_BROADCAST) {
        std::vector<HWND> targets;
        EnumWindows(
            [](HWND h, LPARAM p) -> BOOL {
                reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&targets));
        for (HWND h : targets)
            SendInternal(h, msg, wp, lp, timeoutMs, nullptr, nullptr);
        return 0;
    }
    bool dummy = false;
    if (!failed)
        failed = &dummy;
    if (auto w = FindLocal(hwnd)) {
        if (w->tid == CurrentTid())
            return CallWindow(hwnd, msg, wp, lp);
        return SendToLocalThread(w, msg, wp, lp, timeoutMs, timedOut);
    }
    Target t;
    if (!FindTarget(hwnd, &t, false)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        *failed = true;
        return 0;
    }
    return SendToProcess(hwnd, t, msg, wp, lp, timeoutMs, timedOut, failed);
}

bool PostInternal(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (auto w = FindLocal(hwnd)) {
        auto port = Port::ForThread(w->tid);
        if (!port)
            return false;
        MSG m{};
        m.hwnd = hwnd;
        m.message = msg;
        m.wParam = wp;
        m.lParam = lp;
        m.time = static_cast<DWORD>(NowMs());
        return port->PushPosted(m);
    }
    Target t;
    if (!FindTarget(hwnd, &t, true))
        return false;
    auto self = Port::Current();
    auto conn = self->Outgoing(t.instance, t.tid);
    if (!conn)
        return false;
    wire::Header h{};
    h.type = static_cast<uint16_t>(wire::Type::Post);
    h.hwnd = Value(hwnd);
    h.message = msg;
    h.wParam = static_cast<uint64_t>(wp);
    h.lParam = static_cast<int64_t>(lp);
    if (!wire::WriteAll(conn->fd, wire::Encode(h, nullptr, 0), 5000)) {
        self->DropOutgoing(t.instance, t.tid);
        return false;
    }
    return true;
}

// One look at the queue: sent messages are handled first, then a posted
// message, WM_QUIT or a due timer matching the filter is returned.
bool PeekInternal(MSG* out, HWND hwnd, UINT first, UINT last, UINT flags) {
    auto port = Port::Current();
    port->Pump();
    port->HandleSent();
    std::lock_guard<std::mutex> guard(port->mutex);
    for (auto it = port->posted.begin(); it != port->posted.end(); ++it) {
        if (!MatchesFilter(*it, hwnd, first, last))
            continue;
        *out = *it;
        if (flags & PM_REMOVE)
            port->posted.erase(it);
        tMessageTime = out->time;
        return true;
    }
    if (port->quit && (hwnd == nullptr || hwnd == reinterpret_cast<HWND>(-1))) {
        *out = MSG{};
        out->message = WM_QUIT;
        out->wParam = static_cast<WPARAM>(port->quitCode);
        if (flags & PM_REMOVE)
            port->quit = false;
        return true;
    }
    int64_t now = NowMs();
    for (auto& t : port->timers) {
        if (t.due > now)
            continue;
        MSG m{};
        m.hwnd = t.hwnd;
        m.message = WM_TIMER;
        m.wParam = t.id;
        m.lParam = reinterpret_cast<LPARAM>(t.proc);
        m.time = static_cast<DWORD>(now);
        if (!MatchesFilter(m, hwnd, first, last))
            continue;
        *out = m;
        if (flags & PM_REMOVE)
            t.due = now + t.period;
        tMessageTime = m.time;
        return true;
    }
    return false;
}

int NextTimerWait(const std::shared_ptr<Port>& port) {
    std::lock_guard<std::mutex> guard(port->mutex);
    if (port->timers.empty())
        return -1;
    int64_t now = NowMs(), next = INT64_MAX;
    for (auto& t : port->timers)
        next = std::min(next, t.due);
    return next <= now ? 0 : static_cast<int>(std::min<int64_t>(next - now, 1 << 30));
}

}  // namespace

namespace w32::user {

LRESULT DeliverSent(SentItem& item) {
    auto w = FindLocal(item.hwnd);
    if (!w || w->tid != CurrentTid())
        return 0;  // the window has gone
    if (item.copyData && !item.local) {
        COPYDATASTRUCT cds{};
        cds.dwData = item.dwData;
        if (!item.noData && !item.bytes.empty()) {
            cds.cbData = static_cast<DWORD>(item.bytes.size());
            cds.lpData = item.bytes.data();
        }
        return CallWindow(item.hwnd, WM_COPYDATA, item.wParam, reinterpret_cast<LPARAM>(&cds));
    }
    if (item.copyData) {
        COPYDATASTRUCT cds{};
        cds.dwData = item.dwData;
        if (!item.noData && !item.bytes.empty()) {
            cds.cbData = static_cast<DWORD>(item.bytes.size());
            cds.lpData = item.bytes.data();
        }
        return CallWindow(item.hwnd, WM_COPYDATA, item.wParam, reinterpret_cast<LPARAM>(&cds));
    }
    return CallWindow(item.hwnd, item.message, item.wParam, item.lParam);
}

}  // namespace w32::user

W32API LRESULT WINAPI SendMessageW(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return SendInternal(hwnd, msg, wp, lp, -1, nullptr, nullptr);
}

W32API LRESULT WINAPI SendMessageTimeoutW(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT flags,
                                          UINT timeout, DWORD_PTR* result) {
    (void)flags;
    bool timedOut = false, failed = false;
    LRESULT r = SendInternal(hwnd, msg, wp, lp, static_cast<int>(std::min<UINT>(timeout, 1u << 30)),
                             &timedOut, &failed);
    if (timedOut) {
        SetLastError(ERROR_TIMEOUT);
        return 0;
    }
    if (failed)
        return 0;
    if (result)
        *result = static_cast<DWORD_PTR>(r);
    return 1;
}

W32API BOOL WINAPI SendNotifyMessageW(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto w = FindLocal(hwnd);
    if (w && w->tid == CurrentTid()) {
        CallWindow(hwnd, msg, wp, lp);
        return TRUE;
    }
    if (w) {
        auto target = Port::ForThread(w->tid);
        if (!target)
            return FALSE;
        SentItem item;
        item.hwnd = hwnd;
        item.message = msg;
        item.wParam = wp;
        item.lParam = lp;
        item.notify = true;
        return target->PushSent(std::move(item)) ? TRUE : FALSE;
    }
    // Another process: delivered as a post, which reaches it just as soon.
    return PostInternal(hwnd, msg, wp, lp) ? TRUE : FALSE;
}

W32API BOOL WINAPI PostMessageW(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COPYDATA) {
        SetLastError(ERROR_MESSAGE_SYNC_ONLY);
        return FALSE;
    }
    if (hwnd == HWND_BROADCAST) {
        std::vector<HWND> targets;
        EnumWindows(
            [](HWND h, LPARAM p) -> BOOL {
                reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&targets));
        for (HWND h : targets)
            PostInternal(h, msg, wp, lp);
        return TRUE;
    }
    if (!hwnd)
        return PostThreadMessageW(CurrentTid(), msg, wp, lp);
    if (!PostInternal(hwnd, msg, wp, lp)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return TRUE;
}

W32API BOOL WINAPI PostThreadMessageW(DWORD tid, UINT msg, WPARAM wp, LPARAM lp) {
    auto port = tid == CurrentTid() ? Port::Current() : Port::ForThread(tid);
    if (!port) {
        SetLastError(1444 /* ERROR_INVALID_THREAD_ID */);
        return FALSE;
    }
    MSG m{};
    m.message = msg;
    m.wParam = wp;
    m.lParam = lp;
    m.time = static_cast<DWORD>(NowMs());
    return port->PushPosted(m) ? TRUE : FALSE;
}

W32API void WINAPI PostQuitMessage(int code) {
    auto port = Port::Current();
    std::lock_guard<std::mutex> guard(port->mutex);
    port->quit = true;
    port->quitCode = code;
}

W32API BOOL WINAPI PeekMessageW(LPMSG msg, HWND hwnd, UINT first, UINT last, UINT flags) {
    MSG m;
    if (!PeekInternal(&m, hwnd, first, last, flags))
        return FALSE;
    if (msg)
        *msg = m;
    return TRUE;
}

W32API BOOL WINAPI GetMessageW(LPMSG msg, HWND hwnd, UINT first, UINT last) {
    auto port = Port::Current();
    MSG m;
    while (!PeekInternal(&m, hwnd, first, last, PM_REMOVE))
        port->Wait(NextTimerWait(port), -1);
    if (msg)
        *msg = m;
    return m.message == WM_QUIT ? FALSE : TRUE;
}

W32API BOOL WINAPI WaitMessage(void) {
    auto port = Port::Current();
    MSG m;
    while (!PeekInternal(&m, nullptr, 0, 0, PM_NOREMOVE))
        port->Wait(NextTimerWait(port), -1);
    return TRUE;
}

W32API BOOL WINAPI TranslateMessage(const MSG* msg) {
    // Keyboard input of the stand-in comes as WM_KEYDOWN only; a printable key
    // also gives WM_CHAR, as translation would.
    if (!msg || msg->message != WM_KEYDOWN)
        return FALSE;
    WPARAM vk = msg->wParam;
    if (vk == VK_RETURN || vk == VK_ESCAPE || vk == VK_BACK || vk == VK_TAB || vk == VK_SPACE ||
        (vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) {
        PostMessageW(msg->hwnd, WM_CHAR, vk, msg->lParam);
        return TRUE;
    }
    return FALSE;
}

W32API LRESULT WINAPI DispatchMessageW(const MSG* msg) {
    if (!msg)
        return 0;
    if (msg->message == WM_TIMER && msg->lParam) {
        auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
        proc(msg->hwnd, WM_TIMER, msg->wParam, static_cast<DWORD>(NowMs()));
        return 0;
    }
    auto w = FindLocal(msg->hwnd);
    if (!w || w->tid != CurrentTid())
        return 0;
    return CallWindow(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

W32API BOOL WINAPI InSendMessage(void) {
    auto port = Port::CurrentIfAny();
    return port && port->handlingSent > 0;
}

W32API DWORD WINAPI InSendMessageEx(LPVOID) {
    return InSendMessage() ? ISMEX_SEND : ISMEX_NOSEND;
}

W32API BOOL WINAPI ReplyMessage(LRESULT) {
    return FALSE;
}

W32API DWORD WINAPI GetQueueStatus(UINT flags) {
    auto port = Port::Current();
    port->Pump();
    std::lock_guard<std::mutex> guard(port->mutex);
    DWORD status = 0;
    if (!port->posted.empty())
        status |= QS_POSTMESSAGE;
    if (!port->sent.empty())
        status |= QS_SENDMESSAGE;
    int64_t now = NowMs();
    for (auto& t : port->timers)
        if (t.due <= now)
            status |= QS_TIMER;
    return (status & flags) << 16 | (status & flags);
}

W32API DWORD WINAPI GetMessageTime(void) {
    return tMessageTime;
}

W32API LPARAM WINAPI GetMessageExtraInfo(void) {
    return 0;
}

W32API UINT WINAPI RegisterWindowMessageW(LPCWSTR name) {
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return w32::session::RegisterAtom(name);
}

W32API BOOL WINAPI ChangeWindowMessageFilter(UINT, DWORD flag) {
    if (flag != MSGFLT_ADD && flag != MSGFLT_REMOVE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

W32API UINT_PTR WINAPI SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
    if (hwnd) {
        auto w = FindLocal(hwnd);
        if (!w || w->tid != CurrentTid()) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
    }
    elapse = std::clamp<UINT>(elapse, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM);
    auto port = Port::Current();
    std::lock_guard<std::mutex> guard(port->mutex);
    if (!hwnd) {
        // A thread timer gets an id of its own.
        static std::atomic<UINT_PTR> next{0x7FFF0000};
        id = next++;
    }
    int64_t due = NowMs() + elapse;
    for (auto& t : port->timers) {
        if (t.hwnd == hwnd && t.id == id) {
            t.period = elapse;
            t.due = due;
            t.proc = proc;
            return hwnd ? (id ? id : 1) : id;
        }
    }
    port->timers.push_back(Timer{hwnd, id, elapse, due, proc});
    return hwnd ? (id ? id : 1) : id;
}

W32API BOOL WINAPI KillTimer(HWND hwnd, UINT_PTR id) {
    auto port = Port::Current();
    std::lock_guard<std::mutex> guard(port->mutex);
    auto& t = port->timers;
    auto it = std::find_if(t.begin(), t.end(),
                           [&](const Timer& x) { return x.hwnd == hwnd && x.id == id; });
    if (it == t.end()) {
        SetLastError(1402 /* ERROR_INVALID_TIMER_HANDLE... */);
        return FALSE;
    }
    t.erase(it);
    // A WM_TIMER already made for it is not in the posted queue (timers are
    // made when asked), so none arrives after this.
    return TRUE;
}

W32API LRESULT WINAPI DefWindowProcW(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto w = FindLocal(hwnd);
    switch (msg) {
        case WM_NCCREATE: {
            auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
            if (w && cs && cs->lpszName && !IS_INTRESOURCE(cs->lpszName)) {
                std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
                w->text = cs->lpszName;
            }
            return TRUE;
        }
        case WM_SETTEXT:
            if (!w)
                return FALSE;
            {
                std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
                w->text = ToString(reinterpret_cast<LPCWSTR>(lp));
            }
            Republish(hwnd);
            return TRUE;
        case WM_GETTEXT: {
            if (!w || wp == 0 || !lp)
                return 0;
            std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
            auto* buf = reinterpret_cast<LPWSTR>(lp);
            size_t n = std::min<size_t>(w->text.size(), wp - 1);
            std::memcpy(buf, w->text.data(), n * sizeof(char16_t));
            buf[n] = 0;
            return static_cast<LRESULT>(n);
        }
        case WM_GETTEXTLENGTH: {
            if (!w)
                return 0;
            std::lock_guard<std::recursive_mutex> guard(WindowsMutex());
            return static_cast<LRESULT>(w->text.size());
        }
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        case WM_SYSCOMMAND:
            if ((wp & 0xFFF0) == SC_CLOSE)
                SendMessageW(hwnd, WM_CLOSE, 0, 0);
            return 0;
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
            return reinterpret_cast<LRESULT>(
                GetSysColorBrush(msg == WM_CTLCOLOREDIT ? COLOR_WINDOW : COLOR_BTNFACE));
        case WM_NCHITTEST:
            return 1; /* HTCLIENT */
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_MOUSEACTIVATE:
            return 1; /* MA_ACTIVATE */
        case WM_GETDLGCODE:
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_CONTEXTMENU:
            if (w && w->parent)
                return SendMessageW(w->parent, msg, wp, lp);
            return 0;
        default:
            return 0;
    }
}

W32API LRESULT WINAPI CallWindowProcW(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (!proc)
        return 0;
    return proc(hwnd, msg, wp, lp);
}
