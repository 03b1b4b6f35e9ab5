// regsvr: registers and unregisters COM server libraries, as regsvr32 does,
// and shows what is in the registry.
//
//   regsvr [/u] [/s] library                 DllRegisterServer (/u: DllUnregisterServer)
//   regsvr [/u] [/s] /i[:command line] library   DllInstall(TRUE or FALSE, command line),
//                                            then DllRegisterServer unless /n is given
//   regsvr --dump ROOT\key                   prints the subtree (ROOT: HKCR, HKCU, HKLM)
//
// Prints each call and its HRESULT; exits 0 when every call succeeded.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "framework/text.h"
#include "registry_dump.h"
#include "server_entry.h"

namespace {

int Usage() {
    fprintf(stderr,
            "usage: regsvr [/u] [/s] [/n] [/i[:command line]] library\n"
            "       regsvr --dump ROOT\\key   (ROOT: HKCR, HKCU or HKLM)\n");
    return 2;
}

bool Report(const char* call, HRESULT hr, bool silent) {
    if (!silent || FAILED(hr)) {
        printf("%s: 0x%08X\n", call, static_cast<unsigned>(hr));
    }
    return SUCCEEDED(hr);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && strcmp(argv[1], "--dump") == 0) {
        auto path = vexlo::regsvr::ParseRegistryPath(fw::ToWide(CP_UTF8, argv[2]));
        if (!path) {
            return Usage();
        }
        std::string text = vexlo::regsvr::DumpRegistry(*path);
        fputs(text.c_str(), stdout);
        return text.empty() ? 1 : 0;
    }
    bool unregister = false, silent = false, noRegister = false, install = false;
    std::optional<std::u16string> commandLine;
    std::string library;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "/u" || arg == "-u") {
            unregister = true;
        } else if (arg == "/s" || arg == "-s") {
            silent = true;
        } else if (arg == "/n" || arg == "-n") {
            noRegister = true;
        } else if (arg == "/i" || arg == "-i") {
            install = true;
        } else if (arg.rfind("/i:", 0) == 0 || arg.rfind("-i:", 0) == 0) {
            install = true;
            commandLine = fw::ToWide(CP_UTF8, arg.substr(3));
        } else if (library.empty() && !arg.empty()) {
            library = arg;  // anything that is not an option, absolute paths too
        } else {
            return Usage();
        }
    }
    if (library.empty() || (noRegister && !install)) {
        return Usage();
    }
    using vexlo::regsvr::Entry;
    bool ok = true;
    // As regsvr32: registration before DllInstall, unregistration after it.
    if (!noRegister && !unregister) {
        ok = Report("DllRegisterServer", vexlo::regsvr::CallServerEntry(library, Entry::Register),
                    silent);
    }
    if (ok && install) {
        ok = Report("DllInstall",
                    vexlo::regsvr::CallServerEntry(
                        library, unregister ? Entry::Uninstall : Entry::Install, commandLine),
                    silent);
    }
    if (ok && !noRegister && unregister) {
        ok = Report("DllUnregisterServer",
                    vexlo::regsvr::CallServerEntry(library, Entry::Unregister), silent);
    }
    return ok ? 0 : 1;
}
