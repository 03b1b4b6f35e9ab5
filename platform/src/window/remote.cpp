#include "window/remote.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <thread>

#include "window/core.h"
#include "window/session.h"

namespace w32::window {
namespace {

bool WriteAll(int fd, const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t put = send(fd, bytes, size, MSG_NOSIGNAL);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        bytes += put;
        size -= static_cast<size_t>(put);
    }
    return true;
}

bool ReadAll(int fd, void* data, size_t size) {
    char* bytes = static_cast<char*>(data);
    while (size > 0) {
        ssize_t got = recv(fd, bytes, size, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        bytes += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

bool WriteFrame(int fd, const FrameHeader& header, const void* data) {
    if (header.dataSize == 0) {
        return WriteAll(fd, &header, sizeof(header));
    }
    // One buffer, so that the frame goes out in as few calls as possible.
    std::vector<char> frame(sizeof(header) + header.dataSize);
    memcpy(frame.data(), &header, sizeof(header));
    memcpy(frame.data() + sizeof(header), data, header.dataSize);
    return WriteAll(fd, frame.data(), frame.size());
}

// Reads one frame; false on a closed connection or a malformed frame.
bool ReadFrame(int fd, FrameHeader& header, std::vector<uint8_t>& data) {
    if (!ReadAll(fd, &header, sizeof(header)) || header.magic != kFrameMagic ||
        header.dataSize > kMaxFrameData || header.type < 1 || header.type > 3) {
        return false;
    }
    data.resize(header.dataSize);
    return header.dataSize == 0 || ReadAll(fd, data.data(), header.dataSize);
}

bool SameUser(int fd) {
    struct ucred credentials {};
    socklen_t length = sizeof(credentials);
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0 &&
           credentials.uid == getuid();
}

// Queues a frame that arrived for a window of this process.
void Deliver(const std::shared_ptr<Connection>& connection, const FrameHeader& header,
             std::vector<uint8_t>&& data) {
    HWND hwnd = Handle(header.hwnd);
    std::shared_ptr<Window> window = FindLocal(hwnd);
    if (header.type == static_cast<uint32_t>(FrameType::kPost)) {
        if (window) {
            PostLocal(window, header.message, static_cast<WPARAM>(header.wParam),
                      static_cast<LPARAM>(header.lParam));
        }
        return;
    }
    if (!window) {
        FrameHeader reply{kFrameMagic, static_cast<uint32_t>(FrameType::kReply), header.sequence,
                          header.hwnd, header.message, 0, 0, 0, 0, 0};
        connection->Write(reply, nullptr);
        return;
    }
    auto message = std::make_shared<SentMessage>();
    message->hwnd = hwnd;
    message->message = header.message;
    message->wParam = static_cast<WPARAM>(header.wParam);
    message->lParam = static_cast<LPARAM>(header.lParam);
    message->replyTo = connection;
    message->sequence = header.sequence;
    if (header.flags & kFlagCopyData) {
        message->data = std::move(data);
        message->hasCopyData = true;
        message->copyData.dwData = static_cast<ULONG_PTR>(header.copyDataTag);
        message->copyData.cbData = static_cast<DWORD>(message->data.size());
        message->copyData.lpData = message->data.empty() ? nullptr : message->data.data();
    }
    std::shared_ptr<ThreadQueue> queue = QueueOf(window->tid);
    {
        std::lock_guard<std::mutex> guard(queue->lock);
        queue->sent.push_back(message);
    }
    queue->Wake();
}

void Serve(int listener) {
    std::map<int, std::shared_ptr<Connection>> connections;
    std::vector<pollfd> fds;
    for (;;) {
        fds.clear();
        fds.push_back({listener, POLLIN, 0});
        for (auto& [fd, connection] : connections) {
            fds.push_back({fd, POLLIN, 0});
        }
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[0].revents & POLLIN) {
            int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                if (SameUser(fd)) {
                    connections[fd] = std::make_shared<Connection>(fd);
                } else {
                    close(fd);
                }
            }
        }
        for (size_t i = 1; i < fds.size(); ++i) {
            if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
                continue;
            }
            int fd = fds[i].fd;
            FrameHeader header;
            std::vector<uint8_t> data;
            if (!ReadFrame(fd, header, data) ||
                header.type == static_cast<uint32_t>(FrameType::kReply)) {
                // Closed, malformed, or a frame that has no business here.
                shutdown(fd, SHUT_RDWR);
                connections.erase(fd);
                continue;
            }
            Deliver(connections[fd], header, std::move(data));
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

// One connection per sending thread and target process.
struct OutgoingConnections {
    std::map<pid_t, int> fds;
    ~OutgoingConnections() {
        for (auto& [pid, fd] : fds) {
            close(fd);
        }
    }
    int Get(pid_t pid) {
        auto it = fds.find(pid);
        if (it != fds.end()) {
            return it->second;
        }
        int fd = Connect(pid);
        if (fd >= 0) {
            fds[pid] = fd;
        }
        return fd;
    }
    void Drop(pid_t pid) {
        auto it = fds.find(pid);
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
    FrameHeader header{kFrameMagic, static_cast<uint32_t>(type), nextSequence++, Value(hwnd), message,
                       static_cast<uint64_t>(wParam), static_cast<int64_t>(lParam), 0, 0, 0};
    if (message == WM_COPYDATA) {
        // The bytes cross; the pointer does not.
        header.flags = kFlagCopyData;
        header.lParam = 0;
        const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (copy != nullptr) {
            header.copyDataTag = static_cast<uint64_t>(copy->dwData);
            if (copy->lpData != nullptr && copy->cbData > 0 && copy->cbData <= kMaxFrameData) {
                const auto* bytes = static_cast<const uint8_t*>(copy->lpData);
                data.assign(bytes, bytes + copy->cbData);
            }
        }
        header.dataSize = static_cast<uint32_t>(data.size());
    }
    return header;
}

}  // namespace

Connection::~Connection() { close(fd); }

bool Connection::Write(const FrameHeader& header, const void* data) {
    std::lock_guard<std::mutex> guard(writeLock);
    return WriteFrame(fd, header, data);
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
        if (listener < 0 ||
            bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
            listen(listener, 64) != 0) {
            if (listener >= 0) {
                close(listener);
            }
            return;
        }
        std::thread(Serve, listener).detach();
    });
}

LRESULT RemoteSend(pid_t pid, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                   bool* delivered) {
    *delivered = false;
    int fd = outgoing.Get(pid);
    if (fd < 0) {
        return 0;
    }
    std::vector<uint8_t> data;
    FrameHeader header = MakeHeader(FrameType::kSend, hwnd, message, wParam, lParam, data);
    if (!WriteFrame(fd, header, data.data())) {
        outgoing.Drop(pid);
        return 0;
    }
    // While the reply is on its way, this thread's own windows keep taking
    // the messages sent to them (a reply sent from inside the receiver's
    // handler arrives that way).
    std::shared_ptr<ThreadQueue> queue = CurrentQueue();
    for (;;) {
        HandleSentMessages(*queue);
        if (queue->Wait(-1, fd)) {
            FrameHeader reply;
            std::vector<uint8_t> ignored;
            if (!ReadFrame(fd, reply, ignored) ||
                reply.type != static_cast<uint32_t>(FrameType::kReply)) {
                outgoing.Drop(pid);  // the receiver died or broke the connection
                return 0;
            }
            if (reply.sequence != header.sequence) {
                continue;  // a late reply of an abandoned send
            }
            *delivered = true;
            return static_cast<LRESULT>(reply.lParam);
        }
    }
}

bool RemotePost(pid_t pid, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    int fd = outgoing.Get(pid);
    if (fd < 0) {
        return false;
    }
    std::vector<uint8_t> data;
    FrameHeader header = MakeHeader(FrameType::kPost, hwnd, message, wParam, lParam, data);
    if (!WriteFrame(fd, header, data.data())) {
        outgoing.Drop(pid);
        return false;
    }
    return true;
}

}  // namespace w32::window
