#include "agent/base/messages.h"

#include "protocol/records.h"

namespace vexlo {

const UINT WM_VEXLO_DESKTOP_MESSAGE = RegisterWindowMessageW(kDesktopMessageName);
const UINT WM_VEXLO_APP_INTER_MESSAGE = RegisterWindowMessageW(kAppInterMessageName);
const UINT WM_VEXLO_INTER_WIA_MESSAGE = RegisterWindowMessageW(kInterWiaMessageName);
const UINT WM_VEXLO_INTER_DESKTOP_MESSAGE = RegisterWindowMessageW(kInterDesktopMessageName);

}  // namespace vexlo
