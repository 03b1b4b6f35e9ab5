// The module that holds the calling code: its resources (icons, dialogs,
// menus) are looked up there. The framework is compiled into every program
// and plug-in, so each finds its own module from an address of its own.
#pragma once

#include <windows.h>

namespace fw {
namespace detail {
// Internal linkage: every module that includes this header has its own copy,
// whose address lies in that module.
static inline void ModuleAnchor() {}
}  // namespace detail

inline HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&detail::ModuleAnchor), &module)) {
        module = ::GetModuleHandleW(nullptr);
    }
    return module;
}

}  // namespace fw
