// A client process of the session: creates the plain server by its CLSID
// and calls it through its interface.
//   plain_client <answer file>
// Writes Twice(21), or "error 0x%08X" with the failing HRESULT.
#include <windows.h>

#include <cstdio>
#include <string>

#include "plain_server.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: plain_client <answer file>\n");
        return 2;
    }
    CoInitialize(nullptr);
    IPlainThing* thing = nullptr;
    HRESULT hr =
        CoCreateInstance(CLSID_PlainServer, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&thing));
    char answer[32];
    if (SUCCEEDED(hr)) {
        snprintf(answer, sizeof answer, "%d", thing->Twice(21));
        thing->Release();
    } else {
        snprintf(answer, sizeof answer, "error 0x%08X", static_cast<unsigned>(hr));
    }
    CoUninitialize();
    FILE* file = fopen(argv[1], "w");
    if (file != nullptr) {
        fputs(answer, file);
        fclose(file);
    }
    return SUCCEEDED(hr) ? 0 : 1;
}
