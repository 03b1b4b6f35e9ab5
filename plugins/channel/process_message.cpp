#include "plugins/channel/process_message.h"

#include <ctime>
#include <utility>

namespace vexlo {

void CProcessMessageCloser::operator()(CProcessMessage* channel) const {
    channel->Close();
}

ChannelPtr CProcessMessage::Open() {
    ChannelPtr channel = OpenWithoutWindow();
    channel->Create(HWND_MESSAGE, fw::CWindow::rcDefault, nullptr, 0, 0);
    return channel;
}

ChannelPtr CProcessMessage::OpenWithoutWindow() {
    return ChannelPtr(new CProcessMessage);
}

void CProcessMessage::Close() {
    closing = true;
    Hold hold(this);
    if (m_hWnd != nullptr) {
        // Inside one of the window's own messages the framework lets go of
        // the window, and so frees the channel, once the outermost returns
        // (the plain call: the wrapper would forget the handle at once).
        ::DestroyWindow(m_hWnd);
    }
}

void CProcessMessage::FreeIfIdle() {
    if (closing && holds == 0 && m_hWnd == nullptr && m_pCurrentMsg == nullptr) {
        delete this;
    }
}

void CProcessMessage::OnFinalMessage(HWND) {
    FreeIfIdle();
}

HWND CProcessMessage::FindDesktopWindow() {
    return ::FindWindowW(kAgentWindowClass, nullptr);
}

HRESULT CProcessMessage::LoadDesktop() {
    if (::IsWindow(FindDesktopWindow())) {
        return S_OK;
    }
    // The agent is found by its bare name beside the plug-in or on the path;
    // it needs a moment to create its window.
    ::ShellExecuteW(nullptr, u"open", kAgentProgram, nullptr, nullptr, SW_SHOWNORMAL);
    ::Sleep(kAgentStartWait);
    return ::IsWindow(FindDesktopWindow()) ? S_OK : E_FAIL;
}

int32_t CProcessMessage::MakeJobId() {
    // Two separate readings: ids are not strictly increasing, and two scans
    // about a second apart can share one.
    SYSTEMTIME now;
    ::GetSystemTime(&now);
    uint32_t seconds = static_cast<uint32_t>(std::time(nullptr));
    return static_cast<int32_t>(seconds + now.wMilliseconds);
}

HRESULT CProcessMessage::SendCopyData(PluginRequest* request) {
    Hold hold(this);
    if (!::IsWindow(FindDesktopWindow())) {
        LoadDesktop();
    }
    HWND desktop = FindDesktopWindow();
    if (!::IsWindow(desktop)) {
        return E_FAIL;
    }
    COPYDATASTRUCT copy{0, static_cast<DWORD>(sizeof(PluginRequest)), request};
    // Answers the agent sends while handling the request arrive during this
    // send and are queued. An agent that does not take the request within
    // the bound is treated as absent, so one hung agent holds no page.
    DWORD_PTR ignored = 0;
    if (!::SendMessageTimeoutW(desktop, WM_COPYDATA, reinterpret_cast<WPARAM>(m_hWnd),
                               reinterpret_cast<LPARAM>(&copy), SMTO_ABORTIFHUNG, kAgentSendTimeout,
                               &ignored)) {
        return E_FAIL;
    }
    return S_OK;
}

HRESULT CProcessMessage::SendRequest(PluginRequest* request) {
    return SendCopyData(request);
}

HRESULT CProcessMessage::SendScanRequest(PluginRequest* request, IVexloEventCallback* callback) {
    Hold hold(this);
    ReplaceStatusCallback(callback);
    request->jobId = MakeJobId();
    if (FAILED(SendCopyData(request)) && statusCallback && !closing) {
        AgentAnswer unreachable{};
        unreachable.state = kStateAgentUnreachable;
        Notify(statusCallback.get(), unreachable);
    }
    return S_OK;
}

HRESULT CProcessMessage::SendSelectScannerRequest(PluginRequest* request,
                                                  IVexloEventCallback* callback) {
    ReplaceSelectCallback(callback);
    return SendCopyData(request);
}

HRESULT CProcessMessage::SendPrintRequest(PluginRequest* request, IVexloEventCallback* callback) {
    ReplaceStatusCallback(callback);
    return SendCopyData(request);
}

HRESULT CProcessMessage::GetScanMode(int32_t* mode) {
    Hold hold(this);
    lastScanMode = 0;
    PluginRequest request = CreateEmptyRequest();
    request.code = kRequestGetScanMode;
    SendCopyData(&request);
    ::Sleep(kQueryWait);
    RunPendingTicks();
    *mode = lastScanMode;
    return lastScanMode != 0 ? S_OK : E_FAIL;
}

HRESULT CProcessMessage::GetSelectedScanner(int32_t scannerInterface, std::u16string* name) {
    Hold hold(this);
    PluginRequest request = CreateEmptyRequest();
    request.code = kRequestGetSelectedScanner;
    request.param = scannerInterface;
    SendCopyData(&request);
    ::Sleep(kQueryWait);
    RunPendingTicks();
    // Without an answer in time this is the name of an earlier one.
    *name = lastSelectedScanner;
    return S_OK;
}

void CProcessMessage::RunPendingTicks() {
    MSG msg;
    // A page callback inside a tick may close the channel: no tick after that.
    while (!closing && m_hWnd != nullptr &&
           ::PeekMessageW(&msg, m_hWnd, WM_TIMER, WM_TIMER, PM_REMOVE)) {
        ::DispatchMessageW(&msg);
    }
}

LRESULT CProcessMessage::OnDestroy(UINT, WPARAM, LPARAM, BOOL&) {
    if (timerId != 0) {
        KillTimer(timerId);
        timerId = 0;
    }
    Retire(std::move(statusCallback));
    Retire(std::move(selectCallback));
    return 0;
}

LRESULT CProcessMessage::OnCopyData(UINT, WPARAM, LPARAM lParam, BOOL&) {
    const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    AgentAnswer answer;
    if (copy == nullptr || !DecodeAnswer(copy->lpData, copy->cbData, &answer)) {
        return 0;
    }
    answers.push_back(answer);
    if (timerId == 0) {
        timerId = SetTimer(kAnswerTimerId, kAnswerTimerPeriod);
    }
    return 0;
}

LRESULT CProcessMessage::OnTimerMessage(UINT, WPARAM wParam, LPARAM, BOOL&) {
    OnTimer(static_cast<UINT_PTR>(wParam));
    return 0;
}

void CProcessMessage::OnTimer(UINT_PTR id) {
    if (id != kAnswerTimerId) {
        return;
    }
    Hold hold(this);
    // A callback that closes the channel ends the handing out: the answers
    // left are dropped with it.
    while (!closing && !answers.empty()) {
        // Taken off the queue before its callback runs: a callback may come
        // back into the channel, and a nested tick goes on with the next one.
        AgentAnswer answer = answers.front();
        answers.pop_front();
        // Callbacks get a terminated text even from a record that fills the field.
        answer.text[kAnswerTextLength - 1] = 0;
        switch (answer.state) {
            case kReplySelectedScanner:
                if (selectCallback) {
                    Notify(selectCallback.get(), answer);
                }
                break;
            case kReplyScanMode:
                lastScanMode = answer.info;
                break;
            case kReplyGetSelectedScanner:
                lastSelectedScanner = ReadField(answer.text);
                break;
            default:
                if (statusCallback) {
                    Notify(statusCallback.get(), answer);
                }
                break;
        }
    }
}

void CProcessMessage::Notify(IVexloEventCallback* callback, const AgentAnswer& answer) {
    ++notifying;
    if (answer.state == kReplySelectedScanner) {
        callback->OnText(answer.text);
    } else {
        callback->OnState(answer.state, answer.info, answer.text);
    }
    if (--notifying == 0) {
        retired.clear();
    }
}

void CProcessMessage::Retire(std::unique_ptr<IVexloEventCallback> callback) {
    // The callback may be the one running right now (a page function that
    // starts a new scan, or closes the page): it goes once it has returned.
    if (callback && notifying > 0) {
        retired.push_back(std::move(callback));
    }
}

void CProcessMessage::ReplaceStatusCallback(IVexloEventCallback* callback) {
    Retire(std::exchange(statusCallback, nullptr));
    statusCallback.reset(callback);
}

void CProcessMessage::ReplaceSelectCallback(IVexloEventCallback* callback) {
    Retire(std::exchange(selectCallback, nullptr));
    selectCallback.reset(callback);
}

}  // namespace vexlo
