// The classes that the system itself provides, each served by a module of
// the stand-in that is loaded on first use and stays loaded.
#pragma once

#include "w32/com.h"

namespace w32::com {

// The class object of a system class that serves one of the contexts, or
// REGDB_E_CLASSNOTREG.
HRESULT SystemClassObject(REFCLSID rclsid, DWORD dwClsContext, REFIID riid, LPVOID* ppv);

}  // namespace w32::com
