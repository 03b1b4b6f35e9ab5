// Kernel objects of the stand-in (threads, events, files) and the table that
// maps their handles to them. A handle owns one reference; CloseHandle drops
// it, and an object lives on while a running thread still needs it.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "w32/types.h"

namespace w32 {

class KernelObject {
public:
    virtual ~KernelObject() = default;
    // Waitable objects answer whether a wait on them would end now, and
    // consume the signal of an auto-reset object when it does.
    virtual bool IsWaitable() const { return false; }
    virtual bool TryAcquire() { return false; }
};

// Every state change of a waitable object happens under this lock and is
// announced on this condition, so that a wait on several objects needs no
// more than one lock.
std::mutex& WaitLock();
std::condition_variable& WaitChanged();

// Announces a state change of a waitable object: wakes the waits on the
// condition and writes to every registered watcher's eventfd (a thread that
// waits for its messages and for objects at once). Called under WaitLock().
void AnnounceChange();
// Registers and removes a watcher's eventfd; under WaitLock(). A descriptor
// may be registered more than once (nested waits of one thread).
void AddChangeWatcher(int eventFd);
void RemoveChangeWatcher(int eventFd);

// Takes the signal of the first signalled object (or of all at once, with
// waitAll) within milliseconds (INFINITE: no bound); WAIT_OBJECT_0 + index,
// or WAIT_TIMEOUT.
DWORD WaitForObjects(const std::vector<std::shared_ptr<KernelObject>>& objects, bool waitAll,
                     DWORD milliseconds);
// The objects behind handles, each waitable; false (last error set) when one is not.
bool LookupWaitable(DWORD count, const HANDLE* handles,
                    std::vector<std::shared_ptr<KernelObject>>* objects);

HANDLE InsertObject(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> LookupObject(HANDLE handle);

template <typename T>
std::shared_ptr<T> LookupObjectAs(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(LookupObject(handle));
}

}  // namespace w32
