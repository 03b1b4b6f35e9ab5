// The program's entry on the stand-in: the agent reads no command line.
#include <windows.h>

#include "agent/core/agent_main.h"

int main() {
    return WinMain(GetModuleHandleW(nullptr), nullptr, nullptr, SW_SHOWDEFAULT);
}
