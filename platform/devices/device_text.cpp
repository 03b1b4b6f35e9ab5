#include "device_text.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace w32_devices {

std::string Trim(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) {
        ++begin;
    }
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) {
        --end;
    }
    return text.substr(begin, end - begin);
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string SessionDirectory() {
    const char* session = getenv("W32_SESSION");
    if (session != nullptr && session[0] != '\0') {
        return session;
    }
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    std::string base = runtime != nullptr && runtime[0] != '\0' ? runtime : "/tmp";
    return base + "/w32-session-" + std::to_string(getuid());
}

}  // namespace w32_devices
