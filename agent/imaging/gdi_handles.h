// Owners of the GDI objects that printing makes: DCs and bitmaps.
#pragma once

#include <windows.h>

#include "framework/raii.h"

namespace vexlo {

using unique_hdc = fw::unique_any<HDC, &DeleteDC>;  // memory and printer DCs
using unique_hbitmap = fw::unique_any<HBITMAP, &DeleteObject>;

}  // namespace vexlo
