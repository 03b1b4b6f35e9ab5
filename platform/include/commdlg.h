// The common dialogs and printing, as a program includes them beside
// windows.h.
#pragma once

#include <windows.h>

#include "w32/print.h"
