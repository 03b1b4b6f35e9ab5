#include "user/port.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>
#include <poll.h>

#include <cerrno>
#include <cstring>

#include "session/session.h"

namespace w32::user {

namespace {

constexpr int kWriteTimeoutMs = 5000;

std::mutex gPortsMutex;
std::map<DWORD, std::weak_ptr<Port>>& Ports() {
    static auto* ports = new std::map<DWORD, std::weak_ptr<Port>>;
    return *ports;
}

// Keeps the thread's port and shuts it down when the thread ends.
struct PortHolder {
    std::shared_ptr<Port> port;
    ~PortHolder() {
        if (port)
            port->Shutdown();
    }
};
thread_local PortHolder tPort;

bool FillAddress(sockaddr_un* addr, const std::string& path) {
    std::memset(addr, 0, sizeof *addr);
    addr->sun_family = AF_UNIX;
    if (path.size() >= sizeof addr->sun_path)
        return false;
    std::memcpy(addr->sun_path, path.c_str(), path.size());
    return true;
}

}  // namespace

DWORD CurrentTid() {
    thread_local DWORD tid = static_cast<DWORD>(syscall(SYS_gettid));
    return tid;
}

int64_t NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1000000;
}

Connection::~Connection() {
    if (fd >= 0)
        close(fd);
}

OutConnection::~OutConnection() {
    if (fd >= 0)
        close(fd);
}

bool OutConnection::ReadReplies() {
    uint8_t buf[65536];
    for (;;) {
        ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0) {
            if (!reader.Feed(buf, static_cast<size_t>(n)))
                return false;
            while (auto f = reader.Next()) {
                if (static_cast<wire::Type>(f->header.type) != wire::Type::Reply)
                    return false;
                replies[f->header.seq] = std::move(*f);
            }
            if (static_cast<size_t>(n) < sizeof buf)
                return true;  // drained
            continue;
        }
        if (n == 0)
            return false;
        if (errno == EINTR)
            continue;
        return errno == EAGAIN || errno == EWOULDBLOCK;
    }
}

void Completion::Complete(LRESULT r) {
    std::shared_ptr<Port> w;
    {
        std::lock_guard<std::mutex> guard(mutex);
        if (done)
            return;
        done = true;
        result = r;
        w = waiter.lock();
    }
    if (w)
        w->Wake();
}

bool Completion::Done() {
    std::lock_guard<std::mutex> guard(mutex);
    return done;
}

Port::Port(DWORD tid) : tid_(tid) {
    epfd_ = epoll_create1(EPOLL_CLOEXEC);
    evfd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = evfd_;
    epoll_ctl(epfd_, EPOLL_CTL_ADD, evfd_, &ev);
}

Port::~Port() {
    if (epfd_ >= 0)
        close(epfd_);
    if (evfd_ >= 0)
        close(evfd_);
}

std::shared_ptr<Port> Port::Current() {
    if (!tPort.port) {
        tPort.port = std::make_shared<Port>(CurrentTid());
        std::lock_guard<std::mutex> guard(gPortsMutex);
        Ports()[tPort.port->tid()] = tPort.port;
    }
    return tPort.port;
}

std::shared_ptr<Port> Port::CurrentIfAny() {
    return tPort.port;
}

std::shared_ptr<Port> Port::ForThread(DWORD tid) {
    std::lock_guard<std::mutex> guard(gPortsMutex);
    auto it = Ports().find(tid);
    return it == Ports().end() ? nullptr : it->second.lock();
}

void Port::Wake() {
    uint64_t one = 1;
    ssize_t r = write(evfd_, &one, sizeof one);
    (void)r;
}

bool Port::PushSent(SentItem item) {
    {
        std::lock_guard<std::mutex> guard(mutex);
        if (closed)
            return false;
        sent.push_back(std::move(item));
    }
    Wake();
    return true;
}

bool Port::PushPosted(const MSG& msg) {
    {
        std::lock_guard<std::mutex> guard(mutex);
        if (closed)
            return false;
        posted.push_back(msg);
    }
    Wake();
    return true;
}

bool Port::EnsureListening() {
    if (listenFd_ >= 0)
        return true;
    if (session::DirectoryFd() < 0)
        return false;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un addr;
    std::string path = session::SocketPath(session::ProcessInstance(), tid_);
    if (!FillAddress(&addr, path)) {
        close(fd);
        return false;
    }
    unlink(path.c_str());
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 64) != 0) {
        close(fd);
        return false;
    }
    listenFd_ = fd;
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = fd;
    epoll_ctl(epfd_, EPOLL_CTL_ADD, fd, &ev);
    return true;
}

void Port::Accept() {
    for (;;) {
        int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        // Only processes of our own user may deliver (the folder is 0700 too).
        ucred cred{};
        socklen_t len = sizeof cred;
        if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.uid != getuid()) {
            close(fd);
            continue;
        }
        auto conn = std::make_shared<Connection>();
        conn->fd = fd;
        conns_[fd] = conn;
        epoll_event ev{};
        ev.events = EPOLLIN | EPOLLRDHUP;
        ev.data.fd = fd;
        epoll_ctl(epfd_, EPOLL_CTL_ADD, fd, &ev);
    }
}

void Port::CloseConnection(int fd) {
    auto it = conns_.find(fd);
    if (it == conns_.end())
        return;
    epoll_ctl(epfd_, EPOLL_CTL_DEL, fd, nullptr);
    // Pending replies to this connection go nowhere; the fd closes with the
    // last reference.
    shutdown(fd, SHUT_RDWR);
    conns_.erase(it);
}

void Port::OnFrame(const std::shared_ptr<Connection>& conn, wire::Frame& f) {
    const wire::Header& h = f.header;
    HWND hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(h.hwnd));
    switch (static_cast<wire::Type>(h.type)) {
        case wire::Type::Send: {
            SentItem item;
            item.hwnd = hwnd;
            item.message = h.message;
            item.wParam = static_cast<WPARAM>(h.wParam);
            item.lParam = static_cast<LPARAM>(h.lParam);
            item.remote = conn;
            item.seq = h.seq;
            if (h.flags & wire::kCopyData) {
                item.copyData = true;
                item.noData = (h.flags & wire::kNoData) != 0;
                uint64_t dw;
                std::memcpy(&dw, f.payload.data(), 8);
                item.dwData = static_cast<ULONG_PTR>(dw);
                item.bytes.assign(f.payload.begin() + 8, f.payload.end());
                item.lParam = 0;
            }
            std::lock_guard<std::mutex> guard(mutex);
            sent.push_back(std::move(item));
            return;
        }
        case wire::Type::Post: {
            MSG m{};
            m.hwnd = hwnd;
            m.message = h.message;
            m.wParam = static_cast<WPARAM>(h.wParam);
            m.lParam = static_cast<LPARAM>(h.lParam);
            m.time = static_cast<DWORD>(NowMs());
            std::lock_guard<std::mutex> guard(mutex);
            posted.push_back(m);
            return;
        }
        case wire::Type::QueryMenu: {
            bool found = false;
            std::vector<uint8_t> items = AnswerMenuQuery(hwnd, &found);
            wire::Header r{};
            r.type = static_cast<uint16_t>(wire::Type::Reply);
            r.seq = h.seq;
            r.lParam = found ? 1 : 0;
            if (!wire::WriteAll(conn->fd, wire::Encode(r, items.data(), items.size()),
                                kWriteTimeoutMs))
                CloseConnection(conn->fd);
            return;
        }
        case wire::Type::Reply:
            break;
    }
    CloseConnection(conn->fd);  // a reply nobody asked for: a confused peer
}

void Port::ReadConnection(int fd) {
    auto it = conns_.find(fd);
    if (it == conns_.end())
        return;
    std::shared_ptr<Connection> conn = it->second;
    uint8_t buf[65536];
    for (;;) {
        ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0) {
            if (!conn->reader.Feed(buf, static_cast<size_t>(n))) {
                CloseConnection(fd);
                return;
            }
            while (auto f = conn->reader.Next()) {
                OnFrame(conn, *f);
                if (!conns_.count(fd))
                    return;
            }
            if (static_cast<size_t>(n) < sizeof buf)
                return;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        CloseConnection(fd);
        return;
    }
}

void Port::Pump() {
    epoll_event events[32];
    for (;;) {
        int n = epoll_wait(epfd_, events, 32, 0);
        if (n <= 0)
            return;
        for (int i = 0; i < n; ++i) {
            int fd = events[i].data.fd;
            if (fd == evfd_) {
                uint64_t v;
                ssize_t r = read(evfd_, &v, sizeof v);
                (void)r;
            } else if (fd == listenFd_) {
                Accept();
            } else {
                ReadConnection(fd);
            }
        }
        if (n < 32)
            return;
    }
}

bool Port::HandleOneSent() {
    SentItem item;
    {
        std::lock_guard<std::mutex> guard(mutex);
        if (sent.empty())
            return false;
        item = std::move(sent.front());
        sent.pop_front();
    }
    ++handlingSent;
    LRESULT result = DeliverSent(item);
    --handlingSent;
    if (item.local) {
        item.local->Complete(result);
    } else if (item.remote && conns_.count(item.remote->fd) &&
               conns_[item.remote->fd] == item.remote) {
        wire::Header r{};
        r.type = static_cast<uint16_t>(wire::Type::Reply);
        r.seq = item.seq;
        r.lParam = static_cast<int64_t>(result);
        if (!wire::WriteAll(item.remote->fd, wire::Encode(r, nullptr, 0), kWriteTimeoutMs))
            CloseConnection(item.remote->fd);
    }
    return true;
}

void Port::HandleSent() {
    while (HandleOneSent()) {
    }
}

int Port::Wait(int timeoutMs, int extraFd) {
    pollfd fds[2] = {{epfd_, POLLIN, 0}, {extraFd, POLLIN, 0}};
    int n = poll(fds, extraFd >= 0 ? 2 : 1, timeoutMs);
    if (n <= 0)
        return 0;
    return (fds[0].revents ? kPortReady : 0) | (extraFd >= 0 && fds[1].revents ? kExtraReady : 0);
}

std::shared_ptr<OutConnection> Port::Outgoing(uint64_t instance, DWORD tid) {
    auto key = std::make_pair(instance, tid);
    auto it = out_.find(key);
    if (it != out_.end()) {
        if (!it->second->dead)
            return it->second;
        out_.erase(it);
    }
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return nullptr;
    sockaddr_un addr;
    if (!FillAddress(&addr, session::SocketPath(instance, tid)) ||
        connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return nullptr;
    }
    auto conn = std::make_shared<OutConnection>();
    conn->fd = fd;
    out_[key] = conn;
    return conn;
}

void Port::DropOutgoing(uint64_t instance, DWORD tid) {
    out_.erase(std::make_pair(instance, tid));
}

void Port::Shutdown() {
    DestroyThreadWindows(tid_);
    std::deque<SentItem> pending;
    {
        std::lock_guard<std::mutex> guard(mutex);
        closed = true;
        pending.swap(sent);
        posted.clear();
        timers.clear();
    }
    for (auto& item : pending) {
        if (item.local)
            item.local->Complete(0);
    }
    {
        std::lock_guard<std::mutex> guard(gPortsMutex);
        Ports().erase(tid_);
    }
    if (listenFd_ >= 0) {
        std::string path = session::SocketPath(session::ProcessInstance(), tid_);
        unlink(path.c_str());
        close(listenFd_);
        listenFd_ = -1;
    }
    conns_.clear();
    out_.clear();
}

}  // namespace w32::user
