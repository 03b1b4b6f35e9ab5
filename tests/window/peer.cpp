// A second process of the session for the window-system tests:
//   w32_test_peer echo CLASS      a top-level window that answers WM_COPYDATA by
//                                 sending the bytes back, reversed, to wParam's
//                                 window from inside its handler, and returns 7
//   w32_test_peer listen CLASS MESSAGE   counts broadcasts of a registered message;
//                                 WM_USER+1 asks for the count as the result
//   w32_test_peer hang CLASS      a window whose thread stops pumping
//   w32_test_peer busy CLASS MESSAGE   counts like listen; also has a top-level window
//                                 "second" and a window "worker" of a second thread.
//                                 WM_USER+3 sleeps wParam ms in the handler, WM_USER+4
//                                 destroys "second" first, WM_USER+5 ends the worker thread
// In every mode WM_USER+6 throws from the handler (the loop goes on) and
// WM_USER+7 tells how often a posted WM_TIMER reached the window procedure.
// It prints "ready <handle>" once its window exists.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// The dialog the "dialog" mode shows: OK (default), Cancel and "Скан".
const W32_DIALOG_CONTROL kDialogControls[] = {
    {IDOK, u"Button", u"OK", 53, 83, 50, 14, WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0},
    {IDCANCEL, u"Button", u"Cancel", 104, 83, 50, 14, WS_VISIBLE | WS_TABSTOP, 0},
    {1005, u"Button", u"&Скан", 7, 83, 40, 14, WS_VISIBLE | WS_TABSTOP, 0},
    {-1, u"Static", u"Сканеры:", 7, 7, 147, 8, WS_VISIBLE | WS_GROUP, 0},
};
const W32_DIALOG_TEMPLATE kDialog = {WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
                                     0,
                                     80,
                                     80,
                                     161,
                                     102,
                                     u"Выбор сканера",
                                     u"MS Shell Dlg",
                                     8,
                                     kDialogControls,
                                     4};

const W32_MENU_ITEM kTrayItems[] = {{301, u"О программе", nullptr, 0}, {300, u"Выход", nullptr, 0}};
const W32_MENU_ITEM kTrayMenu[] = {{0, u"popup", kTrayItems, 2}};
const W32_MENU_TEMPLATE kMenu = {kTrayMenu, 1};

UINT listenedMessage = 0;
int command = 0;
int heard = 0;
int timerTicks = 0;

LRESULT CALLBACK EchoProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (data == nullptr || data->lpData == nullptr) {
            return 99;  // "no data"
        }
        std::vector<unsigned char> reply(
            static_cast<const unsigned char*>(data->lpData),
            static_cast<const unsigned char*>(data->lpData) + data->cbData);
        std::reverse(reply.begin(), reply.end());
        COPYDATASTRUCT back{data->dwData + 1, static_cast<DWORD>(reply.size()), reply.data()};
        SendMessageW(reinterpret_cast<HWND>(wParam), WM_COPYDATA, reinterpret_cast<WPARAM>(hwnd),
                     reinterpret_cast<LPARAM>(&back));
        return 7;
    }
    if (message == WM_USER + 1) {
        return heard;
    }
    if (message == WM_COMMAND) {
        command = LOWORD(wParam);
        return 0;
    }
    if (message == WM_USER + 2) {
        return static_cast<LRESULT>(wParam * 2);
    }
    if (message == WM_USER + 4) {
        char16_t className[64];
        GetClassNameW(hwnd, className, 64);
        DestroyWindow(FindWindowW(className, u"second"));
    }
    if (message == WM_USER + 3 || message == WM_USER + 4) {
        Sleep(static_cast<DWORD>(wParam));  // busy: looks at no message meanwhile
        return 0;
    }
    if (message == WM_USER + 6) {
        throw std::runtime_error("a handler that fails");
    }
    if (message == WM_TIMER) {
        ++timerTicks;
        return 0;
    }
    if (message == WM_USER + 7) {
        return timerTicks;
    }
    if (message == WM_USER + 5) {
        PostQuitMessage(0);
        return 0;
    }
    if (listenedMessage != 0 && message == listenedMessage) {
        ++heard;
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

std::u16string Wide(const char* text) {
    return std::u16string(text, text + strlen(text));
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        return TRUE;
    }
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        EndDialog(dialog, LOWORD(wParam) == 1005 ? 5 : LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

W32_RESOURCE(RT_DIALOG, 130, &kDialog, sizeof(kDialog))
W32_RESOURCE(RT_MENU, 250, &kMenu, sizeof(kMenu))

int main(int argc, char** argv) {
    if (argc < 3) {
        return 2;
    }
    std::string mode = argv[1];
    std::u16string className = Wide(argv[2]);
    if ((mode == "listen" || mode == "busy") && argc >= 4) {
        listenedMessage = RegisterWindowMessageW(Wide(argv[3]).c_str());
    }
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = EchoProc;
    wc.lpszClassName = className.c_str();
    RegisterClassExW(&wc);
    HWND hwnd = CreateWindowExW(0, className.c_str(), u"peer", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10,
                                nullptr, nullptr, nullptr, nullptr);
    // A message-only window of the same process, which broadcasts must not reach.
    HWND hidden = CreateWindowExW(0, className.c_str(), u"hidden", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                  nullptr, nullptr, nullptr);
    (void)hidden;
    std::thread worker;
    if (mode == "busy") {
        CreateWindowExW(0, className.c_str(), u"second", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr,
                        nullptr, nullptr, nullptr);
        std::atomic<bool> started{false};
        worker = std::thread([&] {
            CreateWindowExW(0, className.c_str(), u"worker", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10,
                            nullptr, nullptr, nullptr, nullptr);
            started = true;
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
                DispatchMessageW(&msg);
            }
        });
        while (!started) {
            Sleep(1);
        }
    }
    printf("ready %u\n", static_cast<unsigned>(reinterpret_cast<uintptr_t>(hwnd)));
    fflush(stdout);
    if (mode == "dialog") {
        INT_PTR result =
            DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(130), hwnd, DialogProc, 0);
        return static_cast<int>(result);
    }
    if (mode == "menu") {
        HMENU loaded = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(250));
        HMENU popup = GetSubMenu(loaded, 0);
        TrackPopupMenu(popup, TPM_RIGHTBUTTON, 100, 100, 0, hwnd, nullptr);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&msg);
        }
        DestroyMenu(loaded);
        return command == 0 ? 0 : command - 299;  // exit codes are 8 bits: 300 gives 1, 301 gives 2
    }
    if (mode == "hang") {
        for (;;) {
            Sleep(1000);
        }
    }
    MSG msg;
    for (;;) {
        try {
            if (GetMessageW(&msg, nullptr, 0, 0) <= 0) {
                break;
            }
            DispatchMessageW(&msg);
        } catch (const std::exception&) {
            // A failed handler ends nothing here; its sender was released.
        }
    }
    if (worker.joinable()) {
        worker.join();
    }
    return 0;
}
