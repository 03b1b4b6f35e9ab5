// Global memory. A fixed block's handle is its address; a moveable block's
// handle is a value of the handle space, and its memory is reached with
// GlobalLock, which counts locks as Windows does.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "internal/handles.h"
#include "w32/kernel.h"
#include "w32/print.h"

namespace {

struct Block {
    void* memory = nullptr;
    SIZE_T size = 0;
    bool moveable = false;
    UINT locks = 0;
};

struct Heap {
    std::mutex lock;
    std::unordered_map<uintptr_t, Block> byHandle;
    std::unordered_map<uintptr_t, uintptr_t> handleOfMemory;
};

Heap& TheHeap() {
    static Heap* heap = new Heap;
    return *heap;
}

Block* Find(Heap& heap, HGLOBAL handle) {
    auto it = heap.byHandle.find(reinterpret_cast<uintptr_t>(handle));
    return it == heap.byHandle.end() ? nullptr : &it->second;
}

}  // namespace

W32API HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
    // Room for at least one byte, so that every block has an address of its own.
    void* memory =
        (uFlags & GMEM_ZEROINIT) ? calloc(1, dwBytes ? dwBytes : 1) : malloc(dwBytes ? dwBytes : 1);
    if (memory == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    Block block{memory, dwBytes, (uFlags & GMEM_MOVEABLE) != 0, 0};
    uintptr_t handle =
        block.moveable ? w32::AllocateHandleValue() : reinterpret_cast<uintptr_t>(memory);
    Heap& heap = TheHeap();
    std::lock_guard<std::mutex> guard(heap.lock);
    heap.byHandle.emplace(handle, block);
    heap.handleOfMemory.emplace(reinterpret_cast<uintptr_t>(memory), handle);
    return reinterpret_cast<HGLOBAL>(handle);
}

W32API LPVOID WINAPI GlobalLock(HGLOBAL hMem) {
    Heap& heap = TheHeap();
    std::lock_guard<std::mutex> guard(heap.lock);
    Block* block = Find(heap, hMem);
    if (block == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (block->moveable && block->locks < GMEM_LOCKCOUNT) {
        ++block->locks;
    }
    return block->memory;
}

W32API BOOL WINAPI GlobalUnlock(HGLOBAL hMem) {
    Heap& heap = TheHeap();
    std::lock_guard<std::mutex> guard(heap.lock);
    Block* block = Find(heap, hMem);
    if (block == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!block->moveable || block->locks == 0) {
        SetLastError(ERROR_NOT_LOCKED_ANY);
        return FALSE;
    }
    --block->locks;
    if (block->locks == 0) {
        SetLastError(NO_ERROR);
        return FALSE;  // no longer locked
    }
    return TRUE;
}

W32API HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) {
    if (hMem == nullptr) {
        return nullptr;
    }
    Heap& heap = TheHeap();
    std::lock_guard<std::mutex> guard(heap.lock);
    Block* block = Find(heap, hMem);
    if (block == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return hMem;
    }
    heap.handleOfMemory.erase(reinterpret_cast<uintptr_t>(block->memory));
    free(block->memory);
    heap.byHandle.erase(reinterpret_cast<uintptr_t>(hMem));
    return nullptr;
}

W32API SIZE_T WINAPI GlobalSize(HGLOBAL hMem) {
    Heap& heap = TheHeap();
    std::lock_guard<std::mutex> guard(heap.lock);
    Block* block = Find(heap, hMem);
    if (block == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return block->size;
}

W32API UINT WINAPI GlobalFlags(HGLOBAL hMem) {
    Heap& heap = TheHeap();
    std::lock_guard<std::mutex> guard(heap.lock);
    Block* block = Find(heap, hMem);
    if (block == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return GMEM_INVALID_HANDLE;
    }
    return block->locks & GMEM_LOCKCOUNT;
}

W32API HGLOBAL WINAPI GlobalHandle(LPCVOID pMem) {
    Heap& heap = TheHeap();
    std::lock_guard<std::mutex> guard(heap.lock);
    auto it = heap.handleOfMemory.find(reinterpret_cast<uintptr_t>(pMem));
    if (it == heap.handleOfMemory.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return reinterpret_cast<HGLOBAL>(it->second);
}

W32API HGLOBAL WINAPI GlobalReAlloc(HGLOBAL hMem, SIZE_T dwBytes, UINT uFlags) {
    Heap& heap = TheHeap();
    std::lock_guard<std::mutex> guard(heap.lock);
    Block* block = Find(heap, hMem);
    if (block == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // A fixed block would change its handle when it moves; only moveable
    // blocks and locked-free blocks may move, as on Windows.
    if (!block->moveable || block->locks != 0) {
        if (dwBytes > block->size) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        block->size = dwBytes;
        return hMem;
    }
    void* memory = realloc(block->memory, dwBytes ? dwBytes : 1);
    if (memory == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if ((uFlags & GMEM_ZEROINIT) && dwBytes > block->size) {
        memset(static_cast<char*>(memory) + block->size, 0, dwBytes - block->size);
    }
    heap.handleOfMemory.erase(reinterpret_cast<uintptr_t>(block->memory));
    block->memory = memory;
    block->size = dwBytes;
    heap.handleOfMemory.emplace(reinterpret_cast<uintptr_t>(memory),
                                reinterpret_cast<uintptr_t>(hMem));
    return hMem;
}

W32API DWORD WINAPI W32GlobalBlockCount(void) {
    Heap& heap = TheHeap();
    std::lock_guard<std::mutex> guard(heap.lock);
    return static_cast<DWORD>(heap.byHandle.size());
}
