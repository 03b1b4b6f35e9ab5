#pragma once

#include <mutex>

namespace w32::window {

// The system's control classes, registered in the process on first need.
void RegisterStandardControls();

}  // namespace w32::window
