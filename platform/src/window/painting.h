// What the controls and the dialog manager use of the paint cycle.
#pragma once

#include "w32/user.h"

namespace w32::window {

// Sends the WM_CTLCOLOR* message for control to the answering window with the
// DC and remembers the brush for the record written when the paint ends.
HBRUSH AskColours(HWND control, UINT message, HWND answering, HDC dc);
// Remembers a WM_CTLCOLOR* answer for the paint of painted on this thread.
void NoteColourAnswer(HWND painted, HBRUSH brush);
// The wParam of the WM_PAINT that InvalidateRect posts to another process's
// window: painted on arrival (its own process keeps no pending flag for it).
inline constexpr WPARAM kPaintFromAnotherProcess = 0x5041494E;
// A local window with a paint pending, or a window of another process.
bool NeedsPaint(HWND hwnd);
// One paint of a control or dialog that only asks for its colours.
void PaintWithColours(HWND hwnd, UINT message, HWND answering);

}  // namespace w32::window
