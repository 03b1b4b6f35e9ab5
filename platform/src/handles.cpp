#include "internal/handles.h"

#include <atomic>

namespace w32 {

// Process-local for now; the session (window system) hands out blocks of
// values so that they are unique across every process of the desktop.
uint32_t AllocateHandleValue() {
    static std::atomic<uint32_t> next{0x10000};
    return next.fetch_add(4);
}

}  // namespace w32
