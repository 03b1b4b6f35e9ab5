// Delivery of messages between the processes of a session: every process
// that owns windows listens on its own Unix socket in the session directory,
// and a sending thread keeps one connection to each thread it sends to.
//
// The process's I/O thread accepts connections and reads the first frames of
// each. Once a connection is known to carry messages for one thread's
// windows, that thread reads it itself while it waits for messages (in
// GetMessageW, a send's wait, ...) and in PeekMessageW, so a message from
// another process wakes its handler in one hop. While that thread is busy
// elsewhere, the I/O thread looks at its connections a few times a second
// and takes what waits there, so posts never pile up in the socket and a
// send to a window that has gone is still answered 0.
//
// Frames are length-checked; a malformed frame closes the connection and
// nothing else happens.
#pragma once

#include <poll.h>
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "w32/user.h"
#include "window/frames.h"

namespace w32::window {

struct ThreadQueue;

// One accepted connection of this process's server; replies to the sends
// that came on it go back through it.
class Connection : public std::enable_shared_from_this<Connection> {
public:
    explicit Connection(int descriptor) : fd(descriptor) {}
    ~Connection();
    bool Write(const FrameHeader& header, const void* data);
    int Descriptor() const { return fd; }

    // Reads what has arrived without waiting and delivers every whole frame,
    // in order, whichever thread reads. False once the connection is closed
    // or broken; it is shut down then.
    bool ReadAvailable(bool* delivered = nullptr, DWORD* targetThread = nullptr);
    bool Broken() const { return broken; }

private:
    const int fd;
    std::mutex writeLock;
    std::mutex readLock;
    FrameReader reader;
    std::atomic<bool> broken{false};
};

// Starts this process's server (once).
void StartServer();

// Called on a thread with the connections it reads itself (its own queue's).
// Reads those that poll() found readable (polled[i] for connections[i]), or
// every one when polled is null.
void ReadOwnConnections(ThreadQueue& queue,
                        const std::vector<std::shared_ptr<Connection>>& connections,
                        const pollfd* polled);
// Makes the I/O thread look at its connections again: a thread that read
// some of them has ended, or one of them broke.
void WakeServer();

// Sends to a window of another process and waits for its result, at most
// timeoutMs (-1: no bound; *timedOut tells a wait given up, and the send is
// withdrawn if the receiver has not taken it yet); messages sent to the
// calling thread's windows are handled meanwhile. 0 when the process is gone
// or the message's parameters cannot cross.
LRESULT RemoteSend(pid_t pid, DWORD tid, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                   bool* delivered, int timeoutMs = -1, bool* timedOut = nullptr);
bool RemotePost(pid_t pid, DWORD tid, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace w32::window
