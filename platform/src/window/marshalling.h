// How a message's parameters cross to another process. Decided by the
// message number alone, as Windows does: nothing in a frame can make a
// number the receiver takes for a pointer.
#pragma once

#include "w32/user.h"

namespace w32::window {

enum class Crossing {
    kValue,     // wParam and lParam are numbers and cross as they are
    kCopyData,  // lParam is a COPYDATASTRUCT: its bytes cross
    kSetText,   // lParam is a text: its characters cross
    kGetText,   // lParam is a buffer of wParam characters: the text comes back
    kRefused,   // a parameter points to a structure that does not cross
};

Crossing CrossingOf(UINT message);

// Messages whose data lives only as long as a send: they cannot be posted.
bool SyncOnly(UINT message);

}  // namespace w32::window
