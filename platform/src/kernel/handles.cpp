#include "internal/handles.h"

#include <mutex>

#include "window/session.h"

namespace w32 {

// Values come in blocks reserved from the session, so that they are unique
// across every process of the desktop; without a session they are unique in
// the process only.
uint32_t AllocateHandleValue() {
    static std::mutex lock;
    static uint32_t next = 0;
    static uint32_t left = 0;
    static uint32_t localNext = 0x40000000;
    constexpr uint32_t kBlock = 1024;
    std::lock_guard<std::mutex> guard(lock);
    if (left == 0) {
        uint32_t first = 0;
        if (session::ReserveHandles(kBlock, &first)) {
            next = first;
            left = kBlock;
        } else {
            uint32_t value = localNext;
            localNext += 4;
            return value;
        }
    }
    uint32_t value = next;
    next += 4;
    --left;
    return value;
}

}  // namespace w32
