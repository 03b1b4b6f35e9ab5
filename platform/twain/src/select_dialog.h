// The data source manager's "Select Source" dialog: modal, owned by the
// application's window, one button per source (pressing one chooses it, and
// the line under the list names the choice), "Select" (the default button)
// and "Cancel".
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace twain_dsm {

// The index of the chosen source, or -1 when the user cancelled (or the
// dialog could not be shown). `preselected` is chosen at the start (-1: none).
int RunSelectDialog(HWND owner, const std::vector<std::u16string>& names, int preselected);

}  // namespace twain_dsm
