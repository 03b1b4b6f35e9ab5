// SIGTERM, SIGINT and SIGHUP to a process with windows ask its windows to
// close, as ending a program without force does on Windows: WM_CLOSE is
// posted to its top-level windows in the order they were made, so the
// program runs its ordered close. A process without windows keeps each
// signal's default action.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <thread>
#include <vector>

#include "w32/user.h"
#include "window/core.h"

namespace w32::window {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
int signalPipe[2] = {-1, -1};

// The handler only writes the signal's number to the pipe: all else happens
// on the thread that reads it.
void OnSignal(int number) {
    int saved = errno;
    unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] ssize_t ignored = write(signalPipe[1], &byte, 1);
    errno = saved;
}

// A forked child has no reading thread: it gets the default actions back.
void DefaultActionsInChild() {
    for (int number : kSignals) {
        signal(number, SIG_DFL);
    }
}

std::vector<uint32_t> TopLevelWindowsInCreationOrder() {
    std::vector<uint32_t> handles;
    State& state = TheState();
    std::lock_guard<std::mutex> guard(state.lock);
    for (const auto& [handle, window] : state.windows) {
        if (window->parent == 0 && !window->messageOnly && !window->destroying) {
            handles.push_back(handle);
        }
    }
    // Handles are handed out in increasing order and never reused.
    std::sort(handles.begin(), handles.end());
    return handles;
}

void ReadSignals() {
    for (;;) {
        unsigned char number = 0;
        ssize_t got = read(signalPipe[0], &number, 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return;
        }
        std::vector<uint32_t> windows = TopLevelWindowsInCreationOrder();
        if (windows.empty()) {
            signal(number, SIG_DFL);
            raise(number);
            continue;
        }
        for (uint32_t handle : windows) {
            PostMessageW(Handle(handle), WM_CLOSE, 0, 0);
        }
    }
}

}  // namespace

void CloseWindowsOnSignals() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (pipe2(signalPipe, O_CLOEXEC) != 0) {
            return;
        }
        try {
            std::thread(ReadSignals).detach();
        } catch (const std::system_error&) {
            return;  // no thread to read them: the signals keep their default actions
        }
        pthread_atfork(nullptr, nullptr, DefaultActionsInChild);
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int number : kSignals) {
            sigaction(number, &action, nullptr);
        }
    });
}

}  // namespace w32::window
