// What both modes of the host run on the page thread: a message-only window
// of their own (the page's timers, the time-out and the wake-up after done()
// go to its procedure) and the loop that handles the thread's messages (the
// plug-in's or the add-on's timers and the agent's answers among them) while
// the script waits for its callbacks.
#pragma once

#include <windows.h>

namespace browser {

// Null when the window cannot be made.
HWND CreateHostWindow(const char16_t* className, WNDPROC procedure);
// Handles messages until finished is set or the thread's loop ends.
void RunMessageLoop(const bool& finished);

}  // namespace browser
