// What the data source manager keeps in the session directory, which every
// process of one desktop shares ($W32_SESSION, else
// ${XDG_RUNTIME_DIR:-/tmp}/w32-session-<uid>):
//   twain-sources   the virtual sources (source_description.h)
//   twain-default   the product name of the default source, one line
// Both outlive the library, so the default source is remembered across
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

}  // namespace twain_dsm
