// The hives' files: registry/machine.hive and registry/user.hive in the
// session directory. A write takes the exclusive lock on registry/lock,
// reads the hive, changes it, writes a temporary file and renames it over
// the hive; readers open whichever whole file is in place.
#include "registry/store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "internal/unique_fd.h"
#include "w32/registry.h"
#include "window/session.h"

namespace w32::registry {
namespace {

// Bounds what a reader takes in from a file another process wrote.
constexpr off_t kMaxHiveBytes = 64 << 20;

std::atomic<bool>& ReadOnlyFlag() {
    static std::atomic<bool> flag{[] {
        const char* value = getenv("W32_REGISTRY_MACHINE_READONLY");
        return value != nullptr && strcmp(value, "1") == 0;
    }()};
    return flag;
}

const char* FileName(HiveId id) {
    return id == HiveId::Machine ? "machine.hive" : "user.hive";
}

// The registry folder of the session; empty without a session.
const std::string& Folder() {
    static const std::string folder = [] {
        const std::string& session = w32::session::Directory();
        if (session.empty()) {
            return std::string();
        }
        std::string path = session + "/registry";
        mkdir(path.c_str(), 0700);
        return path;
    }();
    return folder;
}

// Hives of a process without a session, and the lock that orders this
// process's own writers.
struct Local {
    std::mutex lock;
    Hive hives[2] = {EmptyHive(), EmptyHive()};
};

Local& TheLocal() {
    static Local* local = new Local;
    return *local;
}

LONG ReadFile(const std::string& path, Hive& hive) {
    w32::unique_fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        if (errno == ENOENT) {
            hive = EmptyHive();
            return ERROR_SUCCESS;
        }
        return ERROR_CANTREAD;
    }
    struct stat info;
    if (fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kMaxHiveBytes) {
        return ERROR_BADDB;
    }
    std::string bytes;
    char buffer[65536];
    for (;;) {
        ssize_t n = read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return ERROR_CANTREAD;
        }
        if (n == 0) {
            break;
        }
        bytes.append(buffer, static_cast<size_t>(n));
        if (bytes.size() > static_cast<size_t>(kMaxHiveBytes)) {
            return ERROR_BADDB;
        }
    }
    std::optional<Hive> parsed = Parse(bytes);
    if (!parsed) {
        return ERROR_BADDB;
    }
    hive = std::move(*parsed);
    return ERROR_SUCCESS;
}

LONG WriteFile(const std::string& path, const Hive& hive) {
    std::string bytes = Serialize(hive);
    std::string temporary = path + ".new." + std::to_string(getpid());
    w32::unique_fd fd(open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!fd) {
        return ERROR_CANTWRITE;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            unlink(temporary.c_str());
            return ERROR_CANTWRITE;
        }
        done += static_cast<size_t>(n);
    }
    fd.reset();
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        return ERROR_CANTWRITE;
    }
    return ERROR_SUCCESS;
}

}  // namespace

bool MachineReadOnly() {
    return ReadOnlyFlag().load();
}

void SetMachineReadOnly(bool readOnly) {
    ReadOnlyFlag().store(readOnly);
}

LONG ReadHive(HiveId id, Hive& hive) {
    const std::string& folder = Folder();
    if (folder.empty()) {
        Local& local = TheLocal();
        std::lock_guard<std::mutex> guard(local.lock);
        hive = local.hives[static_cast<int>(id)];
        return ERROR_SUCCESS;
    }
    return ReadFile(folder + "/" + FileName(id), hive);
}

LONG ChangeHive(HiveId id, const std::function<LONG(Hive& hive, bool& changed)>& change) {
    if (id == HiveId::Machine && MachineReadOnly()) {
        return ERROR_ACCESS_DENIED;
    }
    Local& local = TheLocal();
    std::lock_guard<std::mutex> guard(local.lock);
    const std::string& folder = Folder();
    if (folder.empty()) {
        Hive& hive = local.hives[static_cast<int>(id)];
        Hive copy = hive;
        bool changed = false;
        LONG status = change(copy, changed);
        if (status == ERROR_SUCCESS && changed) {
            hive = std::move(copy);
        }
        return status;
    }
    // The file lock orders the writers of every process of the session.
    w32::unique_fd lock(open((folder + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!lock) {
        return ERROR_CANTWRITE;
    }
    w32::LockExclusive(lock);
    std::string path = folder + "/" + FileName(id);
    Hive hive;
    LONG status = ReadFile(path, hive);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    bool changed = false;
    status = change(hive, changed);
    if (status != ERROR_SUCCESS || !changed) {
        return status;
    }
    return WriteFile(path, hive);
}

}  // namespace w32::registry
