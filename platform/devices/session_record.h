// Records the simulated devices keep in the session directory for tests and
// people to read: which sources and devices a process holds, and the calls
// that end and close them. Each process of the desktop may change them at
// the same time, and a killed process leaves its lines behind, which is the
// point: what it held is still to be seen.
#pragma once

#include <string>
#include <vector>

namespace w32_devices {

// A line that identifies this process and this load of the calling library
// ("<pid>.<load>"): a library loaded again, or another process, never
// shares it.
std::string HolderTag();

// Adds or removes one whole line of a record file in the session directory;
// each change is made under an exclusive lock and written whole.
void AddRecordLine(const std::string& file, const std::string& line);
void RemoveRecordLine(const std::string& file, const std::string& line);
// The lines of a record file; none when it is missing.
std::vector<std::string> ReadRecordLines(const std::string& file);
// Appends a line to a journal file in the session directory.
void AppendJournalLine(const std::string& file, const std::string& line);

}  // namespace w32_devices
