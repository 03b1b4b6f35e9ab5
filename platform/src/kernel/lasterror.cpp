#include "w32/types.h"

namespace {
thread_local DWORD lastError = 0;
}

W32API DWORD WINAPI GetLastError(void) {
    return lastError;
}

W32API void WINAPI SetLastError(DWORD dwErrCode) {
    lastError = dwErrCode;
}
