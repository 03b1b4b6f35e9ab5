// The class object of an in-process server registered in the registry.
#pragma once

#include "w32/com.h"

namespace w32::com {

// REGDB_E_CLASSNOTREG when the class has no InprocServer32 key or the
// context does not ask for an in-process server.
HRESULT InprocServerClassObject(REFCLSID rclsid, DWORD dwClsContext, REFIID riid, LPVOID* ppv);

}  // namespace w32::com
