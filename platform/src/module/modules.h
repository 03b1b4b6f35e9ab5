// Loaded modules of this process and their resource tables.
#pragma once

#include <link.h>

#include <string>
#include <vector>

#include "w32/resource.h"

namespace w32::module {

// The module record behind a handle (null: the program).
struct link_map* LinkMapOf(HMODULE module);
HMODULE HandleOf(struct link_map* map);
HMODULE ProgramHandle();
HMODULE RuntimeHandle();
// The resource entries of a module, every registered table in order.
std::vector<const W32_RESOURCE*> Resources(HMODULE module);
// Finds a resource of a type by name (id or string), any language.
const W32_RESOURCE* Find(HMODULE module, LPCWSTR type, LPCWSTR name);
// Maps a Windows module name to the file name of the stand-in's library.
std::string MapModuleName(const std::string& name, bool* isSystem);

}  // namespace w32::module
