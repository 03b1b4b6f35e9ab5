// Allocation of handle values. Every handle of the stand-in (kernel objects,
// windows, modules, GDI objects, menus) takes its value from here, so values
// are unique, fit in 32 bits, are never reused, and never take the values
// that the system gives a meaning of their own (0, 0xFFFF, -1, -2, -3, 0x666).
#pragma once

#include <cstdint>

namespace w32 {

// A fresh handle value, never handed out before in this session.
uint32_t AllocateHandleValue();

template <typename H>
H HandleFromValue(uint32_t value) {
    return reinterpret_cast<H>(static_cast<uintptr_t>(value));
}

template <typename H>
uint32_t ValueFromHandle(H handle) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(handle));
}

}  // namespace w32
