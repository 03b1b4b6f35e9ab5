// The simulated user at the print dialog ("Print", with "Print", "Apply" and
// "Cancel" and the list of printers). Buttons are pressed with the general
// `press` command; a printer is picked by name with posted clicks on its row,
// whose place the user knows from the session's printers (their order in the
// "printers" file, or the one default printer when there is no file).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace desktop_user {

// The printer names of the session, in the dialog's order.
std::vector<std::u16string> SessionPrinters();
// Clicks the row of the printer in the dialog; false when there is none.
bool PickPrinter(HWND printDialog, const std::u16string& printer);

// The desktop-user command for it:  print-pick TITLE PRINTER
bool IsPrintCommand(const std::string& command);
int RunPrintCommand(int argc, char** argv);

}  // namespace desktop_user
