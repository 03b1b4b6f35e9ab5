// A program started by a test, owned like any other resource: when the owner
// goes the program is asked to end (SIGTERM, which closes a program's windows
// in order), given a bounded time, then killed, and always reaped. A failed
// assertion between starting a program and waiting for it leaves nothing
// running.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vexlo::test {

class ChildProcess {
public:
    ChildProcess() = default;
    explicit ChildProcess(pid_t pid) : pid_(pid) {}
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() { End(); }

    pid_t pid() const { return pid_; }
    bool running() const { return pid_ > 0; }

    // The exit status (128 + the signal for a killed program) once the program
    // has ended within the bound, calling whileWaiting between looks; -1 when
    // it still runs, and it stays owned.
    int Wait(std::chrono::milliseconds bound, const std::function<void()>& whileWaiting = {});
    // Asks the program to end, waits a bounded time, then kills it; its exit
    // status as Wait gives it.
    int End(std::chrono::milliseconds grace = std::chrono::seconds(3));

private:
    pid_t pid_ = -1;
};

// Starts the program (arguments[0]) with the environment changed as given.
ChildProcess Spawn(const std::vector<std::string>& arguments,
                   const std::map<std::string, std::string>& environment = {});

// Runs pump, then looks at done, until done holds or the bound has passed.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds bound,
               const std::function<void()>& pump);

}  // namespace vexlo::test
