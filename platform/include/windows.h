// The stand-in's umbrella header: the part of the Windows API that the system
// uses, declared by the project itself for Linux.
#pragma once

#include "w32/types.h"
#include "w32/crt.h"
#include "w32/codepage.h"
#include "w32/kernel.h"
#include "w32/file.h"
#include "w32/profile.h"
#include "w32/registry.h"
#include "w32/com_libraries.h"
#include "w32/string_table.h"
#include "w32/shell.h"
#include "w32/user.h"
#include "w32/module.h"
#include "w32/dialog.h"
#include "w32/commctrl.h"
#include "w32/menu.h"
#include "w32/gdi.h"
#include "w32/com.h"
#include "w32/crypt.h"
