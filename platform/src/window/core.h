// The window system's in-process state: windows, classes and one message
// queue per thread that owns windows or asks for messages.
#pragma once

#include <poll.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "w32/user.h"

namespace w32::window {

struct WindowClass {
    std::u16string name;
    WNDCLASSEXW info{};
    ATOM atom = 0;
};

struct Window {
    uint32_t handle = 0;
    DWORD tid = 0;
    WNDPROC proc = nullptr;
    std::shared_ptr<WindowClass> windowClass;
    uint32_t parent = 0;  // 0: top level (the desktop's child)
    // Written by another thread when that thread destroys this window's owner.
    std::atomic<uint32_t> owner{0};
    DWORD style = 0;
    DWORD exStyle = 0;
    std::u16string title;
    LONG_PTR userData = 0;
    LONG_PTR dialogLongs[3] = {0, 0, 0};  // DWLP_MSGRESULT, DWLP_DLGPROC, DWLP_USER
    int controlId = 0;
    HINSTANCE instance = nullptr;
    bool messageOnly = false;
    bool destroying = false;
    bool topmost = false;
    BYTE alpha = 255;
    RECT rect{0, 0, 0, 0};  // in the parent's client coordinates (the screen's for top level)
    std::vector<uint32_t> children;
    bool paintPending = false;  // a WM_PAINT is queued and not yet painted
    // The last paint's colour answer and DC state (see session::WindowRecord).
    bool colourAnswered = false;
    COLORREF brushColour = 0xFFFFFFFF;
    bool hollowBrush = false;
    int bkMode = 0;
    COLORREF textColour = 0;
};

class Connection;

// A message sent to a window of this thread, waiting to be handled.
struct SentMessage {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    // What a message from another process points to: WM_COPYDATA's bytes and
    // the structure over them, WM_SETTEXT's text, WM_GETTEXT's buffer.
    std::vector<uint8_t> data;
    COPYDATASTRUCT copyData{};
    std::u16string text;
    LRESULT result = 0;
    bool done = false;
    // Who waits for the result: a thread of this process, or another process.
    struct ThreadQueue* sender = nullptr;
    std::shared_ptr<Connection> replyTo;
    uint64_t sequence = 0;
};

struct Timer {
    HWND hwnd = nullptr;
    UINT_PTR id = 0;
    UINT period = 0;
    uint64_t due = 0;
    TIMERPROC proc = nullptr;
};

struct ThreadQueue {
    explicit ThreadQueue(DWORD threadId);
    ~ThreadQueue();
    void Wake();
    // Waits for a wake-up or extraFd becoming readable, at most timeoutMs (-1: no bound);
    // frames arriving meanwhile on this thread's own connections are taken into the queue.
    // Returns true when extraFd is readable. Only the queue's own thread waits.
    bool Wait(int timeoutMs, int extraFd = -1);
    // Takes what has arrived on this thread's own connections, without waiting.
    void ReadConnections();

    const DWORD tid;
    std::mutex lock;
    std::deque<std::shared_ptr<SentMessage>> sent;
    std::deque<MSG> posted;
    std::vector<Timer> timers;
    bool quit = false;
    int quitCode = 0;
    int inSend = 0;  // depth of sent messages being handled
    // The kinds of input (QS_*) that arrived since the thread last looked at
    // its queue, and when it last looked (timers that fell due since are new).
    DWORD arrived = 0;
    uint64_t lastLookMs = 0;
    int eventFd = -1;
    // Connections from other processes whose frames this thread reads itself.
    std::vector<std::shared_ptr<Connection>> connections;
    bool connectionsChanged = false;
    // Set (under lock) when the thread has ended: nothing more is queued.
    std::atomic<bool> closed{false};
    // True while the thread waits in Wait, reading its connections.
    std::atomic<bool> waiting{false};

private:
    // Takes up the connections handed over meanwhile; true when sent messages wait.
    bool RefreshConnections();
    // The thread's own copy of connections, and its poll set.
    std::vector<std::shared_ptr<Connection>> watched;
    std::vector<pollfd> pollFds;
};

struct State {
    std::mutex lock;
    std::unordered_map<uint32_t, std::shared_ptr<Window>> windows;
    std::vector<std::shared_ptr<WindowClass>> classes;
    std::unordered_map<DWORD, std::shared_ptr<ThreadQueue>> queues;
    ATOM nextAtom = 0xC000;
};

State& TheState();
std::shared_ptr<ThreadQueue> QueueOf(DWORD tid);    // created on demand
std::shared_ptr<ThreadQueue> FindQueue(DWORD tid);  // null when the thread has none
std::shared_ptr<ThreadQueue> CurrentQueue();
std::shared_ptr<Window> FindLocal(HWND hwnd);
uint32_t Value(HWND hwnd);
HWND Handle(uint32_t value);
uint64_t NowMs();
// From the first window on, SIGTERM, SIGINT and SIGHUP post WM_CLOSE to the
// process's top-level windows in creation order (once per process).
void CloseWindowsOnSignals();

// The desktop window's handle, the same in every process.
inline constexpr uint32_t kDesktopHandle = 0x10000;

// Handles every message sent to the current thread; true when any was.
bool HandleSentMessages(ThreadQueue& queue);
// Answers 0 to every message still waiting in the queue (its thread has ended).
void ReleaseSentMessages(ThreadQueue& queue);
// Calls the window procedure of a local window on its own thread.
LRESULT CallProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Posts into a local thread's queue.
bool PostLocal(const std::shared_ptr<Window>& window, UINT message, WPARAM wParam, LPARAM lParam);
void PublishRecord(const Window& window);
// The window's rectangle in screen coordinates.
RECT ScreenRect(const Window& window);

}  // namespace w32::window
