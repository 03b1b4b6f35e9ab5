// The simulated user at the TWAIN dialogs: the data source manager's
// "Select Source" dialog (a button per source, "Select", "Cancel") and a
// source's own dialog, titled with its product name ("Scan", "Close").
#pragma once

#include <windows.h>

#include <chrono>
#include <string>

namespace desktop_user {

inline constexpr const char16_t* kTwainSelectTitle = u"Select Source";

HWND WaitForTwainSelection(std::chrono::milliseconds timeout);
HWND WaitForTwainSource(const std::u16string& productName, std::chrono::milliseconds timeout);

// Picks the source in the selection dialog and confirms it with "Select".
bool ChooseTwainSource(HWND selectionDialog, const std::u16string& productName);
bool CancelTwainSelection(HWND selectionDialog);
bool PressTwainScan(HWND sourceDialog);
bool PressTwainClose(HWND sourceDialog);

// The desktop-user commands for them:
//   twain-select NAME | twain-cancel | twain-scan NAME | twain-close NAME
bool IsTwainCommand(const std::string& command);
int RunTwainCommand(int argc, char** argv);

}  // namespace desktop_user
