// The agent's registered window messages, registered by static initialisers
// before the program's entry function runs.
#pragma once

#include <windows.h>

namespace vexlo {

extern const UINT WM_VEXLO_DESKTOP_MESSAGE;
extern const UINT WM_VEXLO_APP_INTER_MESSAGE;
extern const UINT WM_VEXLO_INTER_WIA_MESSAGE;
extern const UINT WM_VEXLO_INTER_DESKTOP_MESSAGE;

}  // namespace vexlo
