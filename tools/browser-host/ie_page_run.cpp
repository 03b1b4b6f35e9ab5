#include "ie_page_run.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "framework/com_ptr.h"
#include "framework/text.h"
#include "host_loop.h"
#include "ie_frame.h"
#include "server_entry.h"

namespace browser {

namespace {

using ie::Frame;

constexpr UINT_PTR kTimeoutTimer = 1;
constexpr UINT kWakeMessage = WM_APP + 1;
constexpr UINT kNavigateMessage = WM_APP + 2;
constexpr const char16_t* kHostClass = u"BrowserHostIeTimers";
constexpr const char16_t* kHelpersKey =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\Browser Helper Objects";
constexpr const char16_t* kAddOnModule = u"ie_agent_vexlo.dll";

std::string Narrow(const std::u16string& text) {
    return fw::FromWide(CP_UTF8, text);
}

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", static_cast<unsigned>(hr));
    return text;
}

// The module registered for a class, empty when there is none.
std::u16string ServerModule(const std::u16string& clsid) {
    std::u16string server = u"CLSID\\" + clsid + u"\\InprocServer32";
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, server.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return {};
    }
    char16_t module[MAX_PATH + 1] = {};
    DWORD size = sizeof(char16_t) * MAX_PATH;
    DWORD type = 0;
    LSTATUS status =
        ::RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(module), &size);
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return {};
    }
    return std::u16string(module, size / sizeof(char16_t)).c_str();
}

// An add-on the browser loaded: its object and the module it came from.
struct Helper {
    std::u16string clsid;
    std::u16string module;
    fw::CComPtr<IObjectWithSite> object;
};

class IeRun final : public ie::FrameHost {
public:
    explicit IeRun(const Options& runOptions) : options(runOptions) {
        variants.siteWithoutService = options.siteWithoutService;
        variants.documentWithoutWindow = options.documentWithoutWindow;
    }
    ~IeRun() { Close(); }

    int Run();

    const ie::BrowserVariants& Variants() const override { return variants; }
    void Log(const std::string& text) override {
        std::fprintf(stderr, "browser-host: %s\n", text.c_str());
        std::fflush(stderr);
    }
    void Verbose(const std::string& text) override {
        if (options.verbose) {
            Log(text);
        }
    }
    // The first end wins: a time-out after done() changes nothing.
    void Finish(int code) override {
        if (!finished) {
            finished = true;
            exitCode = code;
            ::PostMessageW(hostWindow, kWakeMessage, 0, 0);
        }
    }
    bool Finished() const override { return finished; }
    HWND HostWindow() const override { return hostWindow; }
    void PostNavigation(uint32_t frameSerial) override {
        ::PostMessageW(hostWindow, kNavigateMessage, frameSerial, 0);
    }
    uint32_t NextSerial() override { return nextSerial++; }
    int ChannelWindows() const override;

private:
    static LRESULT CALLBACK HostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    bool Register();
    void LoadHelpers();
    void OnTimer(UINT_PTR id);
    void OnNavigate(uint32_t serial);
    void Close();

    const Options& options;
    ie::BrowserVariants variants;
    HWND hostWindow = nullptr;
    bool finished = false;
    int exitCode = 0;
    std::unique_ptr<Frame> topFrame;
    std::vector<Helper> helpers;
    uint32_t nextSerial = 1;
    bool comReady = false;
};

IeRun* activeRun = nullptr;

// --- IeRun -------------------------------------------------------------------------

LRESULT CALLBACK IeRun::HostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (activeRun != nullptr) {
        if (message == WM_TIMER) {
            activeRun->OnTimer(static_cast<UINT_PTR>(wParam));
            return 0;
        }
        if (message == kNavigateMessage) {
            activeRun->OnNavigate(static_cast<uint32_t>(wParam));
            return 0;
        }
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

int IeRun::ChannelWindows() const {
    int count = 0;
    HWND window = nullptr;
    while ((window = ::FindWindowExW(HWND_MESSAGE, window, nullptr, nullptr)) != nullptr) {
        DWORD process = 0;
        ::GetWindowThreadProcessId(window, &process);
        if (process == ::GetCurrentProcessId() && window != hostWindow) {
            ++count;
        }
    }
    return count;
}

void IeRun::OnTimer(UINT_PTR id) {
    if (id == kTimeoutTimer) {
        ::KillTimer(hostWindow, kTimeoutTimer);
        if (!finished) {
            Log("time-out: the page did not call done() within " +
                std::to_string(options.timeoutSeconds) + " s");
        }
        Finish(kExitTimeout);
        return;
    }
    Frame* owner = topFrame ? topFrame->TimerOwner(static_cast<uint32_t>(id)) : nullptr;
    if (owner == nullptr) {
        // The document that set it has ended.
        ::KillTimer(hostWindow, id);
        return;
    }
    if (!finished) {
        owner->Engine()->FireTimer(static_cast<uint32_t>(id));
    }
}

// A navigation a script asked for: a path relative to the frame's page,
// or a file: URL.
void IeRun::OnNavigate(uint32_t serial) {
    Frame* frame = topFrame ? topFrame->Find(serial) : nullptr;
    std::string target = frame != nullptr ? frame->TakePendingNavigation() : std::string();
    if (target.empty() || finished) {
        return;
    }
    if (target.rfind("file://", 0) == 0) {
        target = target.substr(7);
    }
    std::filesystem::path next(target);
    if (next.is_relative()) {
        next = frame->Folder() / next;
    }
    frame->Load(next, true);
}

bool IeRun::Register() {
    if (options.registration == Registration::None) {
        return true;
    }
    // The add-on installed beside the host, by its full path as regsvr32
    // is given it.
    HMODULE module = ::LoadLibraryW(kAddOnModule);
    if (module == nullptr) {
        Log("cannot find the add-on ie_agent_vexlo beside the host");
        return false;
    }
    char16_t path[MAX_PATH] = {};
    DWORD length = ::GetModuleFileNameW(module, path, MAX_PATH);
    ::FreeLibrary(module);
    // The loader's path may go through the host's folder: as regsvr32 is
    // given it, the library's own.
    std::string library =
        std::filesystem::weakly_canonical(Narrow(std::u16string(path, length))).string();
    bool perUser = options.registration == Registration::PerUser;
    HRESULT hr = perUser ? vexlo::regsvr::CallServerEntry(library, vexlo::regsvr::Entry::Install,
                                                          std::u16string(u"user"))
                         : vexlo::regsvr::CallServerEntry(library, vexlo::regsvr::Entry::Register);
    Log(std::string("registered ") + library + (perUser ? " per user" : " per machine") + ": " +
        Hex(hr));
    return SUCCEEDED(hr);
}

// Every class under the Browser Helper Objects key is created in process
// and given the top-level browser as its site.
void IeRun::LoadHelpers() {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kHelpersKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        Log("no browser helper objects are registered");
        return;
    }
    std::vector<std::u16string> classes;
    for (DWORD index = 0;; ++index) {
        char16_t name[64];
        DWORD nameLength = 64;
        LONG status =
            ::RegEnumKeyExW(key, index, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (status == ERROR_SUCCESS) {
            classes.emplace_back(name, nameLength);
        }
    }
    ::RegCloseKey(key);
    for (const std::u16string& text : classes) {
        CLSID clsid;
        if (FAILED(::CLSIDFromString(text.c_str(), &clsid))) {
            Log("browser helper object key " + Narrow(text) + " is no class id");
            continue;
        }
        Helper helper;
        helper.clsid = text;
        helper.module = ServerModule(text);
        HRESULT hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IObjectWithSite,
                                        reinterpret_cast<void**>(&helper.object));
        if (FAILED(hr)) {
            Log("browser helper object " + Narrow(text) + " cannot be created: " + Hex(hr));
            continue;
        }
        Log("browser helper object " + Narrow(text) + " loaded from " + Narrow(helper.module));
        helper.object->SetSite(static_cast<IWebBrowser2*>(topFrame->Browser()));
        helpers.push_back(std::move(helper));
    }
}

int IeRun::Run() {
    activeRun = this;
    if (!std::filesystem::exists(options.page)) {
        Log("cannot read the page " + options.page.string());
        return kExitLoadFailed;
    }
    if (!Register()) {
        return kExitLoadFailed;
    }
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        Log("COM cannot be initialised on the page thread");
        return kExitLoadFailed;
    }
    comReady = true;
    hostWindow = CreateHostWindow(kHostClass, HostProc);
    if (hostWindow == nullptr) {
        Log("cannot create the page's window");
        return kExitLoadFailed;
    }
    topFrame = std::make_unique<Frame>(*this, nullptr, NextSerial());
    LoadHelpers();
    ::SetTimer(hostWindow, kTimeoutTimer, options.timeoutSeconds * 1000, nullptr);
    if (!topFrame->Load(options.page, true)) {
        return kExitLoadFailed;
    }
    RunMessageLoop(finished);
    Close();
    return exitCode;
}

// The documents end first, then the browser tells its add-ons it quits,
// they lose their site and go, and the libraries that can go are freed.
void IeRun::Close() {
    if (topFrame) {
        topFrame->Unload();
        topFrame->Browser()->Fire(DISPID_ONQUIT);
    }
    for (Helper& helper : helpers) {
        helper.object->SetSite(nullptr);
        helper.object.Release();
    }
    for (const Helper& helper : helpers) {
        HMODULE module =
            helper.module.empty() ? nullptr : ::GetModuleHandleW(helper.module.c_str());
        auto canUnload =
            module == nullptr
                ? nullptr
                : reinterpret_cast<HRESULT(WINAPI*)()>(::GetProcAddress(module, "DllCanUnloadNow"));
        if (canUnload != nullptr) {
            HRESULT hr = canUnload();
            Log("DllCanUnloadNow of " + Narrow(helper.module) + ": " +
                (hr == S_OK      ? "S_OK"
                 : hr == S_FALSE ? "S_FALSE"
                                 : Hex(hr)));
        }
    }
    helpers.clear();
    topFrame.reset();
    if (comReady) {
        ::CoFreeUnusedLibraries();
        if (ie::LiveFrameObjects() != 0) {
            Log(std::to_string(ie::LiveFrameObjects()) +
                " objects of the browser are still referenced");
        }
        ::CoUninitialize();
        comReady = false;
    }
    if (hostWindow != nullptr) {
        ::DestroyWindow(hostWindow);
        hostWindow = nullptr;
    }
    activeRun = nullptr;
}

}  // namespace

int RunIePage(const Options& options) {
    IeRun run(options);
    return run.Run();
}

}  // namespace browser
