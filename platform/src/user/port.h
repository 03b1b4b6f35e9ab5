// The message port of one thread: its queues of sent and posted messages, its
// timers and quit state, and the socket through which other processes deliver
// to its windows. The owning thread reads its own socket whenever it looks at
// its queue (GetMessageW, PeekMessageW, a wait in SendMessageW, a modal loop),
// so a message from another process reaches the handler in one hop.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "user/wire.h"
#include "w32/user.h"

namespace w32::user {

class Port;

// A connection accepted from another process (owned by the receiving thread).
struct Connection {
    int fd = -1;
    wire::Reader reader;
    ~Connection();
};

// A connection to another process's thread (owned by the sending thread).
struct OutConnection {
    int fd = -1;
    wire::Reader reader;
    std::map<uint32_t, wire::Frame> replies;  // arrived, not yet taken
    uint32_t nextSeq = 1;
    bool dead = false;
    ~OutConnection();
    // Reads what has arrived; false when the peer has gone or misbehaved.
    bool ReadReplies();
};

// The sender's side of a send within this process.
struct Completion {
    std::mutex mutex;
    bool done = false;
    LRESULT result = 0;
    std::weak_ptr<Port> waiter;
    void Complete(LRESULT result);
    bool Done();
};

struct SentItem {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    bool copyData = false;
    bool noData = false;
    ULONG_PTR dwData = 0;
    std::vector<uint8_t> bytes;
    std::shared_ptr<Completion> local;
    std::shared_ptr<Connection> remote;
    uint32_t seq = 0;
    bool notify = false;  // SendNotifyMessageW: nobody waits
};

struct Timer {
    HWND hwnd;
    UINT_PTR id;
    UINT period;
    int64_t due;
    TIMERPROC proc;
};

int64_t NowMs();

class Port : public std::enable_shared_from_this<Port> {
public:
    explicit Port(DWORD tid);
    ~Port();
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    // The calling thread's port, made on first use.
    static std::shared_ptr<Port> Current();
    static std::shared_ptr<Port> CurrentIfAny();
    // The port of another thread of this process, if it has one.
    static std::shared_ptr<Port> ForThread(DWORD tid);

    DWORD tid() const { return tid_; }

    // Any thread. False when the port's thread has gone.
    bool PushSent(SentItem item);
    bool PushPosted(const MSG& msg);
    void Wake();

    // Owner thread only.
    bool EnsureListening();
    void Pump();
    bool HandleOneSent();
    void HandleSent();
    // Waits for anything on the port (or extraFd) up to timeoutMs (-1 forever);
    // kPortReady and kExtraReady tell which became readable.
    static constexpr int kPortReady = 1;
    static constexpr int kExtraReady = 2;
    int Wait(int timeoutMs, int extraFd);
    std::shared_ptr<OutConnection> Outgoing(uint64_t instance, DWORD tid);
    void DropOutgoing(uint64_t instance, DWORD tid);
    void Shutdown();

    // Guarded by mutex.
    std::mutex mutex;
    std::deque<SentItem> sent;
    std::deque<MSG> posted;
    std::vector<Timer> timers;
    bool quit = false;
    int quitCode = 0;
    bool closed = false;
    // Owner thread only.
    int handlingSent = 0;

private:
    void Accept();
    void ReadConnection(int fd);
    void CloseConnection(int fd);
    void OnFrame(const std::shared_ptr<Connection>& conn, wire::Frame& frame);

    DWORD tid_;
    int epfd_ = -1;
    int evfd_ = -1;
    int listenFd_ = -1;
    std::map<int, std::shared_ptr<Connection>> conns_;
    std::map<std::pair<uint64_t, DWORD>, std::shared_ptr<OutConnection>> out_;
};

// Provided by the window manager: runs a sent message on this thread.
LRESULT DeliverSent(SentItem& item);
// Provided by the menu code: the items of the popup menu shown in a window.
std::vector<uint8_t> AnswerMenuQuery(HWND menuWindow, bool* found);
// Called when a thread's port goes: its windows go with it.
void DestroyThreadWindows(DWORD tid);

DWORD CurrentTid();

}  // namespace w32::user
