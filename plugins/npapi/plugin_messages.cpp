// The plug-in registers the agent's desktop message when it is loaded; it
// neither sends nor handles it.
#include <windows.h>

#include "protocol/records.h"

namespace vexlo::npapi {

extern const UINT WM_VEXLO_DESKTOP_MESSAGE;
const UINT WM_VEXLO_DESKTOP_MESSAGE = ::RegisterWindowMessageW(kDesktopMessageName);

}  // namespace vexlo::npapi
