#include "fuzz_support.h"

#include <windows.h>

#include <cstdlib>

namespace vexlo::fuzz {
namespace {

// The private session (made at priority 101) also holds every temporary
// folder of the run, so that the session's removal at exit takes them along,
// including those of objects that Kept() never destroys.
class TemporariesInSession {
public:
    TemporariesInSession() {
        if (const char* session = std::getenv("W32_SESSION")) {
            setenv("TMPDIR", session, 1);
        }
    }
};

__attribute__((init_priority(102))) TemporariesInSession temporaries;

}  // namespace

void Require(bool promise) {
    if (!promise) {
        std::abort();
    }
}

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message != WM_QUIT) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

std::string Text(const uint8_t* data, size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

uint8_t TakeByte(const uint8_t*& data, size_t& size) {
    if (size == 0) {
        return 0;
    }
    --size;
    return *data++;
}

std::string PathText(const std::u16string& path) {
    int length = WideCharToMultiByte(CP_UTF8, 0, path.data(), static_cast<int>(path.size()),
                                     nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(length > 0 ? length : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), text.data(), length,
                        nullptr, nullptr);
    return text;
}

}  // namespace vexlo::fuzz
