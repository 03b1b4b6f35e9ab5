// The other process of the cross-process window tests. Each mode makes its
// windows, prints "ready 0x<handle>" and acts as the tests expect; what it
// observes it prints as lines on standard output.
#include <windows.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "test_resources.h"
#include "w32/desktop.h"

namespace {

UINT gPing;
UINT gBroadcast;
UINT gDone;
HWND gOwner;

void Say(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void Say(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vprintf(fmt, ap);
    va_end(ap);
    printf("\n");
    fflush(stdout);
}

unsigned Hex(HWND h) {
    return static_cast<unsigned>(reinterpret_cast<uintptr_t>(h));
}

std::u16string Wide(const char* s) {
    return std::u16string(s, s + std::strlen(s));
}

HWND MakeWindow(const std::u16string& cls, WNDPROC proc, HWND parent = nullptr) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.lpszClassName = cls.c_str();
    RegisterClassExW(&wc);
    return CreateWindowExW(0, cls.c_str(), u"helper", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, parent,
                           nullptr, nullptr, nullptr);
}

// Answers WM_COPYDATA by sending the answer back from inside the handler, as
// the agent does: 4104 bytes whose first int is the size received.
LRESULT CALLBACK EchoProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COPYDATA) {
        auto* cds = reinterpret_cast<COPYDATASTRUCT*>(lp);
        static unsigned char answer[4104];
        int32_t got = static_cast<int32_t>(cds->cbData);
        std::memcpy(answer, &got, 4);
        int32_t first = cds->lpData && cds->cbData >= 4 ? *static_cast<int32_t*>(cds->lpData) : -1;
        std::memcpy(answer + 4, &first, 4);
        COPYDATASTRUCT back{cds->dwData, sizeof answer, answer};
        SendMessageW(reinterpret_cast<HWND>(wp), WM_COPYDATA, reinterpret_cast<WPARAM>(hwnd),
                     reinterpret_cast<LPARAM>(&back));
        return cds->lpData ? 77 : 78;
    }
    if (msg == gPing)
        return static_cast<LRESULT>(wp + 1);
    if (msg == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK ListenProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == gBroadcast) {
        W32_WINDOW_INFO info{};
        W32GetWindowInfo(hwnd, &info);
        Say("%s %lu %ld", info.messageOnly ? "msgonly" : "top", static_cast<unsigned long>(wp),
            static_cast<long>(lp));
        return 0;
    }
    if (msg == gDone) {
        Say("done");
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK OwnerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == gPing) {
        Say("ping enabled=%d", IsWindowEnabled(hwnd) ? 1 : 0);
        return static_cast<LRESULT>(wp + 1);
    }
    if (msg == WM_COMMAND) {
        Say("command %u", static_cast<unsigned>(LOWORD(wp)));
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

INT_PTR CALLBACK DialogProc(HWND hdlg, UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
        case WM_INITDIALOG:
            SetDlgItemTextW(hdlg, testres::kStatic, u"Сканеры: 2");
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
                EndDialog(hdlg, LOWORD(wp));
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

void Loop() {
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0)) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    std::string mode = argv[1];
    std::u16string cls = argc > 2 ? Wide(argv[2]) : u"HelperWindow";
    gPing = RegisterWindowMessageW(u"W32TEST_PING");
    gBroadcast = RegisterWindowMessageW(u"W32TEST_BROADCAST");
    gDone = RegisterWindowMessageW(u"W32TEST_DONE");
    if (mode == "atom") {
        Say("atom %u", RegisterWindowMessageW(cls.c_str()));
        return 0;
    }
    if (mode == "session") {
        char16_t dir[4096];
        DWORD n = W32GetSessionDirectory(dir, 4096);
        Say("session %u", static_cast<unsigned>(n < 4096 ? n : 0));
        return 0;
    }
    if (mode == "handles") {
        HWND h = MakeWindow(cls, DefWindowProcW);
        Say("ready 0x%08X", Hex(h));
        return 0;
    }
    if (mode == "echo") {
        HWND h = MakeWindow(cls, EchoProc);
        Say("ready 0x%08X", Hex(h));
        Loop();
        return 0;
    }
    if (mode == "hang") {
        HWND h = MakeWindow(cls, EchoProc);
        Say("ready 0x%08X", Hex(h));
        for (;;)
            pause();
    }
    if (mode == "listen") {
        HWND top = MakeWindow(cls, ListenProc);
        HWND hidden = CreateWindowExW(0, cls.c_str(), u"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      nullptr, nullptr);
        Say("ready 0x%08X 0x%08X", Hex(top), Hex(hidden));
        Loop();
        return 0;
    }
    if (mode == "dialog") {
        gOwner = MakeWindow(cls, OwnerProc);
        Say("ready 0x%08X", Hex(gOwner));
        INT_PTR r = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(testres::kDialog),
                                    gOwner, DialogProc, 0);
        Say("result %ld enabled=%d", static_cast<long>(r), IsWindowEnabled(gOwner) ? 1 : 0);
        return 0;
    }
    if (mode == "menu") {
        gOwner = MakeWindow(cls, OwnerProc);
        Say("ready 0x%08X", Hex(gOwner));
        HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(testres::kMenu));
        HMENU popup = GetSubMenu(menu, 0);
        POINT pt;
        GetCursorPos(&pt);
        SetForegroundWindow(gOwner);
        TrackPopupMenu(popup, TPM_RIGHTBUTTON, pt.x, pt.y, 0, gOwner, nullptr);
        Say("menu closed");
        DestroyMenu(popup);
        DestroyMenu(menu);
        // The chosen command was posted: let it arrive.
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&m);
        Say("end");
        return 0;
    }
    return 2;
}
