// Makes every write of this process beyond a few bytes fail for as long as it
// lives (RLIMIT_FSIZE with SIGXFSZ ignored, so write(2) answers EFBIG): a
// disk that fills up while a page is being written.
#pragma once

#include <signal.h>
#include <sys/resource.h>

namespace vexlo::test {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        previousHandler = signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous);
        rlimit limited = previous;
        limited.rlim_cur = bytes;
        active = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous);
        signal(SIGXFSZ, previousHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool isActive() const { return active; }

private:
    rlimit previous{};
    sighandler_t previousHandler = SIG_DFL;
    bool active = false;
};

}  // namespace vexlo::test
