// The plug-in under test with a real browser function table (the browser
// host's), and a page function as an NPObject that records its calls.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "plugins/npapi/entry_points.h"
#include "plugins/npapi/npapi.h"

namespace vexlo::test {

// What a page function saw in one call.
struct PageCall {
    bool gotObject = false;
    int32_t state = 0;
    int32_t info = 0;
    std::string description;  // the status object's, or the string argument
    uint32_t argCount = 0;
};

// A page function: records every call; can keep the status objects it gets,
// answer false, or run an action inside the call.
struct PageFunction : NPObject {
    std::vector<PageCall> calls;
    std::vector<NPObject*> kept;
    bool keepStatus = false;
    bool answer = true;
    std::function<void()> action;

    static NPClass Class;
    // A new page function with one reference for the caller.
    static PageFunction* Create();
};

// Loads the plug-in's tables into the test: NP_GetEntryPoints, then
// NP_Initialize with the browser host's function table.
class PluginTest : public ::testing::Test {
protected:
    void SetUp() override;

    NPPluginFuncs plugin = {};
    NPNetscapeFuncs browserFuncs = {};
};

// A property of an object as the browser reads it.
std::optional<NPVariant> ReadProperty(NPObject* object, const char* name);
std::string VariantString(const NPVariant& value);
NPIdentifier Id(const char* name);

}  // namespace vexlo::test
