// How window procedures find their C++ objects: without executable thunks, a
// window is bound to its object in a table when its first message arrives,
// and unbound after WM_NCDESTROY.
#pragma once

#include <windows.h>

#include <string>

namespace fw::detail {

// The object whose window the current thread is creating.
void SetCreatingObject(void* object);
void* TakeCreatingObject();

void BindWindow(HWND hWnd, void* object);
void* FindWindowObject(HWND hWnd);
void UnbindWindow(HWND hWnd);

// A class name of its own for a window class declared without one.
std::u16string GeneratedClassName(const void* classInfo);

}  // namespace fw::detail
