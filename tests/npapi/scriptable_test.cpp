// The scriptable object's names and property, and the page callbacks: status
// objects and scanner names handed to page functions, and the references
// the plug-in takes and gives back on the way.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "../channel/channel_support.h"
#include "../channel/fake_agent.h"
#include "np_runtime.h"
#include "np_test_support.h"
#include "plugins/npapi/scriptable.h"
#include "plugins/npapi/state_object.h"

namespace vexlo::test {
namespace {

class ScriptableTest : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        object = browser::CreateObject(&npp, &ScriptableClass);
        ASSERT_NE(object, nullptr);
    }
    void TearDown() override {
        browser::ReleaseObject(object);
        for (PageFunction* function : functions) {
            browser::ReleaseObject(function);
        }
    }
    PageFunction* NewFunction() {
        functions.push_back(PageFunction::Create());
        return functions.back();
    }
    HWND Channel() { return static_cast<CVexloScriptable*>(object)->Channel()->m_hWnd; }
    bool Invoke(const char* name, std::vector<NPVariant> args, NPVariant* result) {
        return browser::Invoke(&npp, object, Id(name), args.data(),
                               static_cast<uint32_t>(args.size()), result);
    }
    int32_t DoScan(PageFunction* function) {
        NPVariant args[4];
        STRINGN_TO_NPVARIANT("key", 3, args[0]);
        INT32_TO_NPVARIANT(1, args[1]);
        INT32_TO_NPVARIANT(1, args[2]);
        OBJECT_TO_NPVARIANT(function, args[3]);
        NPVariant result;
        EXPECT_TRUE(browser::Invoke(&npp, object, Id("DoScan"), args, 4, &result));
        return result.value.intValue;
    }

    FakeAgent agent;
    NPP_t npp = {nullptr, nullptr};
    NPObject* object = nullptr;
    std::vector<PageFunction*> functions;
};

TEST_F(ScriptableTest, MethodsAndTheVersionPropertyAreFoundInAnyLetterCase) {
    for (const char* name :
         {"SelectScanner", "DoScan", "DoPrint", "SetScanMode", "StopScan", "LoadDesktop",
          "GetScanMode", "GetSelectedScanner", "doscan", "DOSCAN", "getSCANmode"}) {
        EXPECT_TRUE(browser::HasMethod(&npp, object, Id(name))) << name;
        EXPECT_FALSE(browser::HasProperty(&npp, object, Id(name))) << name;
    }
    for (const char* name : {"Version", "version", "VERSION"}) {
        EXPECT_TRUE(browser::HasProperty(&npp, object, Id(name))) << name;
        EXPECT_FALSE(browser::HasMethod(&npp, object, Id(name))) << name;
    }
    EXPECT_FALSE(browser::HasMethod(&npp, object, Id("DoScanNow")));
    EXPECT_FALSE(browser::HasMethod(&npp, object, browser::GetIntIdentifier(1)));
    EXPECT_FALSE(browser::HasProperty(&npp, object, browser::GetIntIdentifier(0)));
}

TEST_F(ScriptableTest, VersionIsReadOnlyAndEverythingElseIsRefused) {
    NPVariant value;
    ASSERT_TRUE(browser::GetProperty(&npp, object, Id("VERSION"), &value));
    EXPECT_EQ(VariantString(value), "0.0.81");
    browser::ReleaseVariantValue(&value);
    EXPECT_FALSE(browser::GetProperty(&npp, object, Id("State"), &value));

    NPVariant assigned;
    INT32_TO_NPVARIANT(1, assigned);
    EXPECT_FALSE(browser::SetProperty(&npp, object, Id("Version"), &assigned));
    EXPECT_FALSE(browser::RemoveProperty(&npp, object, Id("Version")));
    EXPECT_FALSE(browser::InvokeDefault(&npp, object, nullptr, 0, &value));
    EXPECT_FALSE(browser::Construct(&npp, object, nullptr, 0, &value));
    NPIdentifier* names = nullptr;
    uint32_t count = 0;
    EXPECT_FALSE(browser::Enumerate(&npp, object, &names, &count));
    EXPECT_FALSE(Invoke("Print", {}, &value));
}

TEST_F(ScriptableTest, StatusAnswersReachThePageFunctionAsStatusObjects) {
    PageFunction* function = NewFunction();
    function->keepStatus = true;
    int32_t jobId = DoScan(function);
    EXPECT_NE(jobId, -1);
    ASSERT_EQ(agent.Requests().size(), 1u);
    EXPECT_EQ(agent.Requests()[0].jobId, jobId);
    std::u16string imageInfo =
        u"{ \"dpi\":\"300\", \"mode\": \"3\", \"cs\": \"1\", \"name\": \"Скан\"}";
    agent.SendLater(Channel(), MakeAnswer(1, 3, imageInfo.c_str()));
    agent.SendLater(Channel(), MakeAnswer(3, 0, u""));
    ASSERT_TRUE(PumpUntil([&] { return function->calls.size() == 2; }));

    EXPECT_TRUE(function->calls[0].gotObject);
    EXPECT_EQ(function->calls[0].argCount, 1u);
    EXPECT_EQ(function->calls[0].state, 1);
    EXPECT_EQ(function->calls[0].info, 3);
    EXPECT_EQ(function->calls[0].description,
              "{ \"dpi\":\"300\", \"mode\": \"3\", \"cs\": \"1\", \"name\": \"Скан\"}");
    EXPECT_EQ(function->calls[1].state, 3);
    EXPECT_EQ(function->calls[1].info, 0);
    EXPECT_EQ(function->calls[1].description, "");

    // A status object the page kept has the same values later, in any case.
    ASSERT_EQ(function->kept.size(), 2u);
    NPObject* kept = function->kept[0];
    EXPECT_EQ(kept->_class, &StateObjectClass);
    EXPECT_EQ(kept->referenceCount, 1u) << "only the page's reference is left";
    for (const char* name : {"state", "STATE", "State"}) {
        auto value = ReadProperty(kept, name);
        ASSERT_TRUE(value.has_value()) << name;
        EXPECT_EQ(value->type, NPVariantType_Int32);
        EXPECT_EQ(value->value.intValue, 1);
    }
    auto info = ReadProperty(kept, "info");
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->value.intValue, 3);
    auto description = ReadProperty(kept, "DESCRIPTION");
    ASSERT_TRUE(description.has_value());
    EXPECT_EQ(description->type, NPVariantType_String);
    browser::ReleaseVariantValue(&*description);
    NPVariant value;
    EXPECT_FALSE(browser::GetProperty(&npp, kept, Id("Text"), &value));
    EXPECT_FALSE(browser::HasProperty(&npp, kept, Id("Text")));
    EXPECT_FALSE(browser::HasMethod(&npp, kept, Id("State")));
    EXPECT_FALSE(browser::SetProperty(&npp, kept, Id("State"), info ? &*info : nullptr));
    EXPECT_FALSE(browser::InvokeDefault(&npp, kept, nullptr, 0, &value));
}

TEST_F(ScriptableTest, StatusObjectsThePageDoesNotKeepAreDeallocatedAfterTheCall) {
    PageFunction* function = NewFunction();
    DoScan(function);
    size_t objects = browser::LiveObjectCount();
    agent.SendLater(Channel(), MakeAnswer(5, 0, u""));
    ASSERT_TRUE(PumpUntil([&] { return function->calls.size() == 1; }));
    EXPECT_EQ(browser::LiveObjectCount(), objects);
}

TEST_F(ScriptableTest, ASelectedScannerReachesThePageFunctionAsAString) {
    PageFunction* function = NewFunction();
    NPVariant args[2];
    INT32_TO_NPVARIANT(3, args[0]);
    OBJECT_TO_NPVARIANT(function, args[1]);
    NPVariant result;
    ASSERT_TRUE(browser::Invoke(&npp, object, Id("SelectScanner"), args, 2, &result));
    EXPECT_EQ(result.type, NPVariantType_Void);
    agent.SendLater(Channel(), MakeAnswer(101, 0, u"TWAIN Сканер"));
    ASSERT_TRUE(PumpUntil([&] { return function->calls.size() == 1; }));
    EXPECT_FALSE(function->calls[0].gotObject);
    EXPECT_EQ(function->calls[0].description, "TWAIN Сканер");
}

TEST_F(ScriptableTest, APageFunctionThatFailsDoesNotStopTheNextAnswer) {
    PageFunction* function = NewFunction();
    function->answer = false;
    DoScan(function);
    agent.SendLater(Channel(), MakeAnswer(3, 0, u""));
    agent.SendLater(Channel(), MakeAnswer(4, 10, u""));
    ASSERT_TRUE(PumpUntil([&] { return function->calls.size() == 2; }));
    EXPECT_EQ(function->calls[1].info, 10);
}

TEST_F(ScriptableTest, TheCallbackHoldsThePageFunctionUntilItIsReplaced) {
    PageFunction* first = NewFunction();
    uint32_t before = first->referenceCount;
    DoScan(first);
    EXPECT_EQ(first->referenceCount, before + 1);
    PageFunction* second = NewFunction();
    DoScan(second);
    EXPECT_EQ(first->referenceCount, before) << "the replaced callback gave it back";
    EXPECT_EQ(second->referenceCount, before + 1);
}

TEST_F(ScriptableTest, APageFunctionThatStartsANewScanFromInsideItselfReturnsNormally) {
    PageFunction* first = NewFunction();
    PageFunction* second = NewFunction();
    first->action = [&] {
        if (first->calls.back().state == 6) {
            DoScan(second);
        }
    };
    DoScan(first);
    agent.SendLater(Channel(), MakeAnswer(6, 0, u""));
    agent.SendLater(Channel(), MakeAnswer(1, 3, u"next job"));
    ASSERT_TRUE(PumpUntil([&] { return second->calls.size() == 1; }));
    EXPECT_EQ(first->calls.size(), 1u);
    EXPECT_EQ(second->calls[0].description, "next job");
    EXPECT_EQ(agent.Requests().size(), 2u);
}

TEST_F(ScriptableTest, ARefusedScanLeavesTheEarlierCallbackInPlace) {
    PageFunction* first = NewFunction();
    DoScan(first);
    PageFunction* refused = NewFunction();
    NPVariant args[4];
    STRINGN_TO_NPVARIANT("", 0, args[0]);  // an empty key
    INT32_TO_NPVARIANT(1, args[1]);
    INT32_TO_NPVARIANT(1, args[2]);
    OBJECT_TO_NPVARIANT(refused, args[3]);
    NPVariant result;
    ASSERT_TRUE(browser::Invoke(&npp, object, Id("DoScan"), args, 4, &result));
    EXPECT_EQ(result.value.intValue, -1);
    EXPECT_EQ(agent.Requests().size(), 1u);
    agent.SendLater(Channel(), MakeAnswer(2, 0, u""));
    ASSERT_TRUE(PumpUntil([&] { return first->calls.size() == 1; }));
    EXPECT_TRUE(refused->calls.empty());
}

// The page drops the object's last reference from inside its own callback:
// the channel stops handing out, its window goes at once and the channel is
// freed after the tick (the sanitizer builds see any later touch).
TEST_F(ScriptableTest, APageFunctionThatDropsTheLastReferenceEndsTheTickCleanly) {
    PageFunction* function = NewFunction();
    uint32_t before = function->referenceCount;
    HWND channel = Channel();
    function->action = [&] {
        browser::ReleaseObject(object);
        object = nullptr;
    };
    DoScan(function);
    agent.SendLater(channel, MakeAnswer(3, 0, u""));
    agent.SendLater(channel, MakeAnswer(4, 0, u""));
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(channel); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    PumpUntil([] { return false; }, std::chrono::milliseconds(100));
    ASSERT_EQ(function->calls.size(), 1u) << "the answer after the drop was not handed out";
    EXPECT_EQ(function->calls[0].state, 3);
    EXPECT_EQ(function->referenceCount, before) << "the callback gave the function back";
}

TEST_F(ScriptableTest, DeallocationDestroysTheChannelWithItsCallbacksAndQueuedAnswers) {
    PageFunction* function = NewFunction();
    uint32_t before = function->referenceCount;
    DoScan(function);
    HWND channel = Channel();
    Deliver(channel, 3);
    browser::ReleaseObject(object);
    object = nullptr;
    EXPECT_FALSE(IsWindow(channel));
    EXPECT_EQ(function->referenceCount, before);
    // Longer than the channel's timer: an answer still queued would arrive.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    PumpUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_TRUE(function->calls.empty()) << "the queued answer was dropped";
}

}  // namespace
}  // namespace vexlo::test
