#include "window/marshalling.h"

#include "w32/commctrl.h"

namespace w32::window {

Crossing CrossingOf(UINT message) {
    switch (message) {
        case WM_COPYDATA:
            return Crossing::kCopyData;
        case WM_SETTEXT:
            return Crossing::kSetText;
        case WM_GETTEXT:
            return Crossing::kGetText;
        // Window creation, notifications and a dialog's start carry
        // structures or pointers of the sender.
        case WM_CREATE:
        case WM_NCCREATE:
        case WM_NOTIFY:
        case WM_INITDIALOG:
        case WM_COMPAREITEM:
        // The list view's messages that point to items, columns or rectangles.
        case LVM_INSERTITEMW:
        case LVM_SETITEMW:
        case LVM_SETITEMTEXTW:
        case LVM_GETITEMTEXTW:
        case LVM_GETITEMW:
        case LVM_GETITEMRECT:
        case LVM_HITTEST:
        case LVM_INSERTCOLUMNW:
        case LVM_SETITEMSTATE:
            return Crossing::kRefused;
        default:
            return Crossing::kValue;
    }
}

bool SyncOnly(UINT message) {
    return message == WM_COPYDATA || message == WM_SETTEXT || message == WM_GETTEXT;
}

}  // namespace w32::window
