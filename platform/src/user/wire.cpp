#include "user/wire.h"

#include <poll.h>
#include <sys/socket.h>
#include <time.h>

#include <cerrno>
#include <cstring>

namespace w32::wire {

std::vector<uint8_t> Encode(const Header& header, const void* payload, size_t length) {
    return Encode(header, nullptr, 0, payload, length);
}

std::vector<uint8_t> Encode(const Header& header, const void* prefix, size_t prefixLength,
                            const void* payload, size_t length) {
    Header h = header;
    h.magic = kMagic;
    h.length = static_cast<uint32_t>(prefixLength + length);
    std::vector<uint8_t> out(sizeof(Header) + prefixLength + length);
    std::memcpy(out.data(), &h, sizeof h);
    if (prefixLength)
        std::memcpy(out.data() + sizeof h, prefix, prefixLength);
    if (length)
        std::memcpy(out.data() + sizeof h + prefixLength, payload, length);
    return out;
}

bool Valid(const Header& h) {
    if (h.magic != kMagic || h.length > kMaxPayload)
        return false;
    switch (static_cast<Type>(h.type)) {
        case Type::Send:
            if ((h.flags & ~(kCopyData | kNoData)) != 0)
                return false;
            if ((h.flags & kCopyData) && h.length < 8)
                return false;
            if (!(h.flags & kCopyData) && h.length != 0)
                return false;
            return true;
        case Type::Post:
        case Type::QueryMenu:
            return h.flags == 0 && h.length == 0;
        case Type::Reply:
            return h.flags == 0;
    }
    return false;
}

bool Reader::Feed(const uint8_t* data, size_t length) {
    if (corrupt_)
        return false;
    if (start_ > 0 && start_ == buffer_.size()) {
        buffer_.clear();
        start_ = 0;
    }
    buffer_.insert(buffer_.end(), data, data + length);
    if (buffer_.size() - start_ >= sizeof(Header)) {
        Header h;
        std::memcpy(&h, buffer_.data() + start_, sizeof h);
        if (!Valid(h))
            corrupt_ = true;
    }
    return !corrupt_;
}

std::optional<Frame> Reader::Next() {
    if (corrupt_ || buffer_.size() - start_ < sizeof(Header))
        return std::nullopt;
    Frame f;
    std::memcpy(&f.header, buffer_.data() + start_, sizeof(Header));
    if (!Valid(f.header)) {
        corrupt_ = true;
        return std::nullopt;
    }
    size_t total = sizeof(Header) + f.header.length;
    if (buffer_.size() - start_ < total)
        return std::nullopt;
    const uint8_t* p = buffer_.data() + start_ + sizeof(Header);
    f.payload.assign(p, p + f.header.length);
    start_ += total;
    if (start_ == buffer_.size()) {
        buffer_.clear();
        start_ = 0;
    } else if (start_ > (1u << 16)) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
        start_ = 0;
    } else if (buffer_.size() - start_ >= sizeof(Header)) {
        Header next;
        std::memcpy(&next, buffer_.data() + start_, sizeof next);
        if (!Valid(next))
            corrupt_ = true;
    }
    return f;
}

namespace {
int64_t NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1000000;
}
}  // namespace

bool WriteAll(int fd, const std::vector<uint8_t>& bytes, int timeoutMs) {
    size_t done = 0;
    int64_t deadline = NowMs() + timeoutMs;
    while (done < bytes.size()) {
        ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            int64_t left = deadline - NowMs();
            if (left <= 0)
                return false;
            pollfd p{fd, POLLOUT, 0};
            int r = poll(&p, 1, static_cast<int>(left));
            if (r < 0 && errno != EINTR)
                return false;
            if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)))
                return false;
            continue;
        }
        return false;
    }
    return true;
}

}  // namespace w32::wire
