#include "window/core.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "w32/kernel.h"
#include "window/remote.h"
#include "window/session.h"

namespace w32::window {

ThreadQueue::ThreadQueue(DWORD threadId) : tid(threadId) {
    eventFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

ThreadQueue::~ThreadQueue() {
    if (eventFd >= 0) {
        close(eventFd);
    }
}

void ThreadQueue::Wake() {
    uint64_t one = 1;
    ssize_t ignored = write(eventFd, &one, sizeof(one));
    (void)ignored;
}

bool ThreadQueue::RefreshConnections() {
    std::lock_guard<std::mutex> guard(lock);
    if (connectionsChanged) {
        watched = connections;
        connectionsChanged = false;
    }
    return !sent.empty();
}

bool ThreadQueue::Wait(int timeoutMs, int extraFd) {
    if (RefreshConnections()) {
        // A message this thread took from its own connections raised no
        // wake-up; a wait that comes before it is handled does not block.
        timeoutMs = 0;
    }
    pollFds.clear();
    pollFds.push_back({eventFd, POLLIN, 0});
    pollFds.push_back({extraFd, POLLIN, 0});  // poll() skips a negative descriptor
    for (const auto& connection : watched) {
        pollFds.push_back({connection->Descriptor(), POLLIN, 0});
    }
    int ready;
    waiting = true;
    do {
        ready = poll(pollFds.data(), static_cast<nfds_t>(pollFds.size()), timeoutMs);
    } while (ready < 0 && errno == EINTR);
    waiting = false;
    if (pollFds[0].revents & POLLIN) {
        uint64_t value;
        ssize_t ignored = read(eventFd, &value, sizeof(value));
        (void)ignored;
    }
    if (ready > 0 && !watched.empty()) {
        ReadOwnConnections(*this, watched, pollFds.data() + 2);
    }
    return extraFd >= 0 && (pollFds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

void ThreadQueue::ReadConnections() {
    RefreshConnections();
    if (!watched.empty()) {
        ReadOwnConnections(*this, watched, nullptr);
    }
}

State& TheState() {
    static State* state = new State;  // outlives static destructors of every module
    return *state;
}

std::shared_ptr<ThreadQueue> QueueOf(DWORD tid) {
    State& state = TheState();
    std::lock_guard<std::mutex> guard(state.lock);
    auto& queue = state.queues[tid];
    if (!queue) {
        queue = std::make_shared<ThreadQueue>(tid);
    }
    return queue;
}

std::shared_ptr<ThreadQueue> FindQueue(DWORD tid) {
    State& state = TheState();
    std::lock_guard<std::mutex> guard(state.lock);
    auto it = state.queues.find(tid);
    return it == state.queues.end() ? nullptr : it->second;
}

namespace {

// When a thread ends, its windows go with it, as on Windows: they leave the
// session's table (IsWindow false, later sends return 0 at once) and senders
// still waiting on the thread are answered 0 instead of waiting forever.
struct ThreadQueueHolder {
    std::shared_ptr<ThreadQueue> queue;
    ~ThreadQueueHolder() {
        if (!queue) {
            return;
        }
        State& state = TheState();
        std::vector<uint32_t> gone;
        {
            std::lock_guard<std::mutex> guard(state.lock);
            for (auto it = state.windows.begin(); it != state.windows.end();) {
                if (it->second->tid == queue->tid) {
                    gone.push_back(it->first);
                    it = state.windows.erase(it);
                } else {
                    ++it;
                }
            }
            state.queues.erase(queue->tid);
        }
        for (uint32_t handle : gone) {
            session::WithdrawWindow(handle);
        }
        // Nothing more is queued here; what still comes on this thread's
        // connections is the I/O thread's to answer.
        {
            std::lock_guard<std::mutex> guard(queue->lock);
            queue->closed = true;
            queue->connections.clear();
            queue->connectionsChanged = true;
        }
        WakeServer();
        ReleaseSentMessages(*queue);
    }
};

}  // namespace

std::shared_ptr<ThreadQueue> CurrentQueue() {
    // A thread's queue lives as long as the thread.
    thread_local ThreadQueueHolder current{QueueOf(GetCurrentThreadId())};
    return current.queue;
}

uint32_t Value(HWND hwnd) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hwnd));
}

HWND Handle(uint32_t value) {
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(value));
}

std::shared_ptr<Window> FindLocal(HWND hwnd) {
    State& state = TheState();
    std::lock_guard<std::mutex> guard(state.lock);
    auto it = state.windows.find(Value(hwnd));
    return it == state.windows.end() ? nullptr : it->second;
}

uint64_t NowMs() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000ULL +
           static_cast<uint64_t>(now.tv_nsec) / 1000000ULL;
}

void PublishRecord(const Window& window) {
    session::WindowRecord record;
    record.handle = window.handle;
    record.pid = getpid();
    record.tid = window.tid;
    record.parent = window.parent;
    record.owner = window.owner;
    record.style = window.style;
    record.exStyle = window.exStyle | (window.topmost ? WS_EX_TOPMOST : 0);
    record.controlId = window.controlId;
    record.messageOnly = window.messageOnly;
    record.className = window.windowClass ? window.windowClass->name : std::u16string();
    record.title = window.title;
    RECT screen = ScreenRect(window);
    record.left = screen.left;
    record.top = screen.top;
    record.right = screen.right;
    record.bottom = screen.bottom;
    record.colourAnswered = window.colourAnswered;
    record.brushColour = window.brushColour;
    record.hollowBrush = window.hollowBrush;
    record.bkMode = window.bkMode;
    record.textColour = window.textColour;
    session::PublishWindow(record);
}

RECT ScreenRect(const Window& window) {
    RECT rect = window.rect;
    uint32_t parent = window.parent;
    for (int depth = 0; parent != 0 && depth < 64; ++depth) {
        auto above = FindLocal(Handle(parent));
        if (!above) {
            break;
        }
        rect.left += above->rect.left;
        rect.right += above->rect.left;
        rect.top += above->rect.top;
        rect.bottom += above->rect.top;
        parent = above->parent;
    }
    return rect;
}

}  // namespace w32::window
