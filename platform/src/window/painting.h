// What the controls and the dialog manager use of the paint cycle.
#pragma once

#include "w32/user.h"

namespace w32::window {

// Sends the WM_CTLCOLOR* message for control to the answering window with the
// DC and remembers the brush for the record written when the paint ends.
HBRUSH AskColours(HWND control, UINT message, HWND answering, HDC dc);
// Remembers a WM_CTLCOLOR* answer for the paint of painted on this thread.
void NoteColourAnswer(HWND painted, HBRUSH brush);
// One paint of a control or dialog that only asks for its colours.
void PaintWithColours(HWND hwnd, UINT message, HWND answering);

}  // namespace w32::window
