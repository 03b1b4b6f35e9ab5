// What tests of windows and printing share: a window class of the test's own,
// a plain top-level window, and the session folder the test runs in.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <filesystem>

namespace test_support {

// Registers a class of the test process; 0 when the name is taken.
inline ATOM RegisterWindowClass(const char16_t* name, WNDPROC proc) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.lpszClassName = name;
    return RegisterClassExW(&wc);
}

inline HWND MakePlainWindow(const char16_t* title, HWND owner = nullptr) {
    static const ATOM atom = RegisterWindowClass(u"PlainTestWindow", DefWindowProcW);
    (void)atom;
    return CreateWindowExW(0, u"PlainTestWindow", title, WS_POPUP, 0, 0, 10, 10, owner, nullptr,
                           nullptr, nullptr);
}

inline std::filesystem::path SessionFolder() {
    return std::getenv("W32_SESSION");
}

}  // namespace test_support
