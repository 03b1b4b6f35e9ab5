// Calling a COM server library's registration exports, as regsvr32 does:
// load the library, call DllRegisterServer, DllUnregisterServer or
// DllInstall with its command line, and give back the HRESULT.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace vexlo::regsvr {

enum class Entry { Register, Unregister, Install, Uninstall };

// The export's name as it is printed.
const char* EntryName(Entry entry);

// The export's HRESULT; a library that does not load or lacks the export
// answers HRESULT_FROM_WIN32 of the failure. COM is initialised around the
// call. A relative path is taken from the current folder.
HRESULT CallServerEntry(const std::string& library, Entry entry,
                        const std::optional<std::u16string>& commandLine = std::nullopt);

}  // namespace vexlo::regsvr
