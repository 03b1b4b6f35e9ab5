// Threads, events and waits.
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <vector>

#include "internal/kobject.h"
#include "w32/kernel.h"

namespace w32 {
namespace {

class ThreadObject : public KernelObject {
public:
    bool IsWaitable() const override { return true; }
    bool TryAcquire() override { return ended; }  // guarded by WaitLock()

    LPTHREAD_START_ROUTINE routine = nullptr;
    LPVOID parameter = nullptr;
    DWORD exitCode = STILL_ACTIVE;
    bool ended = false;
    bool suspended = false;
    DWORD threadId = 0;
};

class EventObject : public KernelObject {
public:
    bool IsWaitable() const override { return true; }
    bool TryAcquire() override {
        if (!signaled) {
            return false;
        }
        if (!manualReset) {
            signaled = false;
        }
        return true;
    }

    bool manualReset = false;
    bool signaled = false;
};

void FinishThread(ThreadObject& thread, DWORD code) {
    std::lock_guard<std::mutex> guard(WaitLock());
    if (!thread.ended) {
        thread.ended = true;
        thread.exitCode = code;
    }
    AnnounceChange();
}

void* ThreadMain(void* argument) {
    // The start routine's own reference: the object outlives a CloseHandle
    // of the creator until the routine has returned.
    std::shared_ptr<ThreadObject> self(
        std::move(*static_cast<std::shared_ptr<ThreadObject>*>(argument)));
    delete static_cast<std::shared_ptr<ThreadObject>*>(argument);
    {
        std::unique_lock<std::mutex> guard(WaitLock());
        self->threadId = static_cast<DWORD>(syscall(SYS_gettid));
        AnnounceChange();
        WaitChanged().wait(guard, [&] { return !self->suspended || self->ended; });
        if (self->ended) {
            return nullptr;  // terminated before it ever ran
        }
    }
    DWORD code = self->routine(self->parameter);
    FinishThread(*self, code);
    return nullptr;
}

}  // namespace

using Clock = std::chrono::steady_clock;

// Waits on waitable objects under WaitLock(). With waitAll the signals are
// taken only when all objects are signalled at once.
DWORD WaitForObjects(const std::vector<std::shared_ptr<KernelObject>>& objects, bool waitAll,
                     DWORD milliseconds) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    std::unique_lock<std::mutex> guard(WaitLock());
    for (;;) {
        if (waitAll) {
            bool all = true;
            for (const auto& object : objects) {
                auto* event = dynamic_cast<EventObject*>(object.get());
                auto* thread = dynamic_cast<ThreadObject*>(object.get());
                bool ready =
                    (event != nullptr && event->signaled) || (thread != nullptr && thread->ended);
                all = all && ready;
            }
            if (all) {
                for (const auto& object : objects) {
                    object->TryAcquire();
                }
                return WAIT_OBJECT_0;
            }
        } else {
            for (size_t i = 0; i < objects.size(); ++i) {
                if (objects[i]->TryAcquire()) {
                    return static_cast<DWORD>(WAIT_OBJECT_0 + i);
                }
            }
        }
        if (milliseconds == 0) {
            return WAIT_TIMEOUT;
        }
        if (milliseconds == INFINITE) {
            WaitChanged().wait(guard);
        } else if (WaitChanged().wait_until(guard, deadline) == std::cv_status::timeout &&
                   Clock::now() >= deadline) {
            // One last look, then give up.
            milliseconds = 0;
        }
    }
}

bool LookupWaitable(DWORD count, const HANDLE* handles,
                    std::vector<std::shared_ptr<KernelObject>>* objects) {
    for (DWORD i = 0; i < count; ++i) {
        auto object = LookupObject(handles[i]);
        if (!object || !object->IsWaitable()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return false;
        }
        objects->push_back(std::move(object));
    }
    return true;
}

}  // namespace w32

using w32::EventObject;
using w32::ThreadObject;

W32API HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T dwStackSize,
                                  LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                                  DWORD dwCreationFlags, LPDWORD lpThreadId) {
    if (lpStartAddress == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto thread = std::make_shared<ThreadObject>();
    thread->routine = lpStartAddress;
    thread->parameter = lpParameter;
    thread->suspended = (dwCreationFlags & CREATE_SUSPENDED) != 0;

    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (dwStackSize != 0) {
        SIZE_T minimum = static_cast<SIZE_T>(PTHREAD_STACK_MIN);
        SIZE_T size = dwStackSize < minimum ? minimum : dwStackSize;
        pthread_attr_setstacksize(&attributes, size);
    }
    auto* argument = new std::shared_ptr<ThreadObject>(thread);
    pthread_t id;
    int error = pthread_create(&id, &attributes, w32::ThreadMain, argument);
    pthread_attr_destroy(&attributes);
    if (error != 0) {
        delete argument;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    {
        // The id is the new thread's Linux tid, known once it has started.
        std::unique_lock<std::mutex> guard(w32::WaitLock());
        w32::WaitChanged().wait(guard, [&] { return thread->threadId != 0; });
    }
    if (lpThreadId != nullptr) {
        *lpThreadId = thread->threadId;
    }
    return w32::InsertObject(thread);
}

W32API DWORD WINAPI ResumeThread(HANDLE hThread) {
    auto thread = w32::LookupObjectAs<ThreadObject>(hThread);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return static_cast<DWORD>(-1);
    }
    std::lock_guard<std::mutex> guard(w32::WaitLock());
    DWORD previous = thread->suspended ? 1 : 0;
    thread->suspended = false;
    w32::AnnounceChange();
    return previous;
}

W32API BOOL WINAPI TerminateThread(HANDLE hThread, DWORD dwExitCode) {
    auto thread = w32::LookupObjectAs<ThreadObject>(hThread);
    if (!thread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    w32::FinishThread(*thread, dwExitCode);
    return TRUE;
}

W32API BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
    auto thread = w32::LookupObjectAs<ThreadObject>(hThread);
    if (!thread || lpExitCode == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(w32::WaitLock());
    *lpExitCode = thread->exitCode;
    return TRUE;
}

W32API HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState,
                                  LPCWSTR lpName) {
    if (lpName != nullptr) {
        // Named events would be shared between processes; nothing uses them.
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    auto event = std::make_shared<EventObject>();
    event->manualReset = bManualReset != FALSE;
    event->signaled = bInitialState != FALSE;
    return w32::InsertObject(event);
}

static BOOL SetEventState(HANDLE hEvent, bool signaled) {
    auto event = w32::LookupObjectAs<EventObject>(hEvent);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(w32::WaitLock());
    event->signaled = signaled;
    w32::AnnounceChange();
    return TRUE;
}

W32API BOOL WINAPI SetEvent(HANDLE hEvent) {
    return SetEventState(hEvent, true);
}

W32API BOOL WINAPI ResetEvent(HANDLE hEvent) {
    return SetEventState(hEvent, false);
}

W32API DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                                           DWORD dwMilliseconds) {
    if (nCount == 0 || lpHandles == nullptr || nCount > MAXIMUM_WAIT_OBJECTS) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<std::shared_ptr<w32::KernelObject>> objects;
    if (!w32::LookupWaitable(nCount, lpHandles, &objects)) {
        return WAIT_FAILED;
    }
    return w32::WaitForObjects(objects, bWaitAll != FALSE, dwMilliseconds);
}

W32API DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    return WaitForMultipleObjects(1, &hHandle, FALSE, dwMilliseconds);
}

W32API DWORD WINAPI WaitForSingleObjectEx(HANDLE hHandle, DWORD dwMilliseconds, BOOL) {
    return WaitForSingleObject(hHandle, dwMilliseconds);
}

W32API void WINAPI Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == INFINITE) {
        for (;;) {
            pause();
        }
    }
    struct timespec delay = {static_cast<time_t>(dwMilliseconds / 1000),
                             static_cast<long>(dwMilliseconds % 1000) * 1000000L};
    while (nanosleep(&delay, &delay) != 0) {
    }
}

W32API DWORD WINAPI SleepEx(DWORD dwMilliseconds, BOOL) {
    Sleep(dwMilliseconds);
    return 0;
}

W32API DWORD WINAPI GetCurrentProcessId(void) {
    return static_cast<DWORD>(getpid());
}

W32API DWORD WINAPI GetCurrentThreadId(void) {
    static thread_local DWORD id = static_cast<DWORD>(syscall(SYS_gettid));
    return id;
}

W32API HANDLE WINAPI GetCurrentProcess(void) {
    return reinterpret_cast<HANDLE>(-1);
}

W32API HANDLE WINAPI GetCurrentThread(void) {
    return reinterpret_cast<HANDLE>(-2);
}

W32API void WINAPI ExitProcess(UINT uExitCode) {
    exit(static_cast<int>(uExitCode));
}
