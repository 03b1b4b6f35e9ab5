// The agent program's start, run and stop.
#pragma once

#include <windows.h>

#include "agent/core/app_window.h"
#include "framework/message_loop.h"

namespace vexlo {

// Runs the message loop of the GUI thread. An exception that escapes a
// message handler posts WM_CLOSE to the main window and the loop goes on, so
// the agent closes in order.
int RunGuardedMessageLoop(fw::CMessageLoop& loop, HWND mainWindow);

// Creates the hidden main window, runs the loop until WM_QUIT, destroys the
// window object. Returns 0.
int RunAgent(fw::CAppModule& module, ScannerFactory scanners);

}  // namespace vexlo

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);
