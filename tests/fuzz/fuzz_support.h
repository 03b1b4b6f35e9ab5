// What the fuzz targets share: a private desktop session and temporary
// folders inside it (both removed when the run ends), objects kept from
// input to input, and the thread's message pump.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vexlo::fuzz {

// One object of T for the whole run, made on first use. Never destroyed:
// windows and threads it owns would otherwise be torn down at exit, after the
// runtime's own state.
template <class T>
T& Kept() {
    static T* object = new T();
    return *object;
}

// Reports a broken promise of the code under test as a crash.
void Require(bool promise);

// Dispatches the calling thread's queued messages without waiting.
void Pump();

// The input as text, and a value taken from its first byte (0 for none),
// for targets that pick a variant of the call per input.
std::string Text(const uint8_t* data, size_t size);
uint8_t TakeByte(const uint8_t*& data, size_t& size);
// A path of the system's (UTF-16) as the file system's UTF-8.
std::string PathText(const std::u16string& path);

}  // namespace vexlo::fuzz
