// The notification area: Shell_NotifyIconW as the shell answers it, with the
// icons kept in the session so that every process of the desktop sees them.
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <string>
#include <vector>

#include "w32/shell.h"
#include "w32/user.h"
#include "window/session.h"

namespace {

constexpr const char* kFolder = "tray";
constexpr const char* kLock = "tray.lock";

struct Icon {
    DWORD pid = 0;
    uint32_t hwnd = 0;
    UINT id = 0;
    UINT callback = 0;
    uint32_t icon = 0;
    unsigned long long order = 0;  // when it was added: the area lists oldest first
    std::u16string tip;
};

uint32_t Value(const void* handle) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(handle));
}

std::string Key(uint32_t hwnd, UINT id) {
    char key[32];
    snprintf(key, sizeof(key), "%08x-%08x", hwnd, id);
    return key;
}

std::string Serialise(const Icon& icon) {
    char numbers[128];
    snprintf(numbers, sizeof(numbers), "%u %u %u %u %u %llu\n", icon.pid, icon.hwnd, icon.id,
             icon.callback, icon.icon, icon.order);
    std::string text = numbers;
    for (char16_t c : icon.tip) {
        char digits[8];
        snprintf(digits, sizeof(digits), "%04x", static_cast<unsigned>(c));
        text += digits;
    }
    return text + "\n";
}

bool Parse(const std::string& text, Icon* icon) {
    if (sscanf(text.c_str(), "%u %u %u %u %u %llu", &icon->pid, &icon->hwnd, &icon->id,
               &icon->callback, &icon->icon, &icon->order) != 6) {
        return false;
    }
    size_t line = text.find('\n');
    if (line == std::string::npos) {
        return false;
    }
    icon->tip.clear();
    for (size_t i = line + 1; i + 4 <= text.size() && icon->tip.size() < 127; i += 4) {
        icon->tip += static_cast<char16_t>(strtoul(text.substr(i, 4).c_str(), nullptr, 16));
    }
    return true;
}

bool Read(const std::string& key, Icon* icon) {
    for (const auto& [name, text] : w32::session::ReadEntries(kFolder)) {
        if (name == key) {
            return Parse(text, icon);
        }
    }
    return false;
}

unsigned long long NextOrder() {
    unsigned long long last = 0;
    for (const auto& [name, text] : w32::session::ReadEntries(kFolder)) {
        Icon icon;
        if (Parse(text, &icon) && icon.order > last) {
            last = icon.order;
        }
    }
    return last + 1;
}

bool KnownSize(DWORD size) {
    return size == sizeof(NOTIFYICONDATAW) || size == NOTIFYICONDATAW_V3_SIZE ||
           size == NOTIFYICONDATAW_V2_SIZE || size == NOTIFYICONDATAW_V1_SIZE;
}

// Only the fields that uFlags names change.
void Apply(const NOTIFYICONDATAW& data, Icon* icon) {
    if (data.uFlags & NIF_MESSAGE) {
        icon->callback = data.uCallbackMessage;
    }
    if (data.uFlags & NIF_ICON) {
        icon->icon = Value(data.hIcon);
    }
    if (data.uFlags & NIF_TIP) {
        // The first structure had room for 64 characters of tip.
        size_t room = data.cbSize == NOTIFYICONDATAW_V1_SIZE ? 64 : 128;
        std::u16string tip;
        for (size_t i = 0; i + 1 < room && data.szTip[i] != 0; ++i) {
            tip += data.szTip[i];
        }
        icon->tip = tip;
    }
}

}  // namespace

W32API BOOL WINAPI Shell_NotifyIconW(DWORD dwMessage, PNOTIFYICONDATAW lpData) {
    if (lpData == nullptr || !KnownSize(lpData->cbSize)) {
        return FALSE;
    }
    // Read only as much of the caller's record as its size says it has.
    NOTIFYICONDATAW data = {};
    __builtin_memcpy(&data, lpData, lpData->cbSize);
    const uint32_t hwnd = Value(data.hWnd);
    const std::string key = Key(hwnd, data.uID);
    BOOL result = FALSE;
    w32::session::WithLock(kLock, [&] {
        Icon icon;
        bool exists = Read(key, &icon);
        switch (dwMessage) {
            case NIM_ADD: {
                DWORD pid = 0;
                if (exists || data.hWnd == nullptr || !IsWindow(data.hWnd) ||
                    GetWindowThreadProcessId(data.hWnd, &pid) == 0) {
                    return;
                }
                icon = Icon{};
                icon.pid = pid;
                icon.hwnd = hwnd;
                icon.id = data.uID;
                icon.order = NextOrder();
                Apply(data, &icon);
                result = w32::session::WriteEntry(kFolder, key, Serialise(icon));
                return;
            }
            case NIM_MODIFY:
                if (exists) {
                    Apply(data, &icon);
                    result = w32::session::WriteEntry(kFolder, key, Serialise(icon));
                }
                return;
            case NIM_DELETE:
                // Identified by window and id: the window itself may be gone.
                result = exists && w32::session::RemoveEntry(kFolder, key);
                return;
            case NIM_SETFOCUS:
            case NIM_SETVERSION:
                result = exists;
                return;
            default:
                return;
        }
    });
    return result;
}

W32API int WINAPI W32ListNotifyIcons(W32_NOTIFY_ICON* icons, int max) {
    std::vector<Icon> live;
    w32::session::WithLock(kLock, [&] {
        for (const auto& [key, text] : w32::session::ReadEntries(kFolder)) {
            Icon icon;
            if (!Parse(text, &icon)) {
                continue;
            }
            HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(icon.hwnd));
            if (!IsWindow(window)) {
                w32::session::RemoveEntry(kFolder, key);  // its window has gone
                continue;
            }
            live.push_back(icon);
        }
    });
    std::sort(live.begin(), live.end(),
              [](const Icon& a, const Icon& b) { return a.order < b.order; });
    for (size_t i = 0; i < live.size() && static_cast<int>(i) < max && icons != nullptr; ++i) {
        W32_NOTIFY_ICON& out = icons[i];
        out = {};
        out.pid = live[i].pid;
        out.hWnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(live[i].hwnd));
        out.uID = live[i].id;
        out.uCallbackMessage = live[i].callback;
        out.hIcon = reinterpret_cast<HICON>(static_cast<uintptr_t>(live[i].icon));
        live[i].tip.copy(out.szTip, std::min<size_t>(live[i].tip.size(), 127));
    }
    return static_cast<int>(live.size());
}
