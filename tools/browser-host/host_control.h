// What a page's scripts ask of the browser host around them, in either of
// the host's modes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace browser {

// What the scripts ask of the host around them.
class HostControl {
public:
    virtual void Print(const std::string& line, bool error) = 0;
    virtual void Done(int exitCode) = 0;
    // An error no script caught; the run ends.
    virtual void ScriptFailed(const std::string& message) = 0;
    virtual void StartTimer(uint32_t id, uint32_t milliseconds) = 0;
    virtual void StopTimer(uint32_t id) = 0;
    virtual HWND PageWindow() = 0;
    // The plug-in's status line.
    virtual void Status(const std::string& message) = 0;

protected:
    ~HostControl() = default;
};

}  // namespace browser
