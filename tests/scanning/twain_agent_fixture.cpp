#include "twain_agent_fixture.h"

#include <cstdlib>
#include <cstring>
#include <thread>

#include "agent/base/data_folders.h"
#include "agent/base/settings.h"
#include <gtest/gtest.h>

#include "desktop_user.h"

namespace vexlo::test {

std::filesystem::path SessionFile(const std::string& name) {
    const char* session = getenv("W32_SESSION");
    return std::filesystem::path(session != nullptr ? session : "/nonexistent") / name;
}

void DescribeSources(const std::string& text) {
    WriteFileBytes(SessionFile("twain-sources"), text);
    std::error_code ignored;
    std::filesystem::remove(SessionFile("twain-default"), ignored);
}

PluginRequest Request(int code, int param, int jobId) {
    PluginRequest request = CreateEmptyRequest();
    request.code = code;
    request.param = param;
    request.jobId = jobId;
    return request;
}

PluginRequest ScanRequest(int scanType, int jobId) {
    PluginRequest request = Request(kRequestScan, scanType, jobId);
    WriteField(request.apiKey, u"key-1");
    request.messageId = 5;
    return request;
}

TwainAgent::TwainAgent(const std::string& sources, const std::string& settings,
                       const char* dsmLibrary) {
    DescribeSources(sources);
    setenv("APPDATA", appData.native().c_str(), 1);
    FreeSettings();
    std::filesystem::create_directories(appData.path() / "VexloDesktop");
    WriteFileBytes(appData.path() / "VexloDesktop" / "settings.ini", settings);
    module.Init(nullptr);
    module.AddMessageLoop(&loop);
    ScannerFactory factory = DefaultScannerFactory();
    factory.makeWia = [this](IHost& host, const std::u16string& folder) {
        ScannerPtr scanner = MakeScanner<CVexloWiaScanner>(&host, folder);
        wia = static_cast<CVexloWiaScanner*>(scanner.get());
        return scanner;
    };
    std::string library = dsmLibrary;
    factory.makeTwain = [this, library](IHost& host, const std::u16string& folder) {
        ScannerPtr scanner = MakeScanner<CTwainManager>(&host, folder, library.c_str());
        manager = static_cast<CTwainManager*>(scanner.get());
        return scanner;
    };
    // The scan worker stays held: the tests look at the queued images.
    agent = std::make_unique<CAppWindow>(module, factory, ScanWorkerStart::kHeld);
    agentWindow = agent->Create(GetDesktopWindow(), fw::CWindow::rcDefault);
}

TwainAgent::~TwainAgent() {
    if (::IsWindow(agentWindow)) {
        DestroyWindow(agentWindow);
    }
    PumpMessages();
    agent.reset();
    module.RemoveMessageLoop();
    FreeSettings();
}

void TwainAgent::Send(const PluginRequest& request) {
    COPYDATASTRUCT copy = {};
    copy.cbData = sizeof(request);
    copy.lpData = const_cast<PluginRequest*>(&request);
    SendMessageW(agentWindow, WM_COPYDATA, reinterpret_cast<WPARAM>(client.hwnd()),
                 reinterpret_cast<LPARAM>(&copy));
}

void TwainAgent::Scan(int scanType, int jobId) {
    Send(ScanRequest(scanType, jobId));
    Pump();
}

void TwainAgent::Select() {
    Send(Request(kRequestSelectScanner, kInterfaceTwain));
}

void TwainAgent::Stop(int jobId) {
    Send(Request(kRequestStopScan, 0, jobId));
}

void TwainAgent::SetScanMode(int mode) {
    Send(Request(kRequestSetScanMode, mode));
}

void TwainAgent::Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            continue;
        }
        if (!loop.PreTranslateMessage(&msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

bool TwainAgent::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    return vexlo::test::PumpUntil(done, timeout, [this] { Pump(); });
}

HWND TwainAgent::SourceDialog(const std::u16string& productName) const {
    HWND dialog = FindWindowW(u"#32770", productName.c_str());
    return dialog != nullptr && IsWindowVisible(dialog) ? dialog : nullptr;
}

void TwainAgent::Press(HWND dialog, const std::u16string& button) {
    desktop_user::PressButton(dialog, button);
    Pump();
}

void TwainAgent::ClickNow(HWND dialog, const std::u16string& button) {
    for (const auto& control : desktop_user::Controls(dialog)) {
        if (control.text == button) {
            SendMessageW(control.hwnd, BM_CLICK, 0, 0);
            return;
        }
    }
    ADD_FAILURE() << "no such button";
}

std::vector<int> TwainAgent::States() const {
    std::vector<int> states;
    for (const Answer& answer : client.answers) {
        states.push_back(answer.state);
    }
    return states;
}

std::vector<std::filesystem::path> TwainAgent::ScannedFiles() const {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (const auto& entry :
         std::filesystem::directory_iterator(appData.path() / "VexloDesktop" / "Scanned", error)) {
        files.push_back(entry.path());
    }
    return files;
}

std::string TwainAgent::Log() const {
    return ReadFileBytes(appData.path() / "VexloDesktop" / "vexlo-plugin.log");
}

PostedAction::PostedAction(std::function<void()> todo) : action(std::move(todo)) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = Procedure;
    wc.lpszClassName = u"TestPostedAction";
    RegisterClassExW(&wc);
    window = CreateWindowExW(0, u"TestPostedAction", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             nullptr, nullptr);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

PostedAction::~PostedAction() {
    DestroyWindow(window);
}

void PostedAction::Post() {
    PostMessageW(window, WM_APP + 7, 0, 0);
}

LRESULT CALLBACK PostedAction::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<PostedAction*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_APP + 7 && self != nullptr) {
        ++self->runs;
        self->action();
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

BmpFacts ReadBmp(const std::u16string& file) {
    return ReadBmp(std::filesystem::path(desktop_user::Narrow(file)));
}

BmpFacts ReadBmp(const std::filesystem::path& file) {
    std::string bytes = ReadFileBytes(file);
    BmpFacts facts;
    facts.bytes = bytes.size();
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') {
        return facts;
    }
    auto u32 = [&](size_t at) {
        uint32_t value = 0;
        std::memcpy(&value, bytes.data() + at, 4);
        return value;
    };
    facts.valid = true;
    facts.fileSize = u32(2);
    facts.offBits = u32(10);
    facts.width = static_cast<int32_t>(u32(18));
    facts.height = static_cast<int32_t>(u32(22));
    uint16_t bits = 0;
    std::memcpy(&bits, bytes.data() + 28, 2);
    facts.bitCount = bits;
    return facts;
}

}  // namespace vexlo::test
