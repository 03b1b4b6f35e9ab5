#include "agent/base/logger.h"

#include <vector>

#include "agent/base/data_folders.h"
#include "framework/text.h"

namespace vexlo {

CLogger::~CLogger() {
    Close();
}

void CLogger::Open(const std::u16string& path) {
    std::lock_guard<std::mutex> guard(lock);
    if (file != nullptr && file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

void CLogger::Close() {
    std::lock_guard<std::mutex> guard(lock);
    if (file != nullptr && file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    file = nullptr;
}

bool CLogger::HasHandle() const {
    std::lock_guard<std::mutex> guard(lock);
    return file != nullptr;
}

void CLogger::Write(const char16_t* text) {
    SYSTEMTIME now = {};
    GetLocalTime(&now);

    // The message in the writing thread's ANSI code page; characters without
    // a mapping become the code page's default character.
    const std::string message = fw::FromWide(CP_THREAD_ACP, text != nullptr ? text : u"");

    // The time prefix and the " \r\n" ending take 16 characters.
    std::vector<char> line(message.size() + 33, '\0');
    int length = sprintf_s(line.data(), line.size(), "%02d:%02d:%02d.%03d %s \r\n", now.wHour,
                           now.wMinute, now.wSecond, now.wMilliseconds, message.c_str());
    if (length <= 0) {
        return;
    }

    std::lock_guard<std::mutex> guard(lock);
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(length), &written, nullptr);
}

std::u16string GetDefaultLogPath() {
    return GetDataFolder() + kPathSeparatorString + u"vexlo-plugin.log";
}

void LogMessageV(ILogger& logger, int traceLevel, int level, const char16_t* format, va_list args) {
    if (traceLevel < level) {
        return;
    }
    WCHAR message[kMaxLogMessage + 1] = {};
    _vsnwprintf(message, kMaxLogMessage, format, args);
    logger.Write(message);
}

}  // namespace vexlo
