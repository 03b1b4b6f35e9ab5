// The add-on's type library, as data compiled into the module.
#pragma once

#include <windows.h>

namespace vexlo {

extern const W32_TYPELIB_DATA kVexloIePluginLib;

}  // namespace vexlo
