// The add-on's registry scripts, kept as module resources: the module's
// application-id script (empty: no AppID key is written) and the browser
// helper object's class script.
#pragma once

namespace vexlo {

inline constexpr int kAppIdScriptId = 100;
inline constexpr int kVexloPluginScriptId = 101;

}  // namespace vexlo
