#include "host_loop.h"

namespace browser {

HWND CreateHostWindow(const char16_t* className, WNDPROC procedure) {
    WNDCLASSEXW info = {};
    info.cbSize = sizeof(info);
    info.lpfnWndProc = procedure;
    info.hInstance = ::GetModuleHandleW(nullptr);
    info.lpszClassName = className;
    ::RegisterClassExW(&info);
    return ::CreateWindowExW(0, className, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             ::GetModuleHandleW(nullptr), nullptr);
}

void RunMessageLoop(const bool& finished) {
    MSG msg;
    while (!finished) {
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            break;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

}  // namespace browser
