#include "session/session.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

namespace w32::session {
namespace {

constexpr uint32_t kMagic = 0x57333253;  // "W32S"
constexpr uint32_t kVersion = 1;
constexpr uint32_t kFirstHandle = 0x10000;

struct Atom {
    uint32_t used;
    char16_t name[kAtomChars];
};

struct Header {
    uint32_t magic;
    uint32_t version;
    uint32_t nextHandle;
    uint32_t reserved;
    uint64_t nextInstance;
    uint32_t atomCount;
    uint32_t padding[9];
};

struct Table {
    Header header;
    SharedWindow windows[kMaxWindows];
    Atom atoms[kAtomCount];
};

struct State {
    std::string dir;
    int dirFd = -1;
    int tableFd = -1;
    Table* table = nullptr;
    uint64_t instance = 0;
    int lockFd = -1;
};

std::mutex gTableMutex;  // serialises the threads of this process; flock the processes

std::string ChooseDirectory() {
    if (const char* s = getenv("W32_SESSION"); s && *s)
        return s;
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    std::string base = (runtime && *runtime) ? runtime : "/tmp";
    return base + "/w32-session-" + std::to_string(getuid());
}

// The folder must be ours and closed to everybody else.
bool UsableDirectory(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    return st.st_uid == getuid() && (st.st_mode & 077) == 0;
}

uint64_t TakeInstance(Table* table, int tableFd) {
    std::lock_guard<std::mutex> guard(gTableMutex);
    flock(tableFd, LOCK_EX);
    uint64_t id = ++table->header.nextInstance;
    flock(tableFd, LOCK_UN);
    return id;
}

State* Open() {
    auto* s = new State;
    s->dir = ChooseDirectory();
    if (mkdir(s->dir.c_str(), 0700) != 0 && errno != EEXIST)
        return s;
    int dfd = open(s->dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (dfd < 0)
        return s;
    if (!UsableDirectory(dfd)) {
        close(dfd);
        return s;
    }
    int tfd = openat(dfd, "windows.table", O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (tfd < 0) {
        close(dfd);
        return s;
    }
    flock(tfd, LOCK_EX);
    struct stat st {};
    fstat(tfd, &st);
    bool fresh = st.st_size < static_cast<off_t>(sizeof(Table));
    if (fresh && ftruncate(tfd, sizeof(Table)) != 0) {
        flock(tfd, LOCK_UN);
        close(tfd);
        close(dfd);
        return s;
    }
    void* map = mmap(nullptr, sizeof(Table), PROT_READ | PROT_WRITE, MAP_SHARED, tfd, 0);
    if (map == MAP_FAILED) {
        flock(tfd, LOCK_UN);
        close(tfd);
        close(dfd);
        return s;
    }
    auto* table = static_cast<Table*>(map);
    if (table->header.magic != kMagic || table->header.version != kVersion) {
        std::memset(&table->header, 0, sizeof(Header));
        table->header.magic = kMagic;
        table->header.version = kVersion;
        table->header.nextHandle = kFirstHandle;
    }
    flock(tfd, LOCK_UN);
    s->dirFd = dfd;
    s->tableFd = tfd;
    s->table = table;
    s->instance = TakeInstance(table, tfd);
    std::string lockName = "p" + std::to_string(s->instance) + ".lock";
    s->lockFd = openat(dfd, lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (s->lockFd >= 0)
        flock(s->lockFd, LOCK_EX);
    return s;
}

State& Get() {
    static State* state = Open();  // lives for the process (other statics use it at exit)
    return *state;
}

}  // namespace

const std::string& Directory() {
    static const std::string empty;
    return Get().table ? Get().dir : empty;
}

int DirectoryFd() {
    return Get().table ? Get().dirFd : -1;
}

std::string SocketPath(uint64_t instance, uint32_t tid) {
    return "/proc/self/fd/" + std::to_string(DirectoryFd()) + "/t" + std::to_string(instance) +
           "-" + std::to_string(tid) + ".sock";
}

uint64_t ProcessInstance() {
    return Get().instance;
}

bool IsInstanceAlive(uint64_t instance) {
    if (instance == 0)
        return false;
    if (instance == Get().instance)
        return true;
    static std::mutex deadMutex;
    static std::set<uint64_t> dead;
    {
        std::lock_guard<std::mutex> guard(deadMutex);
        if (dead.count(instance))
            return false;
    }
    int dfd = DirectoryFd();
    if (dfd < 0)
        return false;
    std::string name = "p" + std::to_string(instance) + ".lock";
    int fd = openat(dfd, name.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    bool alive = false;
    if (fd >= 0) {
        if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
            alive = true;
        } else {
            unlinkat(dfd, name.c_str(), 0);
        }
        close(fd);
    }
    if (!alive) {
        std::lock_guard<std::mutex> guard(deadMutex);
        dead.insert(instance);
    }
    return alive;
}

TableLock::TableLock() : ok_(Get().table != nullptr) {
    gTableMutex.lock();
    if (ok_)
        flock(Get().tableFd, LOCK_EX);
}

TableLock::~TableLock() {
    if (ok_)
        flock(Get().tableFd, LOCK_UN);
    gTableMutex.unlock();
}

SharedWindow* Windows() {
    return Get().table ? Get().table->windows : nullptr;
}

uint32_t ReserveHandleBlock(uint32_t count) {
    TableLock lock;
    if (!lock.ok())
        return 0;
    Header& h = Get().table->header;
    if (h.nextHandle < kFirstHandle)
        h.nextHandle = kFirstHandle;
    uint64_t end = uint64_t{h.nextHandle} + uint64_t{count} * 4;
    if (end > 0xFFFFFF00ull)
        return 0;  // the 32-bit space is used up
    uint32_t first = h.nextHandle;
    h.nextHandle = static_cast<uint32_t>(end);
    return first;
}

namespace {
char16_t Fold(char16_t c) {
    if (c >= u'a' && c <= u'z')
        return static_cast<char16_t>(c - 32);
    if (c >= 0x430 && c <= 0x44F)
        return static_cast<char16_t>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F)
        return static_cast<char16_t>(c - 0x50);
    return c;
}
}  // namespace

bool EqualNoCase(const char16_t* a, const char16_t* b) {
    for (;; ++a, ++b) {
        if (Fold(*a) != Fold(*b))
            return false;
        if (*a == 0)
            return true;
    }
}

void CopyText(char16_t* dest, uint32_t capacity, const std::u16string& text) {
    size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
    std::memcpy(dest, text.data(), n * sizeof(char16_t));
    std::memset(dest + n, 0, (capacity - n) * sizeof(char16_t));
}

uint32_t RegisterAtom(const std::u16string& name) {
    if (name.empty() || name.size() >= kAtomChars)
        return 0;
    TableLock lock;
    if (!lock.ok())
        return 0;
    Table* t = Get().table;
    uint32_t count = t->header.atomCount;
    if (count > kAtomCount)
        count = kAtomCount;
    for (uint32_t i = 0; i < count; ++i) {
        if (t->atoms[i].used && EqualNoCase(t->atoms[i].name, name.c_str()))
            return kAtomFirst + i;
    }
    if (count == kAtomCount)
        return 0;
    t->atoms[count].used = 1;
    CopyText(t->atoms[count].name, kAtomChars, name);
    t->header.atomCount = count + 1;
    return kAtomFirst + count;
}

}  // namespace w32::session
