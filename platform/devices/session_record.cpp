#include "session_record.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "device_text.h"

namespace w32_devices {
namespace {

std::string PathOf(const std::string& file) {
    return SessionDirectory() + "/" + file;
}

// An exclusive lock on "<file>.lock" while it lives.
class RecordLock {
public:
    explicit RecordLock(const std::string& file)
        : fd(open((PathOf(file) + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        if (fd >= 0) {
            while (flock(fd, LOCK_EX) != 0) {
            }
        }
    }
    ~RecordLock() {
        if (fd >= 0) {
            flock(fd, LOCK_UN);
            close(fd);
        }
    }
    RecordLock(const RecordLock&) = delete;
    RecordLock& operator=(const RecordLock&) = delete;

private:
    int fd;
};

void WriteLines(const std::string& file, const std::vector<std::string>& lines) {
    std::string path = PathOf(file);
    std::string temporary = path + "." + std::to_string(getpid()) + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        for (const std::string& line : lines) {
            out << line << "\n";
        }
        if (!out.flush()) {
            out.close();
            std::remove(temporary.c_str());
            return;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
    }
}

}  // namespace

std::string HolderTag() {
    // Taken once per load of the library that links this in.
    static const std::string tag =
        std::to_string(getpid()) + "." +
        std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    return tag;
}

std::vector<std::string> ReadRecordLines(const std::string& file) {
    std::vector<std::string> lines;
    std::ifstream in(PathOf(file), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}

void AddRecordLine(const std::string& file, const std::string& line) {
    RecordLock lock(file);
    std::vector<std::string> lines = ReadRecordLines(file);
    lines.push_back(line);
    WriteLines(file, lines);
}

void RemoveRecordLine(const std::string& file, const std::string& line) {
    RecordLock lock(file);
    std::vector<std::string> lines = ReadRecordLines(file);
    auto it = std::find(lines.begin(), lines.end(), line);
    if (it == lines.end()) {
        return;
    }
    lines.erase(it);
    WriteLines(file, lines);
}

void AppendJournalLine(const std::string& file, const std::string& line) {
    // One write of a short line with O_APPEND: lines of several processes
    // never interleave.
    int fd = open(PathOf(file).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) {
        return;
    }
    std::string whole = line + "\n";
    ssize_t written = write(fd, whole.data(), whole.size());
    (void)written;
    close(fd);
}

}  // namespace w32_devices
