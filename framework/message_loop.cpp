#include "framework/message_loop.h"

#include <algorithm>

#include "framework/window.h"

namespace fw {

RECT CWindow::rcDefault = {CW_USEDEFAULT, CW_USEDEFAULT, 0, 0};

BOOL CMessageLoop::AddMessageFilter(CMessageFilter* filter) {
    filters.push_back(filter);
    return TRUE;
}

BOOL CMessageLoop::RemoveMessageFilter(CMessageFilter* filter) {
    auto it = std::find(filters.begin(), filters.end(), filter);
    if (it == filters.end()) {
        return FALSE;
    }
    filters.erase(it);
    return TRUE;
}

BOOL CMessageLoop::AddIdleHandler(CIdleHandler* handler) {
    idleHandlers.push_back(handler);
    return TRUE;
}

BOOL CMessageLoop::RemoveIdleHandler(CIdleHandler* handler) {
    auto it = std::find(idleHandlers.begin(), idleHandlers.end(), handler);
    if (it == idleHandlers.end()) {
        return FALSE;
    }
    idleHandlers.erase(it);
    return TRUE;
}

int CMessageLoop::Run() {
    bool doIdle = true;
    int idleCount = 0;
    for (;;) {
        while (doIdle && !::PeekMessageW(&m_msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!OnIdle(idleCount++)) {
                doIdle = false;
            }
        }
        BOOL got = ::GetMessageW(&m_msg, nullptr, 0, 0);
        if (got == -1) {
            continue;  // an error: go on with the next message
        }
        if (!got) {
            break;  // WM_QUIT
        }
        if (!PreTranslateMessage(&m_msg)) {
            ::TranslateMessage(&m_msg);
            ::DispatchMessageW(&m_msg);
        }
        doIdle = true;
        idleCount = 0;
    }
    return static_cast<int>(m_msg.wParam);
}

BOOL CMessageLoop::PreTranslateMessage(MSG* pMsg) {
    // A filter may remove itself while it runs: iterate over a copy.
    std::vector<CMessageFilter*> current(filters.rbegin(), filters.rend());
    for (CMessageFilter* filter : current) {
        if (filter->PreTranslateMessage(pMsg)) {
            return TRUE;
        }
    }
    return FALSE;
}

BOOL CMessageLoop::OnIdle(int) {
    std::vector<CIdleHandler*> current = idleHandlers;
    for (CIdleHandler* handler : current) {
        handler->OnIdle();
    }
    return FALSE;  // no continuous idle processing
}

DWORD WaitHandlingSentMessages(HANDLE object, DWORD milliseconds) {
    const ULONGLONG start = ::GetTickCount64();
    for (;;) {
        DWORD left = milliseconds;
        if (milliseconds != INFINITE) {
            ULONGLONG spent = ::GetTickCount64() - start;
            left = spent >= milliseconds ? 0 : static_cast<DWORD>(milliseconds - spent);
        }
        // MWMO_INPUTAVAILABLE: a send that came before the wait began counts too.
        DWORD woke =
            ::MsgWaitForMultipleObjectsEx(1, &object, left, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
        if (woke != WAIT_OBJECT_0 + 1) {
            return woke;
        }
        MSG msg;
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

HRESULT CAppModule::Init(HINSTANCE moduleInstance) {
    instance = moduleInstance != nullptr ? moduleInstance : ::GetModuleHandleW(nullptr);
    return S_OK;
}

void CAppModule::Term() {
    std::lock_guard<std::mutex> guard(lock);
    loops.clear();
}

BOOL CAppModule::AddMessageLoop(CMessageLoop* loop) {
    std::lock_guard<std::mutex> guard(lock);
    return loops.emplace(::GetCurrentThreadId(), loop).second;
}

BOOL CAppModule::RemoveMessageLoop() {
    std::lock_guard<std::mutex> guard(lock);
    return loops.erase(::GetCurrentThreadId()) > 0;
}

CMessageLoop* CAppModule::GetMessageLoop(DWORD threadId) const {
    std::lock_guard<std::mutex> guard(lock);
    auto it = loops.find(threadId);
    return it == loops.end() ? nullptr : it->second;
}

}  // namespace fw
