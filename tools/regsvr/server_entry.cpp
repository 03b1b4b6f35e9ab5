#include "server_entry.h"

#include <climits>
#include <cstdlib>

#include "framework/raii.h"
#include "framework/text.h"

namespace vexlo::regsvr {
namespace {

typedef HRESULT(WINAPI* ServerProc)();
typedef HRESULT(WINAPI* InstallProc)(BOOL install, LPCWSTR commandLine);

// The registered path is the library's full path.
std::string FullPath(const std::string& library) {
    char resolved[PATH_MAX];
    return realpath(library.c_str(), resolved) != nullptr ? std::string(resolved) : library;
}

}  // namespace

const char* EntryName(Entry entry) {
    switch (entry) {
        case Entry::Register:
            return "DllRegisterServer";
        case Entry::Unregister:
            return "DllUnregisterServer";
        case Entry::Install:
        case Entry::Uninstall:
            return "DllInstall";
    }
    return "";
}

HRESULT CallServerEntry(const std::string& library, Entry entry,
                        const std::optional<std::u16string>& commandLine) {
    HRESULT init = ::CoInitialize(nullptr);
    HRESULT result = S_OK;
    {
        fw::unique_hmodule module(::LoadLibraryA(FullPath(library).c_str()));
        if (!module) {
            result = HRESULT_FROM_WIN32(::GetLastError());
        } else {
            FARPROC proc = ::GetProcAddress(module.get(), EntryName(entry));
            if (proc == nullptr) {
                result = HRESULT_FROM_WIN32(::GetLastError());
            } else if (entry == Entry::Install || entry == Entry::Uninstall) {
                result = reinterpret_cast<InstallProc>(proc)(
                    entry == Entry::Install ? TRUE : FALSE,
                    commandLine ? commandLine->c_str() : nullptr);
            } else {
                result = reinterpret_cast<ServerProc>(proc)();
            }
        }
    }
    if (SUCCEEDED(init)) {
        ::CoUninitialize();
    }
    return result;
}

}  // namespace vexlo::regsvr
