#include "window/remote.h"

#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <utility>

#include "w32/kernel.h"
#include "window/core.h"
#include "window/marshalling.h"
#include "window/session.h"

namespace w32::window {
namespace {

// How often the I/O thread looks at the connections of threads that are
// busy elsewhere.
constexpr uint64_t kLookMs = 50;

// Wakes the I/O thread; -1 until the server runs.
std::atomic<int> serverWake{-1};

bool SameUser(int fd) {
    struct ucred credentials {};
    socklen_t length = sizeof(credentials);
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0 &&
           credentials.uid == getuid();
}

void ReplyZero(const std::shared_ptr<Connection>& connection, const FrameHeader& header) {
    FrameHeader reply{kFrameMagic,
                      static_cast<uint32_t>(FrameType::kReply),
                      header.sequence,
                      header.hwnd,
                      header.message,
                      0,
                      0,
                      0,
                      0,
                      0};
    connection->Write(reply, nullptr);
}

// Withdraws a send whose sender has given up waiting, unless its receiver
// has already taken it.
void Withdraw(const std::shared_ptr<Connection>& connection, const std::shared_ptr<Window>& window,
              uint64_t sequence) {
    std::shared_ptr<ThreadQueue> queue = window ? FindQueue(window->tid) : nullptr;
    if (!queue) {
        return;
    }
    std::lock_guard<std::mutex> guard(queue->lock);
    auto& sent = queue->sent;
    sent.erase(std::remove_if(sent.begin(), sent.end(),
                              [&](const std::shared_ptr<SentMessage>& message) {
                                  return message->replyTo == connection &&
                                         message->sequence == sequence;
                              }),
               sent.end());
}

// Points the message's lParam (and, for WM_GETTEXT, wParam) at what crossed
// with it, kept in the message itself. False when the message cannot be
// handed to a window procedure.
bool Unmarshal(SentMessage& message, const FrameHeader& header, std::vector<uint8_t>&& data) {
    switch (CrossingOf(header.message)) {
        case Crossing::kValue:
            return true;
        case Crossing::kCopyData:
            message.data = std::move(data);
            message.copyData.dwData = static_cast<ULONG_PTR>(header.copyDataTag);
            message.copyData.cbData = static_cast<DWORD>(message.data.size());
            message.copyData.lpData = message.data.empty() ? nullptr : message.data.data();
            message.lParam = reinterpret_cast<LPARAM>(&message.copyData);
            return true;
        case Crossing::kSetText:
            if (data.size() % sizeof(char16_t) != 0) {
                return false;
            }
            message.text.resize(data.size() / sizeof(char16_t));
            if (!data.empty()) {
                memcpy(message.text.data(), data.data(), data.size());
            }
            message.lParam = reinterpret_cast<LPARAM>(message.text.c_str());
            return true;
        case Crossing::kGetText: {
            // The receiver writes into a buffer of its own, of the size asked
            // for (within what a reply can carry back).
            uint64_t room = std::min<uint64_t>(header.wParam, kMaxFrameData / sizeof(char16_t));
            message.text.assign(static_cast<size_t>(room), u'\0');
            message.wParam = static_cast<WPARAM>(room);
            message.lParam = reinterpret_cast<LPARAM>(message.text.data());
            return true;
        }
        case Crossing::kRefused:
            return false;
    }
    return false;
}

// Queues a frame that arrived for a window of this process. Returns the
// thread it went to, 0 when the window (or its thread) has gone.
DWORD Deliver(const std::shared_ptr<Connection>& connection, const FrameHeader& header,
              std::vector<uint8_t>&& data) {
    HWND hwnd = Handle(header.hwnd);
    std::shared_ptr<Window> window = FindLocal(hwnd);
    if (header.type == static_cast<uint32_t>(FrameType::kCancel)) {
        Withdraw(connection, window, header.sequence);
        return window ? window->tid : 0;
    }
    if (header.type == static_cast<uint32_t>(FrameType::kPost)) {
        // What points to the sender's memory is never posted; such a frame
        // comes only from a process that forged it.
        if (!window || CrossingOf(header.message) != Crossing::kValue) {
            return 0;
        }
        PostLocal(window, header.message, static_cast<WPARAM>(header.wParam),
                  static_cast<LPARAM>(header.lParam));
        return window->tid;
    }
    std::shared_ptr<ThreadQueue> queue = window ? FindQueue(window->tid) : nullptr;
    if (!queue) {
        ReplyZero(connection, header);
        return 0;
    }
    auto message = std::make_shared<SentMessage>();
    message->hwnd = hwnd;
    message->message = header.message;
    message->wParam = static_cast<WPARAM>(header.wParam);
    message->lParam = static_cast<LPARAM>(header.lParam);
    message->replyTo = connection;
    message->sequence = header.sequence;
    if (!Unmarshal(*message, header, std::move(data))) {
        ReplyZero(connection, header);
        return queue->tid;
    }
    {
        std::lock_guard<std::mutex> guard(queue->lock);
        if (queue->closed) {
            // Its thread has ended and answered what it had; so is this.
            message.reset();
        } else {
            queue->sent.push_back(message);
            queue->arrived |= QS_SENDMESSAGE;
        }
    }
    if (!message) {
        ReplyZero(connection, header);
        return 0;
    }
    // A thread reading its own connection handles the message when it
    // returns from its wait; no wake-up needed.
    if (queue->tid != GetCurrentThreadId()) {
        queue->Wake();
    }
    return queue->tid;
}

// What the I/O thread knows of an accepted connection.
struct Incoming {
    std::shared_ptr<Connection> connection;
    // The thread that reads it itself; null: the I/O thread reads it.
    std::shared_ptr<ThreadQueue> owner;
    // The owner was busy while frames waited: the I/O thread reads it too,
    // until the owner is seen waiting again.
    bool lent = false;
};

// Hands a connection to the thread its frames are for.
void Adopt(Incoming& incoming, DWORD tid) {
    std::shared_ptr<ThreadQueue> queue = FindQueue(tid);
    if (!queue) {
        return;
    }
    {
        std::lock_guard<std::mutex> guard(queue->lock);
        if (queue->closed) {
            return;
        }
        queue->connections.push_back(incoming.connection);
        queue->connectionsChanged = true;
    }
    queue->Wake();  // so that its wait watches the connection too
    incoming.owner = std::move(queue);
}

bool Readable(const pollfd& polled) {
    return (polled.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

void Serve(int listener, int wake) {
    std::vector<Incoming> incoming;
    std::vector<pollfd> fds;
    std::vector<size_t> polledIndex;  // fds[2 + i] is incoming[polledIndex[i]]
    uint64_t lastLook = NowMs();
    for (;;) {
        incoming.erase(std::remove_if(incoming.begin(), incoming.end(),
                                      [](const Incoming& in) { return in.connection->Broken(); }),
                       incoming.end());
        fds.clear();
        polledIndex.clear();
        fds.push_back({listener, POLLIN, 0});
        fds.push_back({wake, POLLIN, 0});
        bool anyOwned = false;
        for (size_t i = 0; i < incoming.size(); ++i) {
            Incoming& in = incoming[i];
            if (in.owner && in.owner->closed) {
                in.owner.reset();  // its thread has ended
                in.lent = false;
            }
            if (!in.owner || in.lent) {
                fds.push_back({in.connection->Descriptor(), POLLIN, 0});
                polledIndex.push_back(i);
            } else {
                anyOwned = true;
            }
        }
        int timeout = -1;
        if (anyOwned) {
            uint64_t since = NowMs() - lastLook;
            timeout = since >= kLookMs ? 0 : static_cast<int>(kLookMs - since);
        }
        if (poll(fds.data(), fds.size(), timeout) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[1].revents & POLLIN) {
            uint64_t value;
            ssize_t ignored = read(wake, &value, sizeof(value));
            (void)ignored;
        }
        for (size_t i = 0; i < polledIndex.size(); ++i) {
            if (!Readable(fds[2 + i])) {
                continue;
            }
            Incoming& in = incoming[polledIndex[i]];
            if (in.owner && in.owner->waiting) {
                in.lent = false;  // its thread is back and reads it
                continue;
            }
            DWORD target = 0;
            if (in.connection->ReadAvailable(nullptr, &target) && !in.owner && target != 0) {
                Adopt(in, target);
            }
        }
        if (anyOwned && NowMs() - lastLook >= kLookMs) {
            lastLook = NowMs();
            for (Incoming& in : incoming) {
                if (in.owner && !in.lent && !in.owner->waiting) {
                    bool delivered = false;
                    in.connection->ReadAvailable(&delivered);
                    in.lent = delivered;
                }
            }
        }
        if (fds[0].revents & POLLIN) {
            int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                if (SameUser(fd)) {
                    incoming.push_back({std::make_shared<Connection>(fd), nullptr, false});
                } else {
                    close(fd);
                }
            }
        }
    }
}

int Connect(pid_t pid) {
    std::string path = session::SocketPath(pid);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path)) {
        return -1;
    }
    memcpy(address.sun_path, path.c_str(), path.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// One connection per sending thread and target thread, so that the target
// thread can read it itself.
struct OutgoingConnections {
    using Key = std::pair<pid_t, DWORD>;
    std::map<Key, int> fds;
    ~OutgoingConnections() {
        for (auto& [key, fd] : fds) {
            close(fd);
        }
    }
    int Get(pid_t pid, DWORD tid) {
        auto it = fds.find({pid, tid});
        if (it != fds.end()) {
            return it->second;
        }
        int fd = Connect(pid);
        if (fd >= 0) {
            fds[{pid, tid}] = fd;
        }
        return fd;
    }
    void Drop(pid_t pid, DWORD tid) {
        auto it = fds.find({pid, tid});
        if (it != fds.end()) {
            close(it->second);
            fds.erase(it);
        }
    }
};

thread_local OutgoingConnections outgoing;
thread_local uint64_t nextSequence = 1;

FrameHeader MakeHeader(FrameType type, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                       std::vector<uint8_t>& data) {
    FrameHeader header{kFrameMagic,
                       static_cast<uint32_t>(type),
                       nextSequence++,
                       Value(hwnd),
                       message,
                       static_cast<uint64_t>(wParam),
                       static_cast<int64_t>(lParam),
                       0,
                       0,
                       0};
    // The bytes cross; the pointers do not.
    switch (CrossingOf(message)) {
        case Crossing::kCopyData: {
            header.lParam = 0;
            const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            if (copy != nullptr) {
                header.copyDataTag = static_cast<uint64_t>(copy->dwData);
                if (copy->lpData != nullptr && copy->cbData > 0 && copy->cbData <= kMaxFrameData) {
                    const auto* bytes = static_cast<const uint8_t*>(copy->lpData);
                    data.assign(bytes, bytes + copy->cbData);
                }
            }
            break;
        }
        case Crossing::kSetText: {
            header.lParam = 0;
            const auto* text = reinterpret_cast<const char16_t*>(lParam);
            if (text != nullptr) {
                size_t length = std::char_traits<char16_t>::length(text);
                length = std::min<size_t>(length, kMaxFrameData / sizeof(char16_t));
                const auto* bytes = reinterpret_cast<const uint8_t*>(text);
                data.assign(bytes, bytes + length * sizeof(char16_t));
            }
            break;
        }
        case Crossing::kGetText:
            header.lParam = 0;
            break;
        case Crossing::kValue:
        case Crossing::kRefused:
            break;
    }
    header.dataSize = static_cast<uint32_t>(data.size());
    return header;
}

// Copies the text a WM_GETTEXT reply carries into the sender's buffer of
// `room` characters; returns the characters copied.
LRESULT TakeText(const std::vector<uint8_t>& data, LPARAM buffer, WPARAM room) {
    auto* out = reinterpret_cast<char16_t*>(buffer);
    if (out == nullptr || room == 0) {
        return 0;
    }
    size_t count = std::min<size_t>(data.size() / sizeof(char16_t), room - 1);
    if (count > 0) {
        memcpy(out, data.data(), count * sizeof(char16_t));
    }
    out[count] = 0;
    return static_cast<LRESULT>(count);
}

}  // namespace

Connection::~Connection() {
    close(fd);
}

bool Connection::Write(const FrameHeader& header, const void* data) {
    std::lock_guard<std::mutex> guard(writeLock);
    return WriteFrame(fd, header, data);
}

bool Connection::ReadAvailable(bool* delivered, DWORD* targetThread) {
    // One reader at a time, delivering under the lock, keeps the frames in order.
    std::lock_guard<std::mutex> guard(readLock);
    if (broken) {
        return false;
    }
    std::shared_ptr<Connection> self = shared_from_this();
    constexpr size_t kChunk = 65536;
    FrameHeader header;
    std::vector<uint8_t> data;
    bool malformed = false;
    for (;;) {
        uint8_t* space = reader.Space(kChunk);
        ssize_t got = recv(fd, space, kChunk, MSG_DONTWAIT);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return true;
        }
        if (got <= 0) {
            break;  // closed by the peer, or failed
        }
        reader.Commit(static_cast<size_t>(got));
        while (reader.Next(header, data, &malformed)) {
            if (header.type == static_cast<uint32_t>(FrameType::kReply)) {
                malformed = true;  // a frame that has no business here
                break;
            }
            DWORD target = Deliver(self, header, std::move(data));
            if (delivered != nullptr) {
                *delivered = true;
            }
            if (targetThread != nullptr && *targetThread == 0) {
                *targetThread = target;
            }
        }
        if (malformed) {
            break;
        }
        if (static_cast<size_t>(got) < kChunk) {
            return true;  // all there was
        }
    }
    broken = true;
    shutdown(fd, SHUT_RDWR);
    return false;
}

void ReadOwnConnections(ThreadQueue& queue,
                        const std::vector<std::shared_ptr<Connection>>& connections,
                        const pollfd* polled) {
    bool anyBroken = false;
    for (size_t i = 0; i < connections.size(); ++i) {
        if (polled != nullptr && !Readable(polled[i])) {
            continue;
        }
        if (!connections[i]->ReadAvailable()) {
            anyBroken = true;
        }
    }
    if (anyBroken) {
        {
            std::lock_guard<std::mutex> guard(queue.lock);
            auto& own = queue.connections;
            own.erase(std::remove_if(own.begin(), own.end(),
                                     [](const auto& connection) { return connection->Broken(); }),
                      own.end());
            queue.connectionsChanged = true;
        }
        WakeServer();
    }
}

void WakeServer() {
    int fd = serverWake.load();
    if (fd >= 0) {
        uint64_t one = 1;
        ssize_t ignored = write(fd, &one, sizeof(one));
        (void)ignored;
    }
}

void StartServer() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (session::Directory().empty()) {
            return;
        }
        session::MarkProcessAlive();
        std::string path = session::SocketPath(getpid());
        unlink(path.c_str());
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (path.size() >= sizeof(address.sun_path)) {
            return;
        }
        memcpy(address.sun_path, path.c_str(), path.size() + 1);
        int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (listener < 0 || wake < 0 ||
            bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
            listen(listener, 64) != 0) {
            if (listener >= 0) {
                close(listener);
            }
            if (wake >= 0) {
                close(wake);
            }
            return;
        }
        serverWake = wake;
        std::thread(Serve, listener, wake).detach();
    });
}

LRESULT RemoteSend(pid_t pid, DWORD tid, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                   bool* delivered, int timeoutMs, bool* timedOut) {
    *delivered = false;
    if (CrossingOf(message) == Crossing::kRefused) {
        SetLastError(ERROR_ACCESS_DENIED);  // its structure would not cross
        return 0;
    }
    int fd = outgoing.Get(pid, tid);
    if (fd < 0) {
        return 0;
    }
    std::vector<uint8_t> data;
    FrameHeader header = MakeHeader(FrameType::kSend, hwnd, message, wParam, lParam, data);
    if (!WriteFrame(fd, header, data.data())) {
        outgoing.Drop(pid, tid);
        return 0;
    }
    const uint64_t deadline = timeoutMs < 0 ? 0 : NowMs() + static_cast<uint64_t>(timeoutMs);
    // While the reply is on its way, this thread's own windows keep taking
    // the messages sent to them (a reply sent from inside the receiver's
    // handler arrives that way).
    std::shared_ptr<ThreadQueue> queue = CurrentQueue();
    for (;;) {
        HandleSentMessages(*queue);
        int wait = -1;
        if (timeoutMs >= 0) {
            uint64_t now = NowMs();
            if (now >= deadline) {
                // Given up: withdrawn if the receiver has not taken it yet; a
                // reply that comes later is skipped by its sequence.
                FrameHeader cancel = header;
                cancel.type = static_cast<uint32_t>(FrameType::kCancel);
                cancel.wParam = 0;
                cancel.lParam = 0;
                cancel.dataSize = 0;
                cancel.copyDataTag = 0;
                if (!WriteFrame(fd, cancel, nullptr)) {
                    outgoing.Drop(pid, tid);
                }
                if (timedOut != nullptr) {
                    *timedOut = true;
                }
                return 0;
            }
            wait = static_cast<int>(std::min<uint64_t>(deadline - now, 0x7FFFFFFF));
        }
        if (queue->Wait(wait, fd)) {
            FrameHeader reply;
            std::vector<uint8_t> replyData;
            if (!ReadFrame(fd, reply, replyData) ||
                reply.type != static_cast<uint32_t>(FrameType::kReply)) {
                outgoing.Drop(pid, tid);  // the receiver died or broke the connection
                return 0;
            }
            if (reply.sequence != header.sequence) {
                continue;  // a late reply of an abandoned send
            }
            *delivered = true;
            if (CrossingOf(message) == Crossing::kGetText) {
                return TakeText(replyData, lParam, wParam);
            }
            return static_cast<LRESULT>(reply.lParam);
        }
    }
}

bool RemotePost(pid_t pid, DWORD tid, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    int fd = outgoing.Get(pid, tid);
    if (fd < 0) {
        return false;
    }
    if (CrossingOf(message) != Crossing::kValue) {
        SetLastError(SyncOnly(message) ? ERROR_MESSAGE_SYNC_ONLY : ERROR_ACCESS_DENIED);
        return false;
    }
    std::vector<uint8_t> data;
    FrameHeader header = MakeHeader(FrameType::kPost, hwnd, message, wParam, lParam, data);
    if (!WriteFrame(fd, header, data.data())) {
        outgoing.Drop(pid, tid);
        return false;
    }
    return true;
}

}  // namespace w32::window
