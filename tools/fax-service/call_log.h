// The fax service's call log: one whole line per call, from any thread.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace faxservice {

class CallLog {
public:
    // Standard error when path is empty; false when the file cannot be opened.
    bool Open(const std::string& path);
    ~CallLog();
    void Write(const std::string& line);

private:
    std::mutex mutex_;
    FILE* file_ = stderr;
    bool owned_ = false;
};

// Text safe for one log line: control characters and blanks escaped, long
// values cut.
std::string LogSafe(const std::string& text, size_t maxLength = 120);

}  // namespace faxservice
