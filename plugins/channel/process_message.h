// The channel between a plug-in's page object and the desktop agent: finds or
// starts the agent, sends it PluginRequest records by WM_COPYDATA, queues the
// AgentAnswer records it sends back to this message-only window, and hands
// them out in arrival order on a 400 ms timer. Everything runs on the thread
// that created the window (the page's thread).
//
// A page callback may drop the last reference to the page object, and so its
// channel, while the channel is handing out an answer or running a query.
// Owners therefore hold the channel through ChannelPtr: giving it up destroys
// the window at once, but frees the object only when none of its calls or
// messages is running any more.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "framework/window_impl.h"
#include "plugins/channel/event_callback.h"
#include "protocol/records.h"

namespace vexlo {

using CProcessMessageTraits = fw::CWinTraits<WS_OVERLAPPEDWINDOW, 0>;

class CProcessMessage;

// Closes a channel: its window goes now, the object once it is idle.
struct CProcessMessageCloser {
    void operator()(CProcessMessage* channel) const;
};
using ChannelPtr = std::unique_ptr<CProcessMessage, CProcessMessageCloser>;

class CProcessMessage
    : public fw::CWindowImpl<CProcessMessage, fw::CWindow, CProcessMessageTraits> {
public:
    // The timer that hands queued answers out, started by the first answer.
    static constexpr UINT_PTR kAnswerTimerId = 101;
    static constexpr UINT kAnswerTimerPeriod = 400;
    // How long a synchronous query waits before it runs the pending ticks.
    static constexpr DWORD kQueryWait = 450;
    // How long a start of the agent is given to create its window.
    static constexpr DWORD kAgentStartWait = 1000;
    // How long a request may wait for the agent to take it.
    static constexpr UINT kAgentSendTimeout = 20000;

    // A new channel with its message-only window (no window when that
    // cannot be created: sends then name no window to answer).
    static ChannelPtr Open();
    // A channel without a window yet; the owner creates it.
    static ChannelPtr OpenWithoutWindow();

    BEGIN_MSG_MAP(CProcessMessage)
    MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
    MESSAGE_HANDLER(WM_COPYDATA, OnCopyData)
    MESSAGE_HANDLER(WM_TIMER, OnTimerMessage)
    END_MSG_MAP()

    static HWND FindDesktopWindow();
    // S_OK when the agent's window exists, after one start attempt if needed.
    static HRESULT LoadDesktop();
    static int32_t MakeJobId();

    HRESULT SendCopyData(PluginRequest* request);
    // Set scan mode and stop scan: no callback change.
    HRESULT SendRequest(PluginRequest* request);
    // Each takes ownership of the callback, also when the send fails.
    HRESULT SendScanRequest(PluginRequest* request, IVexloEventCallback* callback);
    HRESULT SendSelectScannerRequest(PluginRequest* request, IVexloEventCallback* callback);
    HRESULT SendPrintRequest(PluginRequest* request, IVexloEventCallback* callback);

    // Synchronous queries: send, wait 450 ms, then run this window's pending
    // timer ticks (page callbacks can run inside).
    HRESULT GetScanMode(int32_t* mode);
    HRESULT GetSelectedScanner(int32_t scannerInterface, std::u16string* name);

    // Observers of the channel's state.
    UINT_PTR TimerId() const { return timerId; }
    size_t QueuedAnswers() const { return answers.size(); }
    int32_t LastScanMode() const { return lastScanMode; }
    const std::u16string& LastSelectedScanner() const { return lastSelectedScanner; }

    LRESULT OnDestroy(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnCopyData(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnTimerMessage(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    void OnTimer(UINT_PTR id);

    // After the last message of the window: a closed channel frees itself.
    void OnFinalMessage(HWND) override;

private:
    friend struct CProcessMessageCloser;
    // Keeps the channel alive while one of its calls runs page code.
    class Hold {
    public:
        explicit Hold(CProcessMessage* channel) : self(channel) { ++self->holds; }
        ~Hold() {
            --self->holds;
            self->FreeIfIdle();  // may delete the channel: nothing may follow
        }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        CProcessMessage* self;
    };

    CProcessMessage() = default;
    // Answers still queued are dropped. The callbacks normally went with
    // WM_DESTROY; a channel whose window never existed frees them here.
    ~CProcessMessage() override = default;

    void Close();
    void FreeIfIdle();
    // Calls a callback; a callback replaced or dropped meanwhile is freed only
    // once no callback runs any more.
    void Notify(IVexloEventCallback* callback, const AgentAnswer& answer);
    void Retire(std::unique_ptr<IVexloEventCallback> callback);

    void ReplaceStatusCallback(IVexloEventCallback* callback);
    void ReplaceSelectCallback(IVexloEventCallback* callback);
    void RunPendingTicks();

    std::unique_ptr<IVexloEventCallback> statusCallback;
    std::unique_ptr<IVexloEventCallback> selectCallback;
    UINT_PTR timerId = 0;
    std::deque<AgentAnswer> answers;
    int32_t lastScanMode = 0;
    std::u16string lastSelectedScanner;
    // Calls of this channel that are running now, and whether its owner let go.
    int holds = 0;
    bool closing = false;
    // Callbacks running now, and those let go of while one ran.
    int notifying = 0;
    std::vector<std::unique_ptr<IVexloEventCallback>> retired;
};

}  // namespace vexlo
