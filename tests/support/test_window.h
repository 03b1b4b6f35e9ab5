// What tests of windows and printing share: a plain top-level window of a
// class of the tests' own, and the session folder the test runs in.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <filesystem>

namespace test_support {

inline HWND MakePlainWindow(const char16_t* title, HWND owner = nullptr) {
    static const ATOM atom = [] {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DefWindowProcW;
        wc.lpszClassName = u"PlainTestWindow";
        return RegisterClassExW(&wc);
    }();
    (void)atom;
    return CreateWindowExW(0, u"PlainTestWindow", title, WS_POPUP, 0, 0, 10, 10, owner, nullptr,
                           nullptr, nullptr);
}

inline std::filesystem::path SessionFolder() {
    return std::getenv("W32_SESSION");
}

}  // namespace test_support
