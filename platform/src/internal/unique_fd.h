// The stand-in's owners of what Linux hands out, as framework/raii.h gives
// the system's code its owners of Windows handles: one line per kind.
#pragma once

#include <errno.h>
#include <sys/file.h>
#include <unistd.h>

#include <utility>

namespace w32 {

// A file descriptor, closed when the owner goes.
class unique_fd {
public:
    unique_fd() = default;
    explicit unique_fd(int fd) : fd_(fd) {}
    unique_fd(unique_fd&& other) noexcept : fd_(other.release()) {}
    unique_fd& operator=(unique_fd&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    unique_fd(const unique_fd&) = delete;
    unique_fd& operator=(const unique_fd&) = delete;
    ~unique_fd() { reset(); }

    int get() const { return fd_; }
    bool is_valid() const { return fd_ >= 0; }
    explicit operator bool() const { return is_valid(); }
    void reset(int fd = -1) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_ = -1;
};

// An exclusive flock on the descriptor, released when the descriptor closes.
inline void LockExclusive(const unique_fd& fd) {
    if (fd) {
        while (flock(fd.get(), LOCK_EX) != 0 && errno == EINTR) {
        }
    }
}

}  // namespace w32
