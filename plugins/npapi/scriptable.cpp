#include "plugins/npapi/scriptable.h"

#include <new>

#include "plugins/npapi/conversions.h"
#include "plugins/npapi/np_event_callback.h"

NPClass ScriptableClass = MakeNpClass(vexlo::CVexloScriptable::Allocate);

namespace vexlo {

namespace {

using Method = bool (CVexloScriptable::*)(const NPVariant*, uint32_t, NPVariant*);

// Lower-case names in the order of matching.
constexpr const char16_t* kMethodNames[] = {
    u"selectscanner", u"doscan",      u"doprint",     u"setscanmode",
    u"stopscan",      u"loaddesktop", u"getscanmode", u"getselectedscanner",
};
constexpr const char16_t* kVersionProperty = u"version";

int MethodIndex(const std::u16string& name) {
    for (size_t i = 0; i < std::size(kMethodNames); ++i) {
        if (name == kMethodNames[i]) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool IsKey(const std::u16string& key) {
    return !key.empty() && key.size() < kApiKeyLength;
}

bool IsInterface(int32_t value) {
    return value == kInterfaceWia || value == kInterfaceTwain;
}

bool IsObject(const NPVariant& value) {
    return value.type == NPVariantType_Object && value.value.objectValue != nullptr;
}

}  // namespace

CVexloScriptable::CVexloScriptable(NPP instance)
    : npp(instance), processMessage(CProcessMessage::Open()) {}

NPObject* CVexloScriptable::Allocate(NPP npp, NPClass*) {
    try {
        return new CVexloScriptable(npp);
    } catch (...) {
        return nullptr;
    }
}

void CVexloScriptable::Deallocate() {
    // The channel's window goes now, and with it the callbacks and queued
    // answers; inside one of the channel's own ticks the channel itself is
    // freed once that tick is over.
    processMessage.reset();
}

bool CVexloScriptable::HasMethod(NPIdentifier name) {
    return MethodIndex(GetIdentifierName(name)) >= 0;
}

bool CVexloScriptable::HasProperty(NPIdentifier name) {
    return GetIdentifierName(name) == kVersionProperty;
}

bool CVexloScriptable::GetProperty(NPIdentifier name, NPVariant* result) {
    if (GetIdentifierName(name) != kVersionProperty) {
        return false;
    }
    *result = StringToNpVariant(kPageApiVersion);
    return true;
}

bool CVexloScriptable::Invoke(NPIdentifier name, const NPVariant* args, uint32_t argCount,
                              NPVariant* result) {
    static constexpr Method kMethods[] = {
        &CVexloScriptable::SelectScanner, &CVexloScriptable::DoScan,
        &CVexloScriptable::DoPrint,       &CVexloScriptable::SetScanMode,
        &CVexloScriptable::StopScan,      &CVexloScriptable::LoadDesktop,
        &CVexloScriptable::GetScanMode,   &CVexloScriptable::GetSelectedScanner,
    };
    int index = MethodIndex(GetIdentifierName(name));
    if (index < 0 || !processMessage) {
        return false;
    }
    return (this->*kMethods[index])(args, argCount, result);
}

bool CVexloScriptable::SelectScanner(const NPVariant* args, uint32_t argCount, NPVariant* result) {
    VOID_TO_NPVARIANT(*result);
    // A refused selection raises no error.
    if (argCount != 2 || !IsInterface(NpVariantToInt(args[0])) || !IsObject(args[1])) {
        return true;
    }
    PluginRequest request = CreateEmptyRequest();
    request.code = kRequestSelectScanner;
    request.param = NpVariantToInt(args[0]);
    processMessage->SendSelectScannerRequest(&request,
                                             new CNpEventCallback(args[1].value.objectValue, npp));
    return true;
}

bool CVexloScriptable::DoScan(const NPVariant* args, uint32_t argCount, NPVariant* result) {
    // A refused scan answers -1 rather than an error.
    INT32_TO_NPVARIANT(-1, *result);
    if (argCount != 4) {
        return true;
    }
    std::u16string key = NpVariantToString(args[0]);
    int32_t messageId = NpVariantToInt(args[1]);
    int32_t scanType = NpVariantToInt(args[2]);
    if (!IsKey(key) || messageId < 0 ||
        (scanType != kScanTypeGrey && scanType != kScanTypeColour) || !IsObject(args[3])) {
        return true;
    }
    PluginRequest request = CreateEmptyRequest();
    request.code = kRequestScan;
    WriteField(request.apiKey, key);
    request.messageId = messageId;
    request.param = scanType;
    // The channel stamps the job id, and reports -1 to the new callback at
    // once when the agent cannot be reached.
    if (SUCCEEDED(processMessage->SendScanRequest(
            &request, new CNpEventCallback(args[3].value.objectValue, npp)))) {
        INT32_TO_NPVARIANT(request.jobId, *result);
    }
    return true;
}

bool CVexloScriptable::DoPrint(const NPVariant* args, uint32_t argCount, NPVariant* result) {
    if (argCount != 3) {
        return false;
    }
    std::u16string key = NpVariantToString(args[0]);
    std::u16string command = NpVariantToString(args[1]);
    if (!IsKey(key) || command.empty() || command.size() >= kPrintingRequestLength ||
        !IsObject(args[2])) {
        return false;
    }
    PluginRequest request = CreateEmptyRequest();
    request.code = kRequestPrint;
    WriteField(request.apiKey, key);
    WriteField(request.printingRequest, command);
    processMessage->SendPrintRequest(&request,
                                     new CNpEventCallback(args[2].value.objectValue, npp));
    VOID_TO_NPVARIANT(*result);
    return true;
}

bool CVexloScriptable::SetScanMode(const NPVariant* args, uint32_t argCount, NPVariant* result) {
    if (argCount != 1) {
        return false;
    }
    int32_t mode = NpVariantToInt(args[0]);
    if (mode < kScanModeAutomatic || mode > kScanModeTwain) {
        return false;
    }
    PluginRequest request = CreateEmptyRequest();
    request.code = kRequestSetScanMode;
    request.param = mode;
    processMessage->SendRequest(&request);
    VOID_TO_NPVARIANT(*result);
    return true;
}

bool CVexloScriptable::StopScan(const NPVariant* args, uint32_t argCount, NPVariant* result) {
    if (argCount != 1) {
        return false;
    }
    int32_t jobId = NpVariantToInt(args[0]);
    if (jobId <= 0) {
        return false;
    }
    PluginRequest request = CreateEmptyRequest();
    request.code = kRequestStopScan;
    request.jobId = jobId;
    if (FAILED(processMessage->SendRequest(&request))) {
        return false;
    }
    VOID_TO_NPVARIANT(*result);
    return true;
}

bool CVexloScriptable::LoadDesktop(const NPVariant*, uint32_t, NPVariant* result) {
    BOOLEAN_TO_NPVARIANT(SUCCEEDED(CProcessMessage::LoadDesktop()), *result);
    return true;
}

bool CVexloScriptable::GetScanMode(const NPVariant*, uint32_t, NPVariant* result) {
    int32_t mode = 0;
    if (processMessage->GetScanMode(&mode) != S_OK) {
        return false;
    }
    INT32_TO_NPVARIANT(mode, *result);
    return true;
}

bool CVexloScriptable::GetSelectedScanner(const NPVariant* args, uint32_t argCount,
                                          NPVariant* result) {
    if (argCount != 1) {
        return false;
    }
    int32_t scannerInterface = NpVariantToInt(args[0]);
    if (!IsInterface(scannerInterface)) {
        return false;
    }
    std::u16string name;
    processMessage->GetSelectedScanner(scannerInterface, &name);
    *result = StringToNpVariant(name);
    return true;
}

}  // namespace vexlo
