#include "device_text.h"

#include <unistd.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <sstream>

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

std::u16string Wide(const std::string& utf8) {
    if (utf8.empty() || utf8.size() > 0x7FFFFFFF) {
        return {};
    }
    const int length = static_cast<int>(utf8.size());
    int count = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
    if (count <= 0) {
        return {};
    }
    std::u16string wide(static_cast<size_t>(count), u'\0');
    count = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, wide.data(), count);
    wide.resize(static_cast<size_t>(count > 0 ? count : 0));
    return wide;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream in(text);
    std::string word;
    while (in >> word) {
        words.push_back(word);
    }
    return words;
}

std::vector<std::string> ListWords(const std::string& text) {
    std::string spaced = text;
    std::replace(spaced.begin(), spaced.end(), ',', ' ');
    return Words(spaced);
}

std::optional<int> ParseInt(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    auto result = std::from_chars(text.data(), end, value);
    if (result.ec != std::errc() || result.ptr != end) {
        return std::nullopt;
    }
    return value;
}

std::optional<bool> ParseBool(const std::string& text) {
    std::string value = Lower(text);
    if (value == "yes" || value == "true" || value == "1" || value == "on") {
        return true;
    }
    if (value == "no" || value == "false" || value == "0" || value == "off") {
        return false;
    }
    return std::nullopt;
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
