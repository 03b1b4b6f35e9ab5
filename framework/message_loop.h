// The message loop of a GUI thread, its message filters and idle handlers,
// and the application module that keeps one loop per thread.
#pragma once

#include <windows.h>

#include <map>
#include <mutex>
#include <vector>

namespace fw {

// Sees every message the loop takes, before it is translated and dispatched;
// TRUE swallows the message.
class CMessageFilter {
public:
    virtual BOOL PreTranslateMessage(MSG* pMsg) = 0;

protected:
    ~CMessageFilter() = default;
};

// Called when the thread's queue is empty; FALSE stops further idle calls
// until the next message.
class CIdleHandler {
public:
    virtual BOOL OnIdle() = 0;

protected:
    ~CIdleHandler() = default;
};

class CMessageLoop {
public:
    BOOL AddMessageFilter(CMessageFilter* filter);
    BOOL RemoveMessageFilter(CMessageFilter* filter);
    BOOL AddIdleHandler(CIdleHandler* handler);
    BOOL RemoveIdleHandler(CIdleHandler* handler);

    // Runs until WM_QUIT; returns its exit code.
    int Run();
    // One message: filters (last added first), then translate and dispatch.
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    virtual BOOL OnIdle(int idleCount);

    virtual ~CMessageLoop() = default;

protected:
    MSG m_msg = {};

private:
    std::vector<CMessageFilter*> filters;
    std::vector<CIdleHandler*> idleHandlers;
};

// Waits for the object up to `milliseconds` (INFINITE: no bound) while the
// calling thread goes on handling the messages sent to its windows: a GUI
// thread that waits for a thread or a process which sends to it would
// otherwise wait for ever. Posted messages stay queued. The result is
// WaitForSingleObject's.
DWORD WaitHandlingSentMessages(HANDLE object, DWORD milliseconds);

class CAppModule {
public:
    HRESULT Init(HINSTANCE instance);
    void Term();
    HINSTANCE GetModuleInstance() const { return instance; }

    BOOL AddMessageLoop(CMessageLoop* loop);
    BOOL RemoveMessageLoop();
    CMessageLoop* GetMessageLoop(DWORD threadId = ::GetCurrentThreadId()) const;

private:
    HINSTANCE instance = nullptr;
    mutable std::mutex lock;
    std::map<DWORD, CMessageLoop*> loops;
};

}  // namespace fw
