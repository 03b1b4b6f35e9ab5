#include "agent/core/agent_main.h"

#include <cstdio>
#include <exception>

#include "agent/core/crash_reporter.h"

namespace vexlo {

int RunGuardedMessageLoop(fw::CMessageLoop& loop, HWND mainWindow) {
    for (;;) {
        try {
            return loop.Run();
        } catch (const std::exception& error) {
            fprintf(stderr, "agent_vexlo: a message handler failed: %s\n", error.what());
        } catch (...) {
            fprintf(stderr, "agent_vexlo: a message handler failed\n");
        }
        PostMessageW(mainWindow, WM_CLOSE, 0, 0);
    }
}

int RunAgent(fw::CAppModule& module, ScannerFactory scanners) {
    fw::CMessageLoop loop;
    module.AddMessageLoop(&loop);
    {
        CAppWindow window(module, std::move(scanners));
        HWND created = window.Create(GetDesktopWindow(), fw::CWindow::rcDefault);
        if (created != nullptr) {
            RunGuardedMessageLoop(loop, created);
        }
        // The window object goes here, after its window.
    }
    module.RemoveMessageLoop();
    return 0;
}

}  // namespace vexlo

namespace {
fw::CAppModule appModule;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    CoInitialize(nullptr);
    vexlo::CCrashReporter crashReporter;
    crashReporter.InstallForProcess();
    appModule.Init(instance);
    vexlo::RunAgent(appModule, vexlo::DefaultScannerFactory());
    appModule.Term();
    crashReporter.UninstallForProcess();
    return 0;
}
