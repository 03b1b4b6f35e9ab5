// The class object of the Global Interface Table, a class of COM itself.
#pragma once

#include "w32/com.h"

namespace w32::com {

HRESULT GlobalInterfaceTableClassObject(REFIID riid, LPVOID* ppv);

}  // namespace w32::com
