// The agent program's resource ids.
#pragma once

namespace vexlo {

inline constexpr int kAgentClassIconId = 100;  // the main window class's icons
inline constexpr int kAboutDialogId = 130;
inline constexpr int kTrayIconId = 201;
inline constexpr int kTrayMenuId = 250;
inline constexpr int kCommandExit = 300;
inline constexpr int kCommandAbout = 301;
inline constexpr int kAboutLogoBitmapId = 401;
inline constexpr int kAboutLogoControlId = 1000;
inline constexpr int kAboutSiteLinkId = 1001;
inline constexpr int kAboutVersionId = 1003;
inline constexpr int kAboutBuildId = 1004;

}  // namespace vexlo

namespace vexlo {

// The resources are registered by the file that holds them; calling this
// keeps that file in every program that links the agent's core.
void LinkAgentResources();

}  // namespace vexlo
