#include "browser.h"

#include <windows.h>

#include <cstdio>
#include <memory>

#include "browser_table.h"
#include "framework/text.h"
#include "host_loop.h"
#include "embed_instance.h"
#include "ie_page_run.h"
#include "js_runtime.h"
#include "page.h"
#include "plugin_module.h"
#include "version_reader.h"

namespace browser {

namespace {

constexpr UINT_PTR kTimeoutTimer = 1;
constexpr UINT kWakeMessage = WM_APP + 1;
constexpr const char16_t* kHostClass = u"BrowserHostTimers";

std::u16string Wide(const std::string& text) {
    return fw::ToWide(CP_UTF8, text);
}

class PageRun : public HostControl {
public:
    PageRun(const Options& runOptions) : options(runOptions) {}
    ~PageRun() { Close(); }

    int Run();

    void Print(const std::string& line, bool error) override {
        FILE* stream = error ? stderr : stdout;
        std::fwrite(line.data(), 1, line.size(), stream);
        std::fputc('\n', stream);
        std::fflush(stream);
    }
    void Done(int code) override { Finish(code); }
    void ScriptFailed(const std::string& message) override {
        std::fprintf(stderr, "browser-host: script error in %s\n", message.c_str());
        std::fflush(stderr);
        Finish(kExitScriptError);
    }
    void StartTimer(uint32_t id, uint32_t milliseconds) override {
        ::SetTimer(hostWindow, id, milliseconds, nullptr);
    }
    void StopTimer(uint32_t id) override { ::KillTimer(hostWindow, id); }
    HWND PageWindow() override { return pageWindow; }
    void Status(const std::string& message) override {
        if (options.verbose) {
            std::fprintf(stderr, "browser-host: status: %s\n", message.c_str());
        }
    }

private:
    static LRESULT CALLBACK HostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void OnTimer(UINT_PTR id);
    // The first end wins: a time-out after done() changes nothing.
    void Finish(int code) {
        if (!finished) {
            finished = true;
            exitCode = code;
            ::PostMessageW(hostWindow, kWakeMessage, 0, 0);
        }
    }
    bool LoadPlugin();
    void Close();

    const Options& options;
    std::unique_ptr<PluginModule> module;
    std::unique_ptr<JsRuntime> runtime;
    std::vector<std::unique_ptr<EmbedInstance>> instances;
    HWND hostWindow = nullptr;
    HWND pageWindow = nullptr;
    bool finished = false;
    int exitCode = 0;
};

PageRun* activeRun = nullptr;

LRESULT CALLBACK PageRun::HostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER && activeRun != nullptr) {
        activeRun->OnTimer(static_cast<UINT_PTR>(wParam));
        return 0;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

void PageRun::OnTimer(UINT_PTR id) {
    if (id == kTimeoutTimer) {
        ::KillTimer(hostWindow, kTimeoutTimer);
        if (!finished) {
            std::fprintf(stderr,
                         "browser-host: time-out: the page did not call done() within %u s\n",
                         options.timeoutSeconds);
            std::fflush(stderr);
        }
        Finish(kExitTimeout);
        return;
    }
    if (!finished && runtime) {
        runtime->FireTimer(static_cast<uint32_t>(id));
    }
}

bool PageRun::LoadPlugin() {
    std::u16string path;
    if (options.plugin.empty()) {
        // Found beside the host, as a browser finds its plug-ins folder.
        path = u"npagentvexlo.dll";
    } else {
        path = Wide(std::filesystem::absolute(options.plugin).string());
    }
    std::string error;
    module = PluginModule::Load(path, &error);
    if (!module) {
        std::fprintf(stderr, "browser-host: %s\n", error.c_str());
        return false;
    }
    return true;
}

int PageRun::Run() {
    activeRun = this;
    Page page;
    std::string error;
    if (!LoadPage(options.page, &page, &error)) {
        std::fprintf(stderr, "browser-host: %s\n", error.c_str());
        return kExitLoadFailed;
    }
    if (!LoadPlugin()) {
        return kExitLoadFailed;
    }
    hostWindow = CreateHostWindow(kHostClass, HostProc);
    pageWindow = CreatePageWindow();
    if (hostWindow == nullptr || pageWindow == nullptr) {
        std::fprintf(stderr, "browser-host: cannot create the page's windows\n");
        return kExitLoadFailed;
    }

    runtime = std::make_unique<JsRuntime>(*this);
    SetPageServices(runtime.get());
    PluginDescription description;
    description.name = std::string(module->Name().begin(), module->Name().end());
    description.description = description.name;
    description.filename =
        options.plugin.empty() ? "npagentvexlo.so" : options.plugin.filename().string();
    description.mimeTypes = module->MimeTypes();
    runtime->DescribePlugin(description);

    for (const std::string& id : options.embedIds) {
        EmbedElement embed;
        embed.attributes = {{"id", id}, {"type", module->MimeTypes().front()}};
        page.embeds.push_back(embed);
    }
    for (const EmbedElement& element : page.embeds) {
        NPObject* scriptable = nullptr;
        if (module->Handles(element.Attribute("type"))) {
            auto instance = std::make_unique<EmbedInstance>(
                *module, element, pageWindow, options.page.parent_path(), options.verbose);
            if (instance->Start(&error)) {
                scriptable = instance->ScriptableObject();
                instances.push_back(std::move(instance));
            } else {
                std::fprintf(stderr, "browser-host: %s\n", error.c_str());
            }
        }
        runtime->AddEmbed(element, scriptable);
    }

    ::SetTimer(hostWindow, kTimeoutTimer, options.timeoutSeconds * 1000, nullptr);
    for (const PageScript& script : page.scripts) {
        if (finished || !runtime->Run(script.source, script.origin)) {
            break;
        }
    }
    if (!finished) {
        runtime->CallOnload();
    }
    RunMessageLoop(finished);
    Close();
    return exitCode;
}

// Instances go first, then the plug-in objects the scripts still hold, the
// engine, the windows and the plug-in library.
void PageRun::Close() {
    for (auto it = instances.rbegin(); it != instances.rend(); ++it) {
        (*it)->Destroy();
    }
    if (runtime) {
        runtime->ReleasePluginObjects();
    }
    instances.clear();
    SetPageServices(nullptr);
    runtime.reset();
    if (pageWindow != nullptr) {
        ::DestroyWindow(pageWindow);
        pageWindow = nullptr;
    }
    if (hostWindow != nullptr) {
        ::DestroyWindow(hostWindow);
        hostWindow = nullptr;
    }
    module.reset();
    activeRun = nullptr;
}

}  // namespace

int RunPage(const Options& options) {
    if (options.ie) {
        return RunIePage(options);
    }
    PageRun run(options);
    return run.Run();
}

}  // namespace browser
