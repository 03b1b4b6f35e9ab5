#include "framework/window_binding.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace fw::detail {
namespace {

thread_local void* creatingObject = nullptr;

// The table of bound windows. It is not a static object: a process may destroy
// windows during its own exit, after static destructors have run. A module
// that is unloaded while its host goes on (an in-process server) frees the
// table once no window is bound any more, so it leaves nothing behind.
std::mutex tableLock;  // trivially destructible: usable until the very end
std::unordered_map<HWND, void*>* table = nullptr;

struct TableReaper {
    ~TableReaper() {
        std::lock_guard<std::mutex> guard(tableLock);
        if (table != nullptr && table->empty()) {
            delete table;
            table = nullptr;
        }
    }
} reaper;

}  // namespace

void SetCreatingObject(void* object) {
    creatingObject = object;
}

void* TakeCreatingObject() {
    void* object = creatingObject;
    creatingObject = nullptr;
    return object;
}

void BindWindow(HWND hWnd, void* object) {
    std::lock_guard<std::mutex> guard(tableLock);
    if (table == nullptr) {
        table = new std::unordered_map<HWND, void*>;
    }
    (*table)[hWnd] = object;
}

void* FindWindowObject(HWND hWnd) {
    std::lock_guard<std::mutex> guard(tableLock);
    if (table == nullptr) {
        return nullptr;
    }
    auto it = table->find(hWnd);
    return it == table->end() ? nullptr : it->second;
}

void UnbindWindow(HWND hWnd) {
    std::lock_guard<std::mutex> guard(tableLock);
    if (table != nullptr) {
        table->erase(hWnd);
    }
}

std::u16string GeneratedClassName(const void* classInfo) {
    char name[32];
    snprintf(name, sizeof(name), "FW:%p", classInfo);
    return std::u16string(name, name + strlen(name));
}

}  // namespace fw::detail
