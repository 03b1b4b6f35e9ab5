#include "twain_dialogs.h"

#include <cstdio>

#include "desktop_user.h"

namespace desktop_user {
namespace {

constexpr std::chrono::seconds kCommandWait{5};

}  // namespace

HWND WaitForTwainSelection(std::chrono::milliseconds timeout) {
    return WaitForWindow(u"#32770", kTwainSelectTitle, timeout);
}

HWND WaitForTwainSource(const std::u16string& productName, std::chrono::milliseconds timeout) {
    return WaitForWindow(u"#32770", productName, timeout);
}

bool ChooseTwainSource(HWND selectionDialog, const std::u16string& productName) {
    // Both presses are posted: the dialog takes them in this order.
    return PressButton(selectionDialog, productName) && PressButton(selectionDialog, u"Select");
}

bool CancelTwainSelection(HWND selectionDialog) {
    return PressButton(selectionDialog, u"Cancel");
}

bool PressTwainScan(HWND sourceDialog) {
    return PressButton(sourceDialog, u"Scan");
}

bool PressTwainClose(HWND sourceDialog) {
    return PressButton(sourceDialog, u"Close");
}

bool IsTwainCommand(const std::string& command) {
    return command == "twain-select" || command == "twain-cancel" || command == "twain-scan" ||
           command == "twain-close";
}

int RunTwainCommand(int argc, char** argv) {
    std::string command = argv[1];
    if (command == "twain-cancel" && argc == 2) {
        HWND dialog = WaitForTwainSelection(kCommandWait);
        return dialog != nullptr && CancelTwainSelection(dialog) ? 0 : 1;
    }
    if (argc != 3) {
        fprintf(stderr,
                "usage: desktop-user twain-select|twain-scan|twain-close NAME | twain-cancel\n");
        return 2;
    }
    std::u16string name = Wide(argv[2]);
    if (command == "twain-select") {
        HWND dialog = WaitForTwainSelection(kCommandWait);
        return dialog != nullptr && ChooseTwainSource(dialog, name) ? 0 : 1;
    }
    HWND dialog = WaitForTwainSource(name, kCommandWait);
    if (dialog == nullptr) {
        fprintf(stderr, "desktop-user: no dialog of the source \"%s\"\n", argv[2]);
        return 1;
    }
    return (command == "twain-scan" ? PressTwainScan(dialog) : PressTwainClose(dialog)) ? 0 : 1;
}

}  // namespace desktop_user
