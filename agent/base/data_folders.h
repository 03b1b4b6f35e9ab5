// The agent's per-user data folder and its work folders. Each function makes
// the path and creates the folders on every call, so a folder deleted while
// the agent runs comes back the next time its path is asked for.
#pragma once

#include <string>

namespace vexlo {

// The "VexloDesktop" folder in the user's application-data folder. When the
// application-data folder cannot be found, the data folder is made under the
// system's temporary folder instead (never at the root of the file system).
std::u16string GetDataFolder();
std::u16string GetPrintFolder();
std::u16string GetProcessedFolder();
std::u16string GetScannedFolder();
// The settings file's path; the file itself is created by its first write.
std::u16string GetSettingsFilePath();

}  // namespace vexlo
