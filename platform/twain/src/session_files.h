// What the data source manager keeps in the session directory, which every
// process of one desktop shares ($W32_SESSION, else
// ${XDG_RUNTIME_DIR:-/tmp}/w32-session-<uid>):
//   twain-sources   the virtual sources (source_description.h)
//   twain-default   the product name of the default source, one line
//   twain-open-sources  one line "<holder> <id> <product name>" for each
//                   source from its MSG_OPENDS until its MSG_CLOSEDS; a source
//                   still open when the library goes (or its process is
//                   killed) stays listed
//   twain-calls     a journal of the calls that open, end and close a source:
//                   "<holder> <id> <MSG_...> <state>-><state>", or
//                   "<holder> <id> <MSG_...> refused <condition code>"
// <holder> is "<pid>.<load>": the process and the library's load in it.
// All outlive the library, so the default source is remembered across
// unloads and across processes.
#pragma once

#include <string>

#include "device_text.h"
#include "source_description.h"

namespace twain_dsm {

// The session directory, as the runtime finds it.
using w32_devices::SessionDirectory;

// The session's sources; none when the file is missing.
SessionDescription LoadSessionDescription();

// The remembered default source's product name; empty when none is.
std::string ReadDefaultSource();
// Replaces the remembered default (written whole, then moved into place).
bool WriteDefaultSource(const std::string& productName);

void RecordSourceOpened(unsigned id, const std::string& productName);
void RecordSourceClosed(unsigned id, const std::string& productName);
// A call that changes a source's state: to is the state after it, or 0
// when the source refused it with that condition code.
void JournalSourceCall(unsigned id, const char* message, int from, int to, unsigned condition);

}  // namespace twain_dsm
