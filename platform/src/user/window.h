// Window objects of this process and their entries in the session's window
// table. A window's fields are guarded by the process's window mutex; its
// procedure runs on its own thread only, never under that mutex.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "w32/gdi.h"
#include "w32/user.h"

namespace w32::user {

struct WindowClass {
    std::u16string name;
    WNDCLASSEXW wc{};
    bool system = false;
};

struct DialogState {
    bool ended = false;
    INT_PTR result = 0;
    bool modal = false;
    HWND focus = nullptr;
    HBRUSH lastDialogBrush = nullptr;
};

struct Window {
    HWND handle = nullptr;
    DWORD tid = 0;
    std::shared_ptr<WindowClass> cls;
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    HWND parent = nullptr;  // null for top-level and message-only windows
    HWND owner = nullptr;
    bool messageOnly = false;
    bool topmost = false;
    int id = 0;
    LONG_PTR userData = 0;
    std::u16string text;
    std::vector<uint8_t> extra;  // cbWndExtra bytes (dialogs: DWLP_* slots)
    RECT rect{};
    BYTE alpha = 255;
    COLORREF colorKey = 0;
    DWORD layeredFlags = 0;
    bool destroying = false;
    std::vector<HWND> children;
    std::unique_ptr<DialogState> dialog;
    // Controls.
    HANDLE image = nullptr;
    UINT imageType = 0;
    UINT check = 0;
    bool pressed = false;
    HMENU popupMenu = nullptr;  // "#32768" windows
    UINT menuChoice = 0;
    bool menuDone = false;
    HBRUSH ctlBrush = nullptr;  // the brush the parent answered to WM_CTLCOLOR*
};

std::recursive_mutex& WindowsMutex();
std::shared_ptr<Window> FindLocal(HWND hwnd);
// Windows of this process in creation order (a snapshot).
std::vector<std::shared_ptr<Window>> LocalWindows();

std::shared_ptr<WindowClass> FindClass(const char16_t* name);
void RegisterSystemClasses();

// Calls the window's procedure on this thread (which must be the window's).
LRESULT CallWindow(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// The session table entry follows the window's state.
void PublishWindow(const Window& w);
void UnpublishWindow(HWND hwnd);

// Another process's window as the table holds it.
struct RemoteWindow {
    uint64_t instance = 0;
    DWORD pid = 0;
    DWORD tid = 0;
    HWND parent = nullptr;
    HWND owner = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    bool messageOnly = false;
    std::u16string className;
    std::u16string text;
};
bool LookupRemote(HWND hwnd, RemoteWindow* out);

// Procedures of the stand-in's own classes.
LRESULT CALLBACK ButtonProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK StaticProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK EditProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK MenuWindowProc(HWND, UINT, WPARAM, LPARAM);

// Helpers.
inline uint32_t Value(HWND h) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h));
}
inline HWND ToHwnd(uint32_t v) {
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(v));
}
std::u16string ToString(LPCWSTR s);
void SendCtlColor(HWND control, UINT msg);

}  // namespace w32::user

namespace w32::user {
void AddLocal(const std::shared_ptr<Window>& w);
void RemoveLocal(HWND hwnd);
bool AddClass(const std::shared_ptr<WindowClass>& cls);
bool RemoveClass(const char16_t* name);
// Updates the table entry after a change of the window's published fields.
void Republish(HWND hwnd);
}  // namespace w32::user
