// Painting: window DCs (GetDC/ReleaseDC), the paint cycle (InvalidateRect ->
// WM_PAINT -> BeginPaint/EndPaint) and the record of what each paint's
// WM_CTLCOLOR* answer and DC state were, published in the session so that
// another process can read how a control was drawn.
#include <map>
#include <mutex>

#include "w32/gdi.h"
#include "window/core.h"
#include "window/painting.h"
#include "window/session.h"

using w32::window::FindLocal;
using w32::window::Handle;
using w32::window::Window;

namespace {

struct WindowDcs {
    std::mutex lock;
    std::map<HDC, HWND> dcs;
};

WindowDcs& Dcs() {
    static auto* dcs = new WindowDcs;
    return *dcs;
}

// The colour answer of a paint in progress, by window (this thread's paints).
thread_local std::map<HWND, HBRUSH> pendingAnswers;

void Record(HWND hwnd, HDC dc, bool answered, HBRUSH brush) {
    auto window = FindLocal(hwnd);
    if (!window) {
        return;
    }
    {
        auto& state = w32::window::TheState();
        std::lock_guard<std::mutex> guard(state.lock);
        if (answered) {
            window->colourAnswered = true;
            window->brushColour = W32GetBrushColor(brush);
            window->hollowBrush = brush != nullptr && brush == GetStockObject(NULL_BRUSH);
        }
        window->bkMode = GetBkMode(dc);
        window->textColour = GetTextColor(dc);
    }
    w32::window::PublishRecord(*window);
}

void InvalidateTree(const std::shared_ptr<Window>& window, int depth) {
    bool post = false;
    std::vector<uint32_t> children;
    {
        auto& state = w32::window::TheState();
        std::lock_guard<std::mutex> guard(state.lock);
        if ((window->style & WS_VISIBLE) && !window->paintPending) {
            window->paintPending = true;
            post = true;
        }
        children = window->children;
    }
    if (post) {
        w32::window::PostLocal(window, WM_PAINT, 0, 0);
    }
    if (depth < 64) {
        for (uint32_t child : children) {
            if (auto childWindow = FindLocal(Handle(child))) {
                InvalidateTree(childWindow, depth + 1);
            }
        }
    }
}

}  // namespace

namespace w32::window {

HBRUSH AskColours(HWND control, UINT message, HWND answering, HDC dc) {
    HBRUSH brush = reinterpret_cast<HBRUSH>(SendMessageW(
        answering, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control)));
    NoteColourAnswer(control, brush);
    return brush;
}

bool NeedsPaint(HWND hwnd) {
    auto window = FindLocal(hwnd);
    if (!window) {
        return true;
    }
    auto& state = w32::window::TheState();
    std::lock_guard<std::mutex> guard(state.lock);
    return window->paintPending;
}

void NoteColourAnswer(HWND painted, HBRUSH brush) {
    pendingAnswers[painted] = brush;
}

void PaintWithColours(HWND hwnd, UINT message, HWND answering) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    if (dc != nullptr && answering != nullptr) {
        AskColours(hwnd, message, answering, dc);
    }
    EndPaint(hwnd, &paint);
}

}  // namespace w32::window

W32API HDC WINAPI GetDC(HWND hWnd) {
    if (hWnd != nullptr && !FindLocal(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;  // only a window of this process is drawn on here
    }
    HDC dc = CreateCompatibleDC(nullptr);
    if (dc != nullptr) {
        WindowDcs& dcs = Dcs();
        std::lock_guard<std::mutex> guard(dcs.lock);
        dcs.dcs[dc] = hWnd;
    }
    return dc;
}

W32API int WINAPI ReleaseDC(HWND hWnd, HDC hDC) {
    {
        WindowDcs& dcs = Dcs();
        std::lock_guard<std::mutex> guard(dcs.lock);
        auto it = dcs.dcs.find(hDC);
        if (it == dcs.dcs.end() || it->second != hWnd) {
            return 0;
        }
        dcs.dcs.erase(it);
    }
    DeleteDC(hDC);
    return 1;
}

W32API HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
    auto window = FindLocal(hWnd);
    if (!window || lpPaint == nullptr) {
        return nullptr;
    }
    {
        auto& state = w32::window::TheState();
        std::lock_guard<std::mutex> guard(state.lock);
        window->paintPending = false;
    }
    *lpPaint = {};
    lpPaint->hdc = GetDC(hWnd);
    lpPaint->fErase = TRUE;
    GetClientRect(hWnd, &lpPaint->rcPaint);
    return lpPaint->hdc;
}

W32API BOOL WINAPI EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint) {
    if (lpPaint == nullptr || lpPaint->hdc == nullptr) {
        return FALSE;
    }
    bool answered = false;
    HBRUSH brush = nullptr;
    auto it = pendingAnswers.find(hWnd);
    if (it != pendingAnswers.end()) {
        answered = true;
        brush = it->second;
        pendingAnswers.erase(it);
    }
    Record(hWnd, lpPaint->hdc, answered, brush);
    ReleaseDC(hWnd, lpPaint->hdc);
    return TRUE;
}

W32API BOOL WINAPI InvalidateRect(HWND hWnd, const RECT*, BOOL) {
    auto window = FindLocal(hWnd);
    if (!window) {
        // Another process's window paints when its own thread gets to it.
        return IsWindow(hWnd) &&
               PostMessageW(hWnd, WM_PAINT, w32::window::kPaintFromAnotherProcess, 0);
    }
    InvalidateTree(window, 0);
    return TRUE;
}

W32API BOOL WINAPI UpdateWindow(HWND hWnd) {
    auto window = FindLocal(hWnd);
    if (!window) {
        return FALSE;
    }
    bool pending = false;
    {
        auto& state = w32::window::TheState();
        std::lock_guard<std::mutex> guard(state.lock);
        pending = window->paintPending;
    }
    if (pending) {
        SendMessageW(hWnd, WM_PAINT, 0, 0);
    }
    return TRUE;
}

W32API int WINAPI DrawTextW(HDC hdc, LPCWSTR lpchText, int cchText, LPRECT lprc, UINT) {
    // The stand-in has no fonts: the text takes one line of the 8-point font.
    if (hdc == nullptr || lpchText == nullptr || lprc == nullptr) {
        return 0;
    }
    (void)cchText;
    return 13;
}

W32API BOOL WINAPI W32GetPaintRecord(HWND hWnd, W32_PAINT_RECORD* record) {
    if (record == nullptr) {
        return FALSE;
    }
    if (auto window = FindLocal(hWnd)) {
        auto& state = w32::window::TheState();
        std::lock_guard<std::mutex> guard(state.lock);
        *record = {window->colourAnswered, window->brushColour, window->hollowBrush, window->bkMode,
                   window->textColour};
        return TRUE;
    }
    auto remote = w32::session::ReadWindow(w32::window::Value(hWnd));
    if (!remote) {
        return FALSE;
    }
    *record = {remote->colourAnswered, remote->brushColour, remote->hollowBrush, remote->bkMode,
               remote->textColour};
    return TRUE;
}
