#include "np_test_support.h"

#include <new>

#include "browser_table.h"
#include "np_runtime.h"

namespace vexlo::test {

namespace {

NPObject* Allocate(NPP, NPClass*) {
    return new (std::nothrow) PageFunction;
}

void Deallocate(NPObject* object) {
    auto* function = static_cast<PageFunction*>(object);
    for (NPObject* kept : function->kept) {
        browser::ReleaseObject(kept);
    }
    delete function;
}

bool InvokeDefault(NPObject* object, const NPVariant* args, uint32_t argCount, NPVariant* result) {
    auto* function = static_cast<PageFunction*>(object);
    PageCall call;
    call.argCount = argCount;
    if (argCount > 0 && args[0].type == NPVariantType_Object) {
        NPObject* status = args[0].value.objectValue;
        call.gotObject = true;
        if (auto state = ReadProperty(status, "State")) {
            call.state = state->value.intValue;
        }
        if (auto info = ReadProperty(status, "Info")) {
            call.info = info->value.intValue;
        }
        if (auto description = ReadProperty(status, "Description")) {
            call.description = VariantString(*description);
            browser::ReleaseVariantValue(&*description);
        }
        if (function->keepStatus) {
            function->kept.push_back(browser::RetainObject(status));
        }
    } else if (argCount > 0 && args[0].type == NPVariantType_String) {
        call.description = VariantString(args[0]);
    }
    function->calls.push_back(call);
    bool answer = function->answer;
    // The action may release this very function: nothing of it after this.
    std::function<void()> action = function->action;
    if (action) {
        action();
    }
    if (answer) {
        // A result the caller has to give back.
        char* text = static_cast<char*>(browser::MemAlloc(3));
        memcpy(text, "ok", 3);
        STRINGN_TO_NPVARIANT(text, 2, *result);
    }
    return answer;
}

}  // namespace

NPClass PageFunction::Class = {NP_CLASS_STRUCT_VERSION,
                               Allocate,
                               Deallocate,
                               nullptr,
                               nullptr,
                               nullptr,
                               InvokeDefault,
                               nullptr,
                               nullptr,
                               nullptr,
                               nullptr,
                               nullptr,
                               nullptr};

PageFunction* PageFunction::Create() {
    return static_cast<PageFunction*>(browser::CreateObject(nullptr, &Class));
}

void PluginTest::SetUp() {
    ASSERT_EQ(NP_GetEntryPoints(&plugin), NPERR_NO_ERROR);
    browserFuncs = browser::MakeBrowserFuncs();
    ASSERT_EQ(NP_Initialize(&browserFuncs), NPERR_NO_ERROR);
}

NPIdentifier Id(const char* name) {
    return browser::GetStringIdentifier(name);
}

std::optional<NPVariant> ReadProperty(NPObject* object, const char* name) {
    NPVariant value;
    if (!browser::HasProperty(nullptr, object, Id(name)) ||
        !browser::GetProperty(nullptr, object, Id(name), &value)) {
        return std::nullopt;
    }
    return value;
}

std::string VariantString(const NPVariant& value) {
    if (value.type != NPVariantType_String) {
        return "<not a string>";
    }
    return std::string(value.value.stringValue.UTF8Characters, value.value.stringValue.UTF8Length);
}

}  // namespace vexlo::test
