#pragma once

#include <mutex>

#include "w32/user.h"

namespace w32::window {

// The system's control classes, registered in the process on first need.
void RegisterStandardControls();

// The list view control's window procedure (list_view.cpp).
WNDPROC ListViewProcedure();

}  // namespace w32::window
