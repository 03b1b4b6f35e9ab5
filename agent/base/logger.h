// The agent's diagnostic log: one timestamped line per message, written in
// the writing thread's ANSI code page.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <mutex>
#include <string>

namespace vexlo {

class ILogger {
public:
    virtual void Write(const char16_t* text) = 0;

protected:
    ~ILogger() = default;
};

// Writes lines "hh:mm:ss.mmm <message> \r\n" into one file. Lines come from
// the GUI thread and both workers; one lock keeps each line whole.
class CLogger : public ILogger {
public:
    CLogger() = default;
    CLogger(const CLogger&) = delete;
    CLogger& operator=(const CLogger&) = delete;
    ~CLogger();

    // Creates the file anew (an existing one is emptied), shared for reading
    // only. A failed open leaves an invalid handle: every later write then
    // fails without notice.
    void Open(const std::u16string& path);
    void Close();
    // True while the logger holds a handle (even an invalid one from a failed open).
    bool HasHandle() const;
    void Write(const char16_t* text) override;

private:
    mutable std::mutex lock;
    HANDLE file = nullptr;
};

// The default log file: "vexlo-plugin.log" in the data folder.
std::u16string GetDefaultLogPath();

// Messages are cut to this many characters.
inline constexpr size_t kMaxLogMessage = 999;

// The level rule and the formatting of IHost::Log: nothing is formatted when
// level is above traceLevel; otherwise the message is formatted with the wide
// printf rules, cut to 999 characters and handed to the logger.
void LogMessageV(ILogger& logger, int traceLevel, int level, const char16_t* format, va_list args);

}  // namespace vexlo
