#include "framework/window_binding.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace fw::detail {
namespace {

thread_local void* creatingObject = nullptr;

struct Bindings {
    std::mutex lock;
    std::unordered_map<HWND, void*> objects;
};

Bindings& TheBindings() {
    static Bindings* bindings = new Bindings;
    return *bindings;
}

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
    Bindings& bindings = TheBindings();
    std::lock_guard<std::mutex> guard(bindings.lock);
    bindings.objects[hWnd] = object;
}

void* FindWindowObject(HWND hWnd) {
    Bindings& bindings = TheBindings();
    std::lock_guard<std::mutex> guard(bindings.lock);
    auto it = bindings.objects.find(hWnd);
    return it == bindings.objects.end() ? nullptr : it->second;
}

void UnbindWindow(HWND hWnd) {
    Bindings& bindings = TheBindings();
    std::lock_guard<std::mutex> guard(bindings.lock);
    bindings.objects.erase(hWnd);
}

std::u16string GeneratedClassName(const void* classInfo) {
    char name[32];
    snprintf(name, sizeof(name), "FW:%p", classInfo);
    return std::u16string(name, name + strlen(name));
}

}  // namespace fw::detail
