// Page files that an agent left behind when it ended without its ordered
// close (a crash, a kill): the next agent deletes them once it is alone.
#pragma once

#include <windows.h>

#include <string>

namespace vexlo {

// Whether a window of the agent's class other than `own` still exists: an
// older agent that has not yet finished its close.
bool AnotherAgentWindowExists(HWND own);

// Deletes the files directly in `folder` last written before `before`.
void DeleteFilesWrittenBefore(const std::u16string& folder, const FILETIME& before);

}  // namespace vexlo
