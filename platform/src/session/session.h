// The session ("the desktop"): the folder shared by every process of one
// user desktop, and the window table, atom table and handle counter that live
// in it as one memory-mapped file.
#pragma once

#include <cstdint>
#include <string>

namespace w32::session {

inline constexpr uint32_t kMaxWindows = 4096;
inline constexpr uint32_t kClassChars = 128;
inline constexpr uint32_t kTextChars = 512;
inline constexpr uint32_t kAtomFirst = 0xC000;
inline constexpr uint32_t kAtomCount = 0x4000;
inline constexpr uint32_t kAtomChars = 256;

enum WindowFlags : uint32_t {
    kUsed = 1,
    kVisible = 2,
    kEnabled = 4,
    kTopmost = 8,
    kMessageOnly = 16,
};

// One window as every process of the session sees it.
struct SharedWindow {
    uint32_t handle;
    uint32_t flags;
    uint32_t pid;
    uint32_t tid;
    uint64_t instance;  // the owning process's instance id (see ProcessInstance)
    uint32_t parent;    // 0 for top-level windows
    uint32_t owner;
    uint32_t style;
    uint32_t exStyle;
    int32_t controlId;
    uint32_t reserved;
    char16_t className[kClassChars];
    char16_t text[kTextChars];
};

// The session folder: $W32_SESSION, else ${XDG_RUNTIME_DIR:-/tmp}/w32-session-<uid>.
// Created 0700; a folder owned by another user or open to group or others is
// refused. Empty when the session cannot be used.
const std::string& Directory();
// A descriptor of the open session folder (-1 when there is none); sockets
// are bound and reached through /proc/self/fd/<fd>/name, which keeps their
// addresses short whatever the folder's path.
int DirectoryFd();
std::string SocketPath(uint64_t instance, uint32_t tid);

// This process's instance id: unique in the session, never reused; its lock
// file is held for the process's life.
uint64_t ProcessInstance();
bool IsInstanceAlive(uint64_t instance);

// Exclusive access to the mapped table (process mutex plus flock on the file).
class TableLock {
public:
    TableLock();
    ~TableLock();
    TableLock(const TableLock&) = delete;
    TableLock& operator=(const TableLock&) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_;
};

// Valid only under a TableLock. Null when the session is unusable.
SharedWindow* Windows();
// Reserves count handle values (multiples of 4) from the session counter;
// returns the first, or 0 when the session is unusable.
uint32_t ReserveHandleBlock(uint32_t count);

// Atoms of RegisterWindowMessageW (0 on failure).
uint32_t RegisterAtom(const std::u16string& name);

// Case-insensitive comparison of window class names, titles and atoms:
// ASCII and Cyrillic letters fold to upper case.
bool EqualNoCase(const char16_t* a, const char16_t* b);
void CopyText(char16_t* dest, uint32_t capacity, const std::u16string& text);

}  // namespace w32::session
