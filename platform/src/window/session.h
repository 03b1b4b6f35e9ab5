// The session: the directory every process of one desktop shares. It holds
// the handle counter, the registered message names, one record file per
// window that other processes may see, and one socket per process through
// which messages reach that process's windows.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace w32::session {

// The session directory, created 0700 on first use. Throws nothing: a
// session that cannot be made leaves the window system process-local.
const std::string& Directory();

// A block of handle values reserved for this process.
bool ReserveHandles(uint32_t count, uint32_t* first);

// Same name (case-insensitive) gives the same id, 0xC000..0xFFFF, in every
// process of the session; 0 when the table is full.
uint32_t RegisterMessageName(const std::u16string& name);

// What other processes may know of a window.
struct WindowRecord {
    uint32_t handle = 0;
    pid_t pid = 0;
    uint32_t tid = 0;
    uint32_t parent = 0;  // 0 for a top-level window
    uint32_t owner = 0;
    uint32_t style = 0;
    uint32_t exStyle = 0;
    int32_t controlId = 0;
    bool messageOnly = false;
    std::u16string className;
    std::u16string title;
};

void PublishWindow(const WindowRecord& record);
void WithdrawWindow(uint32_t handle);
std::optional<WindowRecord> ReadWindow(uint32_t handle);
// Every window of every live process, in handle order.
std::vector<WindowRecord> AllWindows();

// The socket of a process of the session.
std::string SocketPath(pid_t pid);
// True while the process holds its liveness lock.
bool ProcessAlive(pid_t pid);
// Takes this process's liveness lock (once).
void MarkProcessAlive();

}  // namespace w32::session
