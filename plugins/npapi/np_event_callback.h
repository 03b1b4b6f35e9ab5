// The NPAPI plug-in's receiver of agent answers: calls the page function it
// was given, with a new status object for a state or with the scanner's name.
#pragma once

#include "plugins/channel/event_callback.h"
#include "plugins/npapi/npapi.h"

namespace vexlo {

class CNpEventCallback : public IVexloEventCallback {
public:
    // Takes one reference to the page function.
    CNpEventCallback(NPObject* pageFunction, NPP instance);
    // Gives the page function's reference back.
    ~CNpEventCallback() override;
    CNpEventCallback(const CNpEventCallback&) = delete;
    CNpEventCallback& operator=(const CNpEventCallback&) = delete;

    void OnState(int32_t state, int32_t info, const char16_t* text) override;
    void OnText(const char16_t* text) override;

private:
    NPObject* function;
    NPP npp;
};

}  // namespace vexlo
