// Resources shared by the window tests and their helper program: a dialog
// like the system's device list, a tray-style popup menu, an icon, a bitmap,
// strings and a version block.
#pragma once

#include <windows.h>

namespace testres {

inline constexpr int kDialog = 133;
inline constexpr int kAboutLike = 130;
inline constexpr int kMenu = 250;
inline constexpr int kIcon = 201;
inline constexpr int kBitmap = 401;
inline constexpr int kStatic = 1000;
inline constexpr int kLink = 1001;
inline constexpr int kVersionLine = 1003;

}  // namespace testres
