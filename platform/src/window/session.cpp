#include "internal/unique_fd.h"
#include "window/session.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace w32::session {
namespace {

std::string MakeDirectory() {
    const char* configured = getenv("W32_SESSION");
    std::string path;
    if (configured != nullptr && configured[0] != 0) {
        path = configured;
    } else {
        const char* runtime = getenv("XDG_RUNTIME_DIR");
        path = std::string(runtime != nullptr && runtime[0] == '/' ? runtime : "/tmp") +
               "/w32-session-" + std::to_string(getuid());
    }
    mkdir(path.c_str(), 0700);
    struct stat info;
    // Nobody else may read the session or send into it.
    if (lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid() ||
        (info.st_mode & 077) != 0) {
        fprintf(stderr, "w32: session directory %s is not private to this user; not used\n",
                path.c_str());
        return {};
    }
    mkdir((path + "/windows").c_str(), 0700);
    mkdir((path + "/atoms").c_str(), 0700);
    return path;
}

// Runs f with an exclusive lock on a lock file of the session.
template <typename F>
auto Locked(const char* name, F f) -> decltype(f()) {
    std::string path = Directory() + "/" + name;
    w32::unique_fd fd(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    w32::LockExclusive(fd);
    return f();
}

std::string ReadSmallFile(const std::string& path) {
    w32::unique_fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        return {};
    }
    std::string text;
    char buffer[4096];
    ssize_t got;
    while ((got = read(fd.get(), buffer, sizeof(buffer))) > 0) {
        text.append(buffer, static_cast<size_t>(got));
    }
    return text;
}

bool WriteFileAtomically(const std::string& path, const std::string& text) {
    std::string temporary = path + ".tmp" + std::to_string(getpid());
    w32::unique_fd fd(open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!fd) {
        return false;
    }
    bool ok = write(fd.get(), text.data(), text.size()) == static_cast<ssize_t>(text.size());
    fd.reset();
    return ok && rename(temporary.c_str(), path.c_str()) == 0;
}

std::string Hex(const std::u16string& text) {
    std::string out;
    char digits[8];
    for (char16_t c : text) {
        snprintf(digits, sizeof(digits), "%04x", static_cast<unsigned>(c));
        out += digits;
    }
    return out;
}

std::u16string Unhex(const std::string& text) {
    std::u16string out;
    for (size_t i = 0; i + 4 <= text.size(); i += 4) {
        out += static_cast<char16_t>(strtoul(text.substr(i, 4).c_str(), nullptr, 16));
    }
    return out;
}

std::u16string Lower(std::u16string text) {
    for (auto& c : text) {
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c + 32);
        }
    }
    return text;
}

std::string WindowPath(uint32_t handle) {
    char name[32];
    snprintf(name, sizeof(name), "/windows/%08x", handle);
    return Directory() + name;
}

std::string Serialise(const WindowRecord& r) {
    char numbers[200];
    snprintf(numbers, sizeof(numbers), "%u %d %u %u %u %u %u %d %d %d %d %d %d %d %u %d %d %u\n",
             r.handle, r.pid, r.tid, r.parent, r.owner, r.style, r.exStyle, r.controlId,
             r.messageOnly ? 1 : 0, r.left, r.top, r.right, r.bottom, r.colourAnswered ? 1 : 0,
             r.brushColour, r.hollowBrush ? 1 : 0, r.bkMode, r.textColour);
    return std::string(numbers) + Hex(r.className) + "\n" + Hex(r.title) + "\n";
}

std::optional<WindowRecord> Parse(const std::string& text) {
    WindowRecord r;
    int messageOnly = 0;
    int pid = 0;
    int answered = 0;
    int hollow = 0;
    if (sscanf(text.c_str(), "%u %d %u %u %u %u %u %d %d %d %d %d %d %d %u %d %d %u", &r.handle,
               &pid, &r.tid, &r.parent, &r.owner, &r.style, &r.exStyle, &r.controlId, &messageOnly,
               &r.left, &r.top, &r.right, &r.bottom, &answered, &r.brushColour, &hollow, &r.bkMode,
               &r.textColour) != 18) {
        return std::nullopt;
    }
    r.pid = pid;
    r.messageOnly = messageOnly != 0;
    r.colourAnswered = answered != 0;
    r.hollowBrush = hollow != 0;
    size_t first = text.find('\n');
    size_t second = first == std::string::npos ? first : text.find('\n', first + 1);
    if (second == std::string::npos) {
        return std::nullopt;
    }
    r.className = Unhex(text.substr(first + 1, second - first - 1));
    size_t third = text.find('\n', second + 1);
    r.title = Unhex(text.substr(
        second + 1, third == std::string::npos ? std::string::npos : third - second - 1));
    return r;
}

int livenessFd = -1;

}  // namespace

const std::string& Directory() {
    static const std::string directory = MakeDirectory();
    return directory;
}

bool ReserveHandles(uint32_t count, uint32_t* first) {
    if (Directory().empty()) {
        return false;
    }
    return Locked("handles.lock", [&] {
        std::string path = Directory() + "/handles";
        std::string text = ReadSmallFile(path);
        unsigned long next = text.empty() ? 0x10100 : strtoul(text.c_str(), nullptr, 16);
        if (next + static_cast<unsigned long>(count) * 4 >= 0x7FFFFFF0UL) {
            return false;
        }
        *first = static_cast<uint32_t>(next);
        char value[32];
        snprintf(value, sizeof(value), "%lx\n", next + static_cast<unsigned long>(count) * 4);
        return WriteFileAtomically(path, value);
    });
}

uint32_t RegisterMessageName(const std::u16string& name) {
    static std::mutex lock;
    static std::vector<std::pair<std::u16string, uint32_t>> known;
    std::u16string key = Lower(name);
    {
        std::lock_guard<std::mutex> guard(lock);
        for (auto& [knownName, id] : known) {
            if (knownName == key) {
                return id;
            }
        }
    }
    uint32_t id = 0;
    if (Directory().empty()) {
        static uint32_t nextLocal = 0xC000;
        std::lock_guard<std::mutex> guard(lock);
        id = nextLocal <= 0xFFFF ? nextLocal++ : 0;
    } else {
        id = Locked("atoms.lock", [&]() -> uint32_t {
            std::string hex = Hex(key);
            std::string path =
                Directory() + "/atoms/" + (hex.size() > 200 ? hex.substr(0, 200) : hex);
            // Long names share a file name prefix: the file holds the full name too.
            std::string text = ReadSmallFile(path);
            size_t at = 0;
            while (at < text.size()) {
                size_t end = text.find('\n', at);
                std::string line =
                    text.substr(at, end == std::string::npos ? std::string::npos : end - at);
                size_t space = line.find(' ');
                if (space != std::string::npos && line.substr(space + 1) == hex) {
                    return static_cast<uint32_t>(strtoul(line.c_str(), nullptr, 16));
                }
                if (end == std::string::npos) {
                    break;
                }
                at = end + 1;
            }
            std::string counterPath = Directory() + "/atoms.next";
            std::string counter = ReadSmallFile(counterPath);
            unsigned long next = counter.empty() ? 0xC000 : strtoul(counter.c_str(), nullptr, 16);
            if (next > 0xFFFF) {
                return 0;
            }
            char value[32];
            snprintf(value, sizeof(value), "%lx\n", next + 1);
            WriteFileAtomically(counterPath, value);
            snprintf(value, sizeof(value), "%lx ", next);
            WriteFileAtomically(path, text + value + hex + "\n");
            return static_cast<uint32_t>(next);
        });
    }
    if (id != 0) {
        std::lock_guard<std::mutex> guard(lock);
        known.emplace_back(key, id);
    }
    return id;
}

void PublishWindow(const WindowRecord& record) {
    if (!Directory().empty()) {
        WriteFileAtomically(WindowPath(record.handle), Serialise(record));
    }
}

void WithdrawWindow(uint32_t handle) {
    if (!Directory().empty()) {
        unlink(WindowPath(handle).c_str());
    }
}

std::optional<WindowRecord> ReadWindow(uint32_t handle) {
    if (Directory().empty()) {
        return std::nullopt;
    }
    auto record = Parse(ReadSmallFile(WindowPath(handle)));
    if (!record || !ProcessAlive(record->pid)) {
        return std::nullopt;
    }
    return record;
}

std::vector<WindowRecord> AllWindows() {
    std::vector<WindowRecord> windows;
    if (Directory().empty()) {
        return windows;
    }
    DIR* dir = opendir((Directory() + "/windows").c_str());
    if (dir == nullptr) {
        return windows;
    }
    std::vector<std::string> dead;
    while (struct dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.' || strchr(entry->d_name, '.') != nullptr) {
            continue;
        }
        std::string path = Directory() + "/windows/" + entry->d_name;
        auto record = Parse(ReadSmallFile(path));
        if (!record) {
            continue;
        }
        if (!ProcessAlive(record->pid)) {
            dead.push_back(path);  // a dead process's windows vanish with it
            continue;
        }
        windows.push_back(*record);
    }
    closedir(dir);
    for (const auto& path : dead) {
        unlink(path.c_str());
    }
    std::sort(windows.begin(), windows.end(),
              [](const WindowRecord& a, const WindowRecord& b) { return a.handle < b.handle; });
    return windows;
}

void ReadCursor(int32_t* x, int32_t* y) {
    *x = 960;
    *y = 540;
    if (Directory().empty()) {
        return;
    }
    int readX = 0;
    int readY = 0;
    if (sscanf(ReadSmallFile(Directory() + "/cursor").c_str(), "%d %d", &readX, &readY) == 2) {
        *x = readX;
        *y = readY;
    }
}

void WriteCursor(int32_t x, int32_t y) {
    if (!Directory().empty()) {
        WriteFileAtomically(Directory() + "/cursor", std::to_string(x) + " " + std::to_string(y));
    }
}

namespace {
// Keys come from this process's own handle values: only hex digits and '-'.
bool SafeKey(const std::string& key) {
    return !key.empty() && key.size() < 64 &&
           key.find_first_not_of("0123456789abcdefABCDEF-") == std::string::npos;
}
std::string EntryFolder(const std::string& folder) {
    std::string path = Directory() + "/" + folder;
    mkdir(path.c_str(), 0700);
    return path;
}
}  // namespace

bool WriteEntry(const std::string& folder, const std::string& key, const std::string& text) {
    return !Directory().empty() && SafeKey(key) &&
           WriteFileAtomically(EntryFolder(folder) + "/" + key, text);
}

bool RemoveEntry(const std::string& folder, const std::string& key) {
    return !Directory().empty() && SafeKey(key) &&
           unlink((EntryFolder(folder) + "/" + key).c_str()) == 0;
}

bool EntryExists(const std::string& folder, const std::string& key) {
    struct stat info;
    return !Directory().empty() && SafeKey(key) &&
           stat((EntryFolder(folder) + "/" + key).c_str(), &info) == 0;
}

std::vector<std::pair<std::string, std::string>> ReadEntries(const std::string& folder) {
    std::vector<std::pair<std::string, std::string>> entries;
    if (Directory().empty()) {
        return entries;
    }
    std::string path = EntryFolder(folder);
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) {
        return entries;
    }
    while (struct dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (SafeKey(name)) {
            entries.emplace_back(name, ReadSmallFile(path + "/" + name));
        }
    }
    closedir(dir);
    std::sort(entries.begin(), entries.end());
    return entries;
}

void WithLock(const char* name, const std::function<void()>& f) {
    static std::mutex local;
    std::lock_guard<std::mutex> guard(local);
    if (Directory().empty()) {
        f();
        return;
    }
    Locked(name, [&] {
        f();
        return 0;
    });
}

std::string SocketPath(pid_t pid) {
    return Directory() + "/proc-" + std::to_string(pid) + ".sock";
}

bool ProcessAlive(pid_t pid) {
    if (pid == getpid()) {
        return true;
    }
    if (kill(pid, 0) != 0 && errno == ESRCH) {
        return false;
    }
    // The pid may have been reused: the process's own lock tells.
    std::string path = Directory() + "/proc-" + std::to_string(pid) + ".lock";
    w32::unique_fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        return false;
    }
    return flock(fd.get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

void MarkProcessAlive() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (Directory().empty()) {
            return;
        }
        std::string path = Directory() + "/proc-" + std::to_string(getpid()) + ".lock";
        livenessFd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (livenessFd >= 0) {
            flock(livenessFd, LOCK_EX);
        }
    });
}

}  // namespace w32::session
