#include "internal/kobject.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <unordered_map>

#include "internal/handles.h"
#include "w32/kernel.h"

namespace w32 {
namespace {

struct HandleTable {
    std::mutex lock;
    std::unordered_map<uint32_t, std::shared_ptr<KernelObject>> objects;
};

HandleTable& Table() {
    static HandleTable* table = new HandleTable;  // outlives every static destructor
    return *table;
}

}  // namespace

std::mutex& WaitLock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}

std::condition_variable& WaitChanged() {
    static std::condition_variable* changed = new std::condition_variable;
    return *changed;
}

namespace {

std::vector<int>& Watchers() {  // guarded by WaitLock()
    static std::vector<int>* watchers = new std::vector<int>;
    return *watchers;
}

}  // namespace

void AnnounceChange() {
    WaitChanged().notify_all();
    for (int fd : Watchers()) {
        uint64_t one = 1;
        ssize_t ignored = write(fd, &one, sizeof(one));
        (void)ignored;
    }
}

void AddChangeWatcher(int eventFd) {
    Watchers().push_back(eventFd);
}

void RemoveChangeWatcher(int eventFd) {
    auto& watchers = Watchers();
    auto it = std::find(watchers.begin(), watchers.end(), eventFd);
    if (it != watchers.end()) {
        watchers.erase(it);
    }
}

HANDLE InsertObject(std::shared_ptr<KernelObject> object) {
    uint32_t value = AllocateHandleValue();
    HandleTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    table.objects.emplace(value, std::move(object));
    return HandleFromValue<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupObject(HANDLE handle) {
    HandleTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.objects.find(ValueFromHandle(handle));
    return it == table.objects.end() ? nullptr : it->second;
}

}  // namespace w32

W32API BOOL WINAPI CloseHandle(HANDLE hObject) {
    std::shared_ptr<w32::KernelObject> removed;
    {
        w32::HandleTable& table = w32::Table();
        std::lock_guard<std::mutex> guard(table.lock);
        auto it = table.objects.find(w32::ValueFromHandle(hObject));
        if (it == table.objects.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        removed = std::move(it->second);
        table.objects.erase(it);
    }
    // The object is released outside the table's lock: closing a file may block.
    removed.reset();
    return TRUE;
}
