#include "agent_fixture.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "agent/base/messages.h"
#include "agent/base/settings.h"

namespace vexlo::test {

AnswerRecorder::AnswerRecorder() {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = u"TestAnswerRecorder";
    RegisterClassExW(&wc);
    window = CreateWindowExW(0, u"TestAnswerRecorder", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE,
                             nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

AnswerRecorder::~AnswerRecorder() {
    if (window != nullptr) {
        DestroyWindow(window);
    }
}

LRESULT CALLBACK AnswerRecorder::Proc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        auto* self = reinterpret_cast<AnswerRecorder*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        AgentAnswer answer;
        if (self != nullptr && data != nullptr &&
            DecodeAnswer(data->lpData, data->cbData, &answer)) {
            self->answers.push_back({answer.state, answer.info, ReadField(answer.text),
                                     reinterpret_cast<HWND>(wParam)});
        }
        return 0;
    }
    if (message == WM_VEXLO_DESKTOP_MESSAGE) {
        auto* self = reinterpret_cast<AnswerRecorder*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
        if (self != nullptr) {
            self->desktopReplies.push_back(wParam);
        }
        return 0;
    }
    return DefWindowProcW(hWnd, message, wParam, lParam);
}

AgentFixture::AgentFixture(const std::string& settingsText, ScanWorkerStart scanWorker,
                           PrintWorkerStart printWorker) {
    setenv("APPDATA", appData.native().c_str(), 1);
    FreeSettings();
    if (!settingsText.empty()) {
        std::filesystem::create_directories(DataFolder());
        WriteFileBytes(DataFolder() / "settings.ini", settingsText);
    }
    module.Init(nullptr);
    module.AddMessageLoop(&loop);
    ScannerFactory factory;
    factory.makeTwain = [this](IHost&, const std::u16string&) {
        ScannerPtr scanner = MakeScanner<FakeScanner>();
        twain = static_cast<FakeScanner*>(scanner.get());
        return scanner;
    };
    factory.makeWia = [this](IHost&, const std::u16string&) {
        ScannerPtr scanner = MakeScanner<FakeScanner>();
        wia = static_cast<FakeScanner*>(scanner.get());
        return scanner;
    };
    agent = std::make_unique<CAppWindow>(module, factory, scanWorker, printWorker);
    agentWindow = agent->Create(GetDesktopWindow(), fw::CWindow::rcDefault);
}

AgentFixture::~AgentFixture() {
    // The client goes first: a scan worker still sending it states must not
    // wait for this thread, which is about to wait for the worker.
    DestroyWindow(client.hwnd());
    if (::IsWindow(agentWindow)) {
        DestroyWindow(agentWindow);
    }
    PumpMessages();
    agent.reset();
    module.RemoveMessageLoop();
    FreeSettings();
}

void AgentFixture::Send(const PluginRequest& request) {
    SendBytes(&request, sizeof(request));
}

void AgentFixture::SendBytes(const void* data, DWORD size) {
    COPYDATASTRUCT copy = {};
    copy.dwData = 0;
    copy.cbData = size;
    copy.lpData = const_cast<void*>(data);
    SendMessageW(agentWindow, WM_COPYDATA, reinterpret_cast<WPARAM>(client.hwnd()),
                 reinterpret_cast<LPARAM>(&copy));
}

void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    return PumpUntil(done, timeout, PumpMessages);
}

void SendRequest(HWND agent, HWND client, const PluginRequest& request) {
    COPYDATASTRUCT copy{0, sizeof(request), const_cast<PluginRequest*>(&request)};
    SendMessageW(agent, WM_COPYDATA, reinterpret_cast<WPARAM>(client),
                 reinterpret_cast<LPARAM>(&copy));
}

PluginRequest MakeRequest(int code, int param, int jobId) {
    PluginRequest request = CreateEmptyRequest();
    request.code = code;
    request.param = param;
    request.jobId = jobId;
    return request;
}

std::string ProgramInBuild(const std::string& name) {
    char self[4096];
    ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
    self[length > 0 ? length : 0] = 0;
    std::string path = self;
    return path.substr(0, path.rfind('/')) + "/" + name;
}

ChildProcess StartProgram(const std::vector<std::string>& arguments, const std::string& appData) {
    return Spawn(arguments, {{"APPDATA", appData}});
}

int WaitForProgram(ChildProcess& program, std::chrono::milliseconds bound) {
    int status = program.Wait(bound, PumpMessages);
    if (program.running()) {
        program.End(std::chrono::milliseconds(0));
        return -1;
    }
    return status;
}

}  // namespace vexlo::test
