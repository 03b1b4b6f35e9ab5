// The object a page scripts: one per plug-in instance, with the methods
// SelectScanner, DoScan, DoPrint, SetScanMode, StopScan, LoadDesktop,
// GetScanMode, GetSelectedScanner and the property Version, names matched
// without regard to case. Each object owns its agent channel.
#pragma once

#include <memory>
#include <string>

#include "plugins/channel/process_message.h"
#include "plugins/npapi/base_np_object.h"

namespace vexlo {

class CVexloScriptable : public CBaseNpObject {
public:
    // Creates the channel and its message-only window.
    explicit CVexloScriptable(NPP instance);

    static NPObject* Allocate(NPP npp, NPClass* aClass);

    bool HasMethod(NPIdentifier name) override;
    bool HasProperty(NPIdentifier name) override;
    bool GetProperty(NPIdentifier name, NPVariant* result) override;
    bool Invoke(NPIdentifier name, const NPVariant* args, uint32_t argCount,
                NPVariant* result) override;
    void Deallocate() override;

    CProcessMessage* Channel() const { return processMessage.get(); }

private:
    bool SelectScanner(const NPVariant* args, uint32_t argCount, NPVariant* result);
    bool DoScan(const NPVariant* args, uint32_t argCount, NPVariant* result);
    bool DoPrint(const NPVariant* args, uint32_t argCount, NPVariant* result);
    bool SetScanMode(const NPVariant* args, uint32_t argCount, NPVariant* result);
    bool StopScan(const NPVariant* args, uint32_t argCount, NPVariant* result);
    bool LoadDesktop(const NPVariant* args, uint32_t argCount, NPVariant* result);
    bool GetScanMode(const NPVariant* args, uint32_t argCount, NPVariant* result);
    bool GetSelectedScanner(const NPVariant* args, uint32_t argCount, NPVariant* result);

    NPP npp;
    ChannelPtr processMessage;
};

// The version the page API gives.
inline constexpr const char16_t* kPageApiVersion = u"0.0.81";

}  // namespace vexlo

extern NPClass ScriptableClass;
