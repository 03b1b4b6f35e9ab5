// Sending, posting and retrieving messages; timers; the default procedure.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <unordered_map>

#include "internal/kobject.h"
#include "internal/native_string.h"
#include "w32/crt.h"
#include "w32/kernel.h"
#include "window/core.h"
#include "window/painting.h"
#include "window/marshalling.h"
#include "window/remote.h"
#include "window/session.h"

using w32::window::FindLocal;
using w32::window::Handle;
using w32::window::NowMs;
using w32::window::SentMessage;
using w32::window::ThreadQueue;
using w32::window::Timer;
using w32::window::Value;
using w32::window::Window;

namespace {

thread_local DWORD lastMessageTime = 0;

// The process and thread that own another process's window. Handles are
// never reused, so a remembered owner stays right: a window it has destroyed
// meanwhile is answered with 0 by that process, and a process that died
// fails the send.
struct Owner {
    pid_t pid = 0;  // 0: no other process's window
    DWORD tid = 0;
};

Owner OwnerOf(HWND hwnd) {
    static std::mutex lock;
    static std::unordered_map<uint32_t, Owner> owners;
    {
        std::lock_guard<std::mutex> guard(lock);
        auto it = owners.find(Value(hwnd));
        if (it != owners.end()) {
            return it->second;
        }
    }
    auto record = w32::session::ReadWindow(Value(hwnd));
    if (!record || record->pid == getpid()) {
        return {};
    }
    Owner owner{record->pid, record->tid};
    std::lock_guard<std::mutex> guard(lock);
    owners[Value(hwnd)] = owner;
    return owner;
}

bool InRange(UINT message, UINT first, UINT last) {
    return (first == 0 && last == 0) || (message >= first && message <= last);
}

// Whether a message for hwnd passes a retrieval filter of hwnd filter.
bool MatchesWindow(HWND hwnd, HWND filter) {
    if (filter == nullptr) {
        return true;
    }
    if (filter == reinterpret_cast<HWND>(-1)) {
        return hwnd == nullptr;  // thread messages only
    }
    for (HWND current = hwnd; current != nullptr;) {
        if (current == filter) {
            return true;
        }
        auto window = FindLocal(current);
        current = window && window->parent != 0 ? Handle(window->parent) : nullptr;
    }
    return false;
}

void Reply(const std::shared_ptr<SentMessage>& message) {
    if (message->replyTo) {
        // WM_GETTEXT's text goes back with the answer: as many characters as
        // the handler says it wrote, within the buffer it had.
        const void* data = nullptr;
        uint32_t dataSize = 0;
        if (message->message == WM_GETTEXT && message->result > 0 && !message->text.empty()) {
            size_t count =
                std::min<size_t>(static_cast<size_t>(message->result), message->text.size() - 1);
            message->result = static_cast<LRESULT>(count);
            data = message->text.data();
            dataSize = static_cast<uint32_t>(count * sizeof(char16_t));
        }
        w32::window::FrameHeader reply{w32::window::kFrameMagic,
                                       static_cast<uint32_t>(w32::window::FrameType::kReply),
                                       message->sequence,
                                       Value(message->hwnd),
                                       message->message,
                                       0,
                                       static_cast<int64_t>(message->result),
                                       dataSize,
                                       0,
                                       0};
        message->replyTo->Write(reply, data);
        return;
    }
    ThreadQueue* sender = message->sender;
    {
        std::lock_guard<std::mutex> guard(sender->lock);
        message->done = true;
    }
    sender->Wake();
}

LRESULT Deliver(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!FindLocal(hwnd)) {
        return 0;  // destroyed meanwhile
    }
    return w32::window::CallProcedure(hwnd, message, wParam, lParam);
}

// A message sent from another thread of this process: queued in the
// receiver's thread and waited for, handling our own sent messages meanwhile.
// timeoutMs -1 waits for the answer; otherwise *timedOut tells a wait given up.
LRESULT SendToThread(const std::shared_ptr<Window>& window, HWND hwnd, UINT message, WPARAM wParam,
                     LPARAM lParam, int timeoutMs = -1, bool* timedOut = nullptr) {
    const uint64_t deadline = timeoutMs < 0 ? 0 : NowMs() + static_cast<uint64_t>(timeoutMs);
    std::shared_ptr<ThreadQueue> own = w32::window::CurrentQueue();
    std::shared_ptr<ThreadQueue> target = w32::window::QueueOf(window->tid);
    auto sent = std::make_shared<SentMessage>();
    sent->hwnd = hwnd;
    sent->message = message;
    sent->wParam = wParam;
    sent->lParam = lParam;
    sent->sender = own.get();
    {
        std::lock_guard<std::mutex> guard(target->lock);
        target->sent.push_back(sent);
        target->arrived |= QS_SENDMESSAGE;
    }
    target->Wake();
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(own->lock);
            if (sent->done) {
                return sent->result;
            }
        }
        if (!w32::window::HandleSentMessages(*own)) {
            // The receiving thread may have gone without handling it.
            if (!FindLocal(hwnd)) {
                std::lock_guard<std::mutex> guard(target->lock);
                auto it = std::find(target->sent.begin(), target->sent.end(), sent);
                if (it != target->sent.end()) {
                    target->sent.erase(it);
                    return 0;
                }
            }
            int wait = 100;
            if (timeoutMs >= 0) {
                uint64_t now = NowMs();
                if (now >= deadline) {
                    // Given up: the receiver no longer finds it, or answers into the void.
                    std::lock_guard<std::mutex> guard(target->lock);
                    auto it = std::find(target->sent.begin(), target->sent.end(), sent);
                    if (it != target->sent.end()) {
                        target->sent.erase(it);
                    }
                    if (timedOut != nullptr) {
                        *timedOut = true;
                    }
                    return 0;
                }
                wait = static_cast<int>(std::min<uint64_t>(deadline - now, 100));
            }
            own->Wait(wait);
        }
    }
}

void PostToQueue(const std::shared_ptr<ThreadQueue>& queue, HWND hwnd, UINT message, WPARAM wParam,
                 LPARAM lParam) {
    MSG msg{hwnd, message, wParam, lParam, GetTickCount(), {0, 0}};
    {
        std::lock_guard<std::mutex> guard(queue->lock);
        queue->posted.push_back(msg);
        queue->arrived |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
    }
    queue->Wake();
}

// Takes the next message for a retrieval, in Windows order: posted messages,
// WM_QUIT, then due timers; only the kinds (QS_*) asked for. Sent messages
// were handled before.
bool TakeMessage(ThreadQueue& queue, LPMSG out, HWND filter, UINT first, UINT last, bool remove,
                 DWORD kinds = QS_POSTMESSAGE | QS_TIMER) {
    std::lock_guard<std::mutex> guard(queue.lock);
    if ((kinds & QS_POSTMESSAGE) != 0) {
        for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
            if (MatchesWindow(it->hwnd, filter) && InRange(it->message, first, last)) {
                *out = *it;
                if (remove) {
                    queue.posted.erase(it);
                }
                return true;
            }
        }
        if (queue.quit) {
            *out = MSG{nullptr, WM_QUIT,        static_cast<WPARAM>(queue.quitCode),
                       0,       GetTickCount(), {0, 0}};
            if (remove) {
                queue.quit = false;
            }
            return true;
        }
    }
    if ((kinds & QS_TIMER) != 0 && InRange(WM_TIMER, first, last)) {
        uint64_t now = NowMs();
        for (Timer& timer : queue.timers) {
            if (timer.due <= now && MatchesWindow(timer.hwnd, filter)) {
                *out = MSG{timer.hwnd,     WM_TIMER, timer.id, reinterpret_cast<LPARAM>(timer.proc),
                           GetTickCount(), {0, 0}};
                if (remove) {
                    timer.due = now + timer.period;
                }
                return true;
            }
        }
    }
    return false;
}

// The kinds of input waiting now, and (in *arrived) those that arrived since
// the thread last looked.
DWORD QueueKinds(ThreadQueue& queue, DWORD* arrived) {
    std::lock_guard<std::mutex> guard(queue.lock);
    DWORD waiting = 0;
    DWORD fresh = queue.arrived;
    if (!queue.sent.empty()) {
        waiting |= QS_SENDMESSAGE;
    }
    if (!queue.posted.empty() || queue.quit) {
        waiting |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
    }
    uint64_t now = NowMs();
    for (const auto& timer : queue.timers) {
        if (timer.due <= now) {
            waiting |= QS_TIMER;
            if (timer.due > queue.lastLookMs) {
                fresh |= QS_TIMER;
            }
        }
    }
    *arrived = fresh & waiting;
    return waiting;
}

// The thread has looked at its queue: what waits there is no longer new.
void MarkLooked(ThreadQueue& queue) {
    std::lock_guard<std::mutex> guard(queue.lock);
    queue.arrived = 0;
    queue.lastLookMs = NowMs();
}

// The procedure of the calling thread's timer (hwnd, id), if it is `proc`.
TIMERPROC TimerProcedureOf(HWND hwnd, UINT_PTR id, LPARAM proc) {
    std::shared_ptr<ThreadQueue> queue = w32::window::CurrentQueue();
    std::lock_guard<std::mutex> guard(queue->lock);
    for (const Timer& timer : queue->timers) {
        if (timer.hwnd == hwnd && timer.id == id && timer.proc != nullptr &&
            reinterpret_cast<LPARAM>(timer.proc) == proc) {
            return timer.proc;
        }
    }
    return nullptr;
}

int NextTimerWait(ThreadQueue& queue) {
    std::lock_guard<std::mutex> guard(queue.lock);
    if (queue.timers.empty()) {
        return -1;
    }
    uint64_t now = NowMs();
    uint64_t next = UINT64_MAX;
    for (const Timer& timer : queue.timers) {
        next = std::min(next, timer.due);
    }
    return next <= now ? 0 : static_cast<int>(std::min<uint64_t>(next - now, 60000));
}

// How long until the next timer that is not yet due falls due; -1: none.
int NextTimerFalling(ThreadQueue& queue) {
    std::lock_guard<std::mutex> guard(queue.lock);
    uint64_t now = NowMs();
    uint64_t next = UINT64_MAX;
    for (const Timer& timer : queue.timers) {
        if (timer.due > now) {
            next = std::min(next, timer.due);
        }
    }
    return next == UINT64_MAX ? -1 : static_cast<int>(std::min<uint64_t>(next - now, 60000));
}

}  // namespace

namespace w32::window {

bool HandleSentMessages(ThreadQueue& queue) {
    bool any = false;
    for (;;) {
        std::shared_ptr<SentMessage> message;
        {
            std::lock_guard<std::mutex> guard(queue.lock);
            if (queue.sent.empty()) {
                return any;
            }
            message = queue.sent.front();
            queue.sent.pop_front();
        }
        any = true;
        ++queue.inSend;
        try {
            message->result =
                Deliver(message->hwnd, message->message, message->wParam, message->lParam);
        } catch (...) {
            // The sender is not left waiting on a handler that failed.
            --queue.inSend;
            message->result = 0;
            Reply(message);
            throw;
        }
        --queue.inSend;
        Reply(message);
    }
}

void ReleaseSentMessages(ThreadQueue& queue) {
    std::deque<std::shared_ptr<SentMessage>> pending;
    {
        std::lock_guard<std::mutex> guard(queue.lock);
        pending.swap(queue.sent);
    }
    for (auto& message : pending) {
        message->result = 0;
        Reply(message);
    }
}

bool PostLocal(const std::shared_ptr<Window>& window, UINT message, WPARAM wParam, LPARAM lParam) {
    PostToQueue(QueueOf(window->tid), Handle(window->handle), message, wParam, lParam);
    return true;
}

}  // namespace w32::window

W32API UINT WINAPI RegisterWindowMessageW(LPCWSTR lpString) {
    if (lpString == nullptr || *lpString == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return w32::session::RegisterMessageName(lpString);
}

W32API LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (hWnd == HWND_BROADCAST) {
        // Sends to every top-level window, one after another.
        for (const auto& record : w32::session::AllWindows()) {
            if (record.parent == 0 && !record.messageOnly) {
                SendMessageW(Handle(record.handle), Msg, wParam, lParam);
            }
        }
        return 0;
    }
    if (auto window = FindLocal(hWnd)) {
        if (window->tid == GetCurrentThreadId()) {
            return w32::window::CallProcedure(hWnd, Msg, wParam, lParam);
        }
        return SendToThread(window, hWnd, Msg, wParam, lParam);
    }
    Owner owner = OwnerOf(hWnd);
    if (owner.pid == 0) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (Msg == WM_COPYDATA && lParam == 0) {
        return 0;
    }
    bool delivered = false;
    return w32::window::RemoteSend(owner.pid, owner.tid, hWnd, Msg, wParam, lParam, &delivered);
}

namespace {

// A send with its wait bounded; false when the wait was given up.
bool BoundedSend(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam, int timeoutMs,
                 LRESULT* result) {
    bool timedOut = false;
    if (auto window = FindLocal(hWnd)) {
        if (window->tid == GetCurrentThreadId()) {
            *result = w32::window::CallProcedure(hWnd, Msg, wParam, lParam);
            return true;
        }
        *result = SendToThread(window, hWnd, Msg, wParam, lParam, timeoutMs, &timedOut);
        return !timedOut;
    }
    Owner owner = OwnerOf(hWnd);
    if (owner.pid == 0) {
        *result = 0;
        return true;
    }
    if (Msg == WM_COPYDATA && lParam == 0) {
        *result = 0;
        return true;
    }
    bool delivered = false;
    *result = w32::window::RemoteSend(owner.pid, owner.tid, hWnd, Msg, wParam, lParam, &delivered,
                                      timeoutMs, &timedOut);
    return !timedOut;
}

}  // namespace

W32API LRESULT WINAPI SendMessageTimeoutW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam, UINT,
                                          UINT uTimeout, PDWORD_PTR lpdwResult) {
    if (!IsWindow(hWnd) && hWnd != HWND_BROADCAST) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    // The bound holds for a busy thread of this process and for another
    // process alike (SMTO_ABORTIFHUNG asks no more here: a hung receiver is
    // given up when the bound runs out).
    const int timeoutMs = static_cast<int>(std::min<UINT>(uTimeout, 0x7FFFFFFF));
    LRESULT result = 0;
    if (hWnd == HWND_BROADCAST) {
        for (const auto& record : w32::session::AllWindows()) {
            if (record.parent == 0 && !record.messageOnly) {
                LRESULT ignored;
                BoundedSend(Handle(record.handle), Msg, wParam, lParam, timeoutMs, &ignored);
            }
        }
    } else if (!BoundedSend(hWnd, Msg, wParam, lParam, timeoutMs, &result)) {
        SetLastError(ERROR_TIMEOUT);
        return 0;
    }
    if (lpdwResult != nullptr) {
        *lpdwResult = static_cast<DWORD_PTR>(result);
    }
    return 1;
}

W32API BOOL WINAPI PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (w32::window::SyncOnly(Msg)) {
        SetLastError(ERROR_MESSAGE_SYNC_ONLY);  // its data lives only as long as a send
        return FALSE;
    }
    if (hWnd == nullptr) {
        return PostThreadMessageW(GetCurrentThreadId(), Msg, wParam, lParam);
    }
    if (hWnd == HWND_BROADCAST) {
        for (const auto& record : w32::session::AllWindows()) {
            if (record.parent != 0 || record.messageOnly) {
                continue;
            }
            if (record.pid == getpid()) {
                if (auto window = FindLocal(Handle(record.handle))) {
                    w32::window::PostLocal(window, Msg, wParam, lParam);
                }
            } else {
                w32::window::RemotePost(record.pid, record.tid, Handle(record.handle), Msg, wParam,
                                        lParam);
            }
        }
        return TRUE;
    }
    if (auto window = FindLocal(hWnd)) {
        return w32::window::PostLocal(window, Msg, wParam, lParam);
    }
    Owner owner = OwnerOf(hWnd);
    if (owner.pid == 0 || !w32::session::ProcessAlive(owner.pid)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return w32::window::RemotePost(owner.pid, owner.tid, hWnd, Msg, wParam, lParam) ? TRUE : FALSE;
}

W32API BOOL WINAPI PostThreadMessageW(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (w32::window::SyncOnly(Msg)) {
        SetLastError(ERROR_MESSAGE_SYNC_ONLY);
        return FALSE;
    }
    PostToQueue(w32::window::QueueOf(idThread), nullptr, Msg, wParam, lParam);
    return TRUE;
}

W32API void WINAPI PostQuitMessage(int nExitCode) {
    auto queue = w32::window::CurrentQueue();
    {
        std::lock_guard<std::mutex> guard(queue->lock);
        queue->quit = true;
        queue->quitCode = nExitCode;
        queue->arrived |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
    }
    queue->Wake();
}

W32API BOOL WINAPI PeekMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                                UINT wRemoveMsg) {
    auto queue = w32::window::CurrentQueue();
    queue->ReadConnections();  // what other processes sent meanwhile
    MarkLooked(*queue);
    // PM_QS_* limit what is processed; without them everything is.
    DWORD kinds = HIWORD(wRemoveMsg);
    if (kinds == 0) {
        kinds = QS_ALLINPUT | QS_ALLPOSTMESSAGE;
    }
    if ((kinds & QS_SENDMESSAGE) != 0) {
        w32::window::HandleSentMessages(*queue);
    }
    if (lpMsg != nullptr && TakeMessage(*queue, lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax,
                                        (wRemoveMsg & PM_REMOVE) != 0, kinds)) {
        lastMessageTime = lpMsg->time;
        return TRUE;
    }
    return FALSE;
}

W32API DWORD WINAPI GetQueueStatus(UINT flags) {
    if ((flags & ~static_cast<UINT>(QS_ALLINPUT | QS_ALLPOSTMESSAGE)) != 0) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    auto queue = w32::window::CurrentQueue();
    queue->ReadConnections();  // what other processes sent meanwhile
    DWORD arrived = 0;
    DWORD waiting = QueueKinds(*queue, &arrived);
    MarkLooked(*queue);
    return ((waiting & flags) << 16) | (arrived & flags);
}

W32API DWORD WINAPI MsgWaitForMultipleObjectsEx(DWORD nCount, const HANDLE* pHandles,
                                                DWORD dwMilliseconds, DWORD dwWakeMask,
                                                DWORD dwFlags) {
    constexpr DWORD kKnownFlags = MWMO_WAITALL | MWMO_ALERTABLE | MWMO_INPUTAVAILABLE;
    if (nCount > MAXIMUM_WAIT_OBJECTS - 1 || (nCount > 0 && pHandles == nullptr) ||
        (dwFlags & ~kKnownFlags) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    if ((dwWakeMask & ~static_cast<DWORD>(QS_ALLINPUT | QS_ALLPOSTMESSAGE)) != 0) {
        SetLastError(ERROR_INVALID_FLAGS);
        return WAIT_FAILED;
    }
    std::vector<std::shared_ptr<w32::KernelObject>> objects;
    if (!w32::LookupWaitable(nCount, pHandles, &objects)) {
        return WAIT_FAILED;
    }
    const bool waitAll = (dwFlags & MWMO_WAITALL) != 0 && nCount > 0;
    const bool available = (dwFlags & MWMO_INPUTAVAILABLE) != 0;
    const uint64_t deadline = dwMilliseconds == INFINITE ? UINT64_MAX : NowMs() + dwMilliseconds;
    auto queue = w32::window::CurrentQueue();

    // A change of any object writes to this thread's wake-up descriptor, so
    // one poll waits for the objects and the queue at once.
    struct Watch {
        int fd;
        explicit Watch(int eventFd) : fd(eventFd) {
            std::lock_guard<std::mutex> guard(w32::WaitLock());
            w32::AddChangeWatcher(fd);
        }
        ~Watch() {
            std::lock_guard<std::mutex> guard(w32::WaitLock());
            w32::RemoveChangeWatcher(fd);
        }
    } watch(queue->eventFd);

    for (;;) {
        queue->ReadConnections();
        DWORD arrived = 0;
        DWORD waiting = QueueKinds(*queue, &arrived);
        bool input = ((available ? waiting : arrived) & dwWakeMask) != 0;
        if (waitAll) {
            if (input && w32::WaitForObjects(objects, true, 0) == WAIT_OBJECT_0) {
                return WAIT_OBJECT_0;
            }
        } else {
            if (!objects.empty()) {
                DWORD signalled = w32::WaitForObjects(objects, false, 0);
                if (signalled != WAIT_TIMEOUT) {
                    return signalled;
                }
            }
            if (input) {
                return WAIT_OBJECT_0 + nCount;
            }
        }
        uint64_t now = NowMs();
        if (now >= deadline) {
            return WAIT_TIMEOUT;
        }
        int wait = deadline == UINT64_MAX
                       ? -1
                       : static_cast<int>(std::min<uint64_t>(deadline - now, 60000));
        if ((dwWakeMask & QS_TIMER) != 0) {
            int timerWait = NextTimerFalling(*queue);
            if (timerWait >= 0 && (wait < 0 || timerWait < wait)) {
                wait = timerWait;
            }
        }
        queue->Wait(wait);
    }
}

W32API DWORD WINAPI MsgWaitForMultipleObjects(DWORD nCount, const HANDLE* pHandles, BOOL fWaitAll,
                                              DWORD dwMilliseconds, DWORD dwWakeMask) {
    return MsgWaitForMultipleObjectsEx(nCount, pHandles, dwMilliseconds, dwWakeMask,
                                       fWaitAll ? MWMO_WAITALL : 0);
}

W32API BOOL WINAPI GetMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    if (lpMsg == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    auto queue = w32::window::CurrentQueue();
    queue->ReadConnections();  // what other processes sent meanwhile; later the waits read them
    for (;;) {
        MarkLooked(*queue);
        w32::window::HandleSentMessages(*queue);
        if (TakeMessage(*queue, lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, true)) {
            lastMessageTime = lpMsg->time;
            return lpMsg->message == WM_QUIT ? FALSE : TRUE;
        }
        queue->Wait(NextTimerWait(*queue));
    }
}

W32API BOOL WINAPI WaitMessage(void) {
    auto queue = w32::window::CurrentQueue();
    queue->Wait(NextTimerWait(*queue));
    return TRUE;
}

W32API BOOL WINAPI TranslateMessage(const MSG*) {
    return FALSE;
}

W32API LRESULT WINAPI DispatchMessageW(const MSG* lpMsg) {
    if (lpMsg == nullptr) {
        return 0;
    }
    if (lpMsg->message == WM_PAINT && lpMsg->wParam != w32::window::kPaintFromAnotherProcess &&
        !w32::window::NeedsPaint(lpMsg->hwnd)) {
        return 0;  // painted meanwhile (UpdateWindow): nothing is left to paint
    }
    if (lpMsg->message == WM_TIMER && lpMsg->lParam != 0) {
        // Only a procedure SetTimer registered on this thread is called; a
        // WM_TIMER posted with any other number is not a call.
        if (TimerProcedureOf(lpMsg->hwnd, lpMsg->wParam, lpMsg->lParam) == nullptr) {
            return 0;
        }
        auto proc = reinterpret_cast<TIMERPROC>(lpMsg->lParam);
        proc(lpMsg->hwnd, WM_TIMER, lpMsg->wParam, GetTickCount());
        return 0;
    }
    if (lpMsg->hwnd == nullptr) {
        return 0;
    }
    auto window = FindLocal(lpMsg->hwnd);
    if (!window || window->tid != GetCurrentThreadId()) {
        return 0;
    }
    return w32::window::CallProcedure(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

W32API LRESULT WINAPI DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    switch (Msg) {
        case WM_NCCREATE: {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            (void)create;
            return TRUE;
        }
        case WM_CLOSE:
            DestroyWindow(hWnd);
            return 0;
        case WM_SETTEXT: {
            auto window = FindLocal(hWnd);
            if (!window) {
                return FALSE;
            }
            {
                auto& state = w32::window::TheState();
                std::lock_guard<std::mutex> guard(state.lock);
                auto* text = reinterpret_cast<LPCWSTR>(lParam);
                window->title = text != nullptr ? text : u"";
            }
            w32::window::PublishRecord(*window);
            return TRUE;
        }
        case WM_GETTEXT: {
            auto* buffer = reinterpret_cast<LPWSTR>(lParam);
            return GetWindowTextW(hWnd, buffer, static_cast<int>(wParam));
        }
        case WM_GETTEXTLENGTH:
            return GetWindowTextLengthW(hWnd);
        case WM_PAINT: {
            PAINTSTRUCT paint;
            if (BeginPaint(hWnd, &paint) != nullptr) {
                EndPaint(hWnd, &paint);
            }
            return 0;
        }
        default:
            return 0;
    }
}

W32API LRESULT WINAPI CallWindowProcW(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam,
                                      LPARAM lParam) {
    if (lpPrevWndFunc == nullptr) {
        return 0;
    }
    return lpPrevWndFunc(hWnd, Msg, wParam, lParam);
}

W32API BOOL WINAPI InSendMessage(void) {
    return w32::window::CurrentQueue()->inSend > 0;
}

W32API DWORD WINAPI GetMessageTime(void) {
    return lastMessageTime;
}

W32API UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
    std::shared_ptr<ThreadQueue> queue;
    if (hWnd != nullptr) {
        auto window = FindLocal(hWnd);
        if (!window) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        queue = w32::window::QueueOf(window->tid);
    } else {
        queue = w32::window::CurrentQueue();
        static std::atomic<UINT_PTR> nextId{0x7F00};
        nIDEvent = nextId++;
    }
    // Windows takes at least 10 ms.
    UINT period = std::max<UINT>(uElapse, 10);
    {
        std::lock_guard<std::mutex> guard(queue->lock);
        bool replaced = false;
        for (Timer& timer : queue->timers) {
            if (timer.hwnd == hWnd && timer.id == nIDEvent) {
                timer.period = period;
                timer.due = NowMs() + period;
                timer.proc = lpTimerFunc;
                replaced = true;
            }
        }
        if (!replaced) {
            queue->timers.push_back(Timer{hWnd, nIDEvent, period, NowMs() + period, lpTimerFunc});
        }
    }
    queue->Wake();
    return nIDEvent == 0 && hWnd != nullptr ? 1 : nIDEvent;
}

W32API BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
    std::shared_ptr<ThreadQueue> queue;
    if (hWnd != nullptr) {
        auto window = FindLocal(hWnd);
        if (!window) {
            return FALSE;
        }
        queue = w32::window::QueueOf(window->tid);
    } else {
        queue = w32::window::CurrentQueue();
    }
    std::lock_guard<std::mutex> guard(queue->lock);
    auto& timers = queue->timers;
    auto before = timers.size();
    timers.erase(std::remove_if(timers.begin(), timers.end(),
                                [&](const Timer& t) { return t.hwnd == hWnd && t.id == uIDEvent; }),
                 timers.end());
    // A WM_TIMER already taken from a removed timer is not delivered again.
    return timers.size() != before;
}
