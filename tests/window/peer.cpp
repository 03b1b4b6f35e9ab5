// A second process of the session for the window-system tests:
//   w32_test_peer echo CLASS      a top-level window that answers WM_COPYDATA by
//                                 sending the bytes back, reversed, to wParam's
//                                 window from inside its handler, and returns 7
//   w32_test_peer listen CLASS MESSAGE   counts broadcasts of a registered message;
//                                 WM_USER+1 asks for the count as the result
//   w32_test_peer hang CLASS      a window whose thread stops pumping
// It prints "ready <handle>" once its window exists.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

UINT listenedMessage = 0;
int heard = 0;

LRESULT CALLBACK EchoProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (data == nullptr || data->lpData == nullptr) {
            return 99;  // "no data"
        }
        std::vector<unsigned char> reply(static_cast<const unsigned char*>(data->lpData),
                                         static_cast<const unsigned char*>(data->lpData) +
                                             data->cbData);
        std::reverse(reply.begin(), reply.end());
        COPYDATASTRUCT back{data->dwData + 1, static_cast<DWORD>(reply.size()), reply.data()};
        SendMessageW(reinterpret_cast<HWND>(wParam), WM_COPYDATA, reinterpret_cast<WPARAM>(hwnd),
                     reinterpret_cast<LPARAM>(&back));
        return 7;
    }
    if (message == WM_USER + 1) {
        return heard;
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

std::u16string Wide(const char* text) { return std::u16string(text, text + strlen(text)); }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        return 2;
    }
    std::string mode = argv[1];
    std::u16string className = Wide(argv[2]);
    if (mode == "listen" && argc >= 4) {
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
    printf("ready %u\n", static_cast<unsigned>(reinterpret_cast<uintptr_t>(hwnd)));
    fflush(stdout);
    if (mode == "hang") {
        for (;;) {
            Sleep(1000);
        }
    }
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        DispatchMessageW(&msg);
    }
    return 0;
}
