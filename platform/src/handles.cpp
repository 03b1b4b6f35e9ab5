#include "internal/handles.h"

#include <unistd.h>

#include <mutex>

#include "session/session.h"

namespace w32 {

namespace {
constexpr uint32_t kBlock = 256;
}

// Each process reserves blocks of values from the session's counter, so
// values are unique across the desktop and never reused. Values are
// multiples of 4 from 0x10000 on, which can never be 0, 0xFFFF, 0x666 or -1..-3.
uint32_t AllocateHandleValue() {
    static std::mutex mutex;
    static uint32_t next = 0;
    static uint32_t end = 0;
    std::lock_guard<std::mutex> guard(mutex);
    if (next == end) {
        uint32_t first = session::ReserveHandleBlock(kBlock);
        if (first == 0) {
            // No usable session: a process-private range keeps values unique
            // within the process at least.
            static uint32_t fallback = 0x80000000u;
            fallback += 4;
            return fallback;
        }
        next = first;
        end = first + kBlock * 4;
    }
    uint32_t value = next;
    next += 4;
    return value;
}

}  // namespace w32
