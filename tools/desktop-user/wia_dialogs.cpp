#include "wia_dialogs.h"

#include <cstdio>
#include <cstdlib>

#include "desktop_user.h"

namespace desktop_user {
namespace {

constexpr std::chrono::seconds kCommandWait{5};

bool Post(HWND list, UINT message, WPARAM keys, int x, int y) {
    return PostMessageW(list, message, keys, MAKELPARAM(x, y)) != FALSE;
}

}  // namespace

HWND WaitForWiaDeviceDialog(const std::u16string& deviceName, std::chrono::milliseconds timeout) {
    return WaitForWindow(u"#32770", deviceName, timeout);
}

bool PressWiaScan(HWND deviceDialog) {
    return PressButton(deviceDialog, u"Scan");
}

bool PressWiaCancel(HWND deviceDialog) {
    return PressButton(deviceDialog, u"Cancel");
}

HWND FindListView(HWND window) {
    for (const auto& control : Controls(window)) {
        if (_wcsicmp(control.className.c_str(), WC_LISTVIEWW) == 0) {
            return control.hwnd;
        }
    }
    return nullptr;
}

bool ClickListRow(HWND list, int row, ListClick how) {
    LRESULT spacing = SendMessageW(list, LVM_GETITEMSPACING, TRUE, 0);
    int pitch = HIWORD(spacing);
    if (pitch <= 0) {
        return false;  // not a list view
    }
    int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    if (row >= rows) {
        return false;
    }
    int x = 4;
    int y = (row < 0 ? rows : row) * pitch + pitch / 2;
    WPARAM keys = how.control ? MK_CONTROL : 0;
    UINT down = how.right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN;
    UINT up = how.right ? WM_RBUTTONUP : WM_LBUTTONUP;
    WPARAM button = how.right ? MK_RBUTTON : MK_LBUTTON;
    bool posted = Post(list, down, keys | button, x, y) && Post(list, up, keys, x, y);
    if (posted && how.twice) {
        UINT second = how.right ? WM_RBUTTONDBLCLK : WM_LBUTTONDBLCLK;
        posted = Post(list, second, keys | button, x, y) && Post(list, up, keys, x, y);
    }
    return posted;
}

bool IsWiaCommand(const std::string& command) {
    return command == "wia-scan" || command == "wia-cancel" || command == "list-click";
}

int RunWiaCommand(int argc, char** argv) {
    std::string command = argv[1];
    if ((command == "wia-scan" || command == "wia-cancel") && argc == 3) {
        HWND dialog = WaitForWiaDeviceDialog(Wide(argv[2]), kCommandWait);
        if (dialog == nullptr) {
            fprintf(stderr, "desktop-user: no dialog of the device \"%s\"\n", argv[2]);
            return 1;
        }
        return (command == "wia-scan" ? PressWiaScan(dialog) : PressWiaCancel(dialog)) ? 0 : 1;
    }
    if (command == "list-click" && argc >= 4) {
        HWND window = WaitForWindow(u"", Wide(argv[2]), kCommandWait);
        HWND list = window != nullptr ? FindListView(window) : nullptr;
        if (list == nullptr) {
            fprintf(stderr, "desktop-user: no list in \"%s\"\n", argv[2]);
            return 1;
        }
        std::string which = argv[3];
        int row = which == "empty" ? -1 : atoi(which.c_str());
        ListClick how;
        for (int i = 4; i < argc; ++i) {
            std::string word = argv[i];
            how.control = how.control || word == "ctrl";
            how.right = how.right || word == "right";
            how.twice = how.twice || word == "double";
        }
        return ClickListRow(list, row, how) ? 0 : 1;
    }
    fprintf(stderr,
            "usage: desktop-user wia-scan|wia-cancel NAME |\n"
            "       list-click TITLE ROW|empty [ctrl] [right] [double]\n");
    return 2;
}

}  // namespace desktop_user
