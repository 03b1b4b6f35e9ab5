// The session: the directory every process of one desktop shares. It holds
// the handle counter, the registered message names, one record file per
// window that other processes may see, and one socket per process through
// which messages reach that process's windows.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <utility>
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
    // Screen coordinates, so another process can see where a window is.
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    // What the parent answered to the control's (or the dialog's own)
    // WM_CTLCOLOR* message at its last paint, and the DC's state when the
    // paint ended.
    bool colourAnswered = false;
    uint32_t brushColour = 0xFFFFFFFF;  // CLR_INVALID: no solid brush
    bool hollowBrush = false;
    int32_t bkMode = 0;
    uint32_t textColour = 0;
    std::u16string className;
    std::u16string title;
};

void PublishWindow(const WindowRecord& record);
void WithdrawWindow(uint32_t handle);
std::optional<WindowRecord> ReadWindow(uint32_t handle);
// Every window of every live process, in handle order.
std::vector<WindowRecord> AllWindows();

// The session-wide cursor position; (960, 540) until someone sets it.
void ReadCursor(int32_t* x, int32_t* y);
void WriteCursor(int32_t x, int32_t y);

// Small records of other subsystems kept in the session (the notification
// area's icons): one file per key under a folder of the session.
bool WriteEntry(const std::string& folder, const std::string& key, const std::string& text);
bool RemoveEntry(const std::string& folder, const std::string& key);
bool EntryExists(const std::string& folder, const std::string& key);
std::vector<std::pair<std::string, std::string>> ReadEntries(const std::string& folder);
// Runs f with the session's lock of that name held (process-local without a session).
void WithLock(const char* name, const std::function<void()>& f);

// The socket of a process of the session.
std::string SocketPath(pid_t pid);
// True while the process holds its liveness lock.
bool ProcessAlive(pid_t pid);
// Takes this process's liveness lock (once).
void MarkProcessAlive();

}  // namespace w32::session
