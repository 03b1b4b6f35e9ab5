// The receiver of the agent's answers that a plug-in hands to its channel.
#pragma once

#include <cstdint>

namespace vexlo {

class IVexloEventCallback {
public:
    // Every answer that is not a reply (101, 105, 106), and the channel's own
    // report -1 when a scan cannot reach the agent. The text lives only
    // during the call.
    virtual void OnState(int32_t state, int32_t info, const char16_t* text) = 0;
    // Answer 101: the name of the scanner that the user selected.
    virtual void OnText(const char16_t* text) = 0;

    // The channel owns its callbacks and deletes them through this interface.
    virtual ~IVexloEventCallback() = default;
};

}  // namespace vexlo
