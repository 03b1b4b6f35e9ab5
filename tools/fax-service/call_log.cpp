#include "call_log.h"

#include <chrono>
#include <ctime>

namespace faxservice {

bool CallLog::Open(const std::string& path) {
    if (path.empty()) {
        return true;
    }
    FILE* file = std::fopen(path.c_str(), "a");
    if (!file) {
        return false;
    }
    file_ = file;
    owned_ = true;
    return true;
}

CallLog::~CallLog() {
    if (owned_) {
        std::fclose(file_);
    }
}

void CallLog::Write(const std::string& line) {
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t seconds = system_clock::to_time_t(now);
    auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<int>(millis));
    std::lock_guard<std::mutex> lock(mutex_);
    std::fprintf(file_, "%s %s\n", stamp, line.c_str());
    std::fflush(file_);
}

std::string LogSafe(const std::string& text, size_t maxLength) {
    std::string out;
    for (unsigned char c : text) {
        if (out.size() >= maxLength) {
            out += "...";
            break;
        }
        if (c < 0x20 || c == 0x7F || c == ' ' || c == '\\') {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out.empty() ? "-" : out;
}

}  // namespace faxservice
