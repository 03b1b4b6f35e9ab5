// A virtual device's own dialog, the one DeviceDlg shows: a modal dialog
// titled with the device's name, owned by the application's window, with
// "Scan" (the default button) and "Cancel" (also Escape and the close box).
#pragma once

#include <windows.h>

#include <string>

namespace wia_service {

inline constexpr int kDeviceDialogScan = IDOK;
inline constexpr int kDeviceDialogCancel = IDCANCEL;

// Runs the dialog; true when the user pressed Scan. The thread's sent and
// posted messages are handled while it is up.
bool RunDeviceDialog(HWND owner, const std::u16string& title);

}  // namespace wia_service
