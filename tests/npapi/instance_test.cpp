// The instance callbacks: the instance record, the scriptable object made
// at the first window, the values the browser asks for, and streams.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "../channel/channel_support.h"
#include "../channel/fake_agent.h"
#include "np_runtime.h"
#include "np_test_support.h"
#include "plugins/npapi/plugin_instance.h"
#include "plugins/npapi/scriptable.h"

namespace vexlo::test {
namespace {

class InstanceTest : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        window.window = reinterpret_cast<void*>(static_cast<uintptr_t>(0x1234));
        window.width = 10;
        window.height = 10;
        window.type = NPWindowTypeWindow;
    }
    void TearDown() override {
        if (npp.pdata != nullptr) {
            plugin.destroy(&npp, nullptr);
        }
    }
    NPObject* Scriptable() {
        NPObject* object = reinterpret_cast<NPObject*>(0x1);
        EXPECT_EQ(plugin.getvalue(&npp, NPPVpluginScriptableNPObject, &object), NPERR_NO_ERROR);
        return object;
    }

    NPP_t npp = {nullptr, nullptr};
    NPWindow window = {};
};

TEST_F(InstanceTest, NullInstancesAreRefusedByEveryCallback) {
    EXPECT_EQ(plugin.newp(nullptr, nullptr, NP_EMBED, 0, nullptr, nullptr, nullptr),
              NPERR_INVALID_INSTANCE_ERROR);
    EXPECT_EQ(plugin.destroy(nullptr, nullptr), NPERR_INVALID_INSTANCE_ERROR);
    EXPECT_EQ(plugin.setwindow(nullptr, &window), NPERR_INVALID_INSTANCE_ERROR);
    uint16_t type = 0;
    EXPECT_EQ(plugin.newstream(nullptr, nullptr, nullptr, 0, &type), NPERR_INVALID_INSTANCE_ERROR);
    EXPECT_EQ(plugin.destroystream(nullptr, nullptr, NPRES_DONE), NPERR_INVALID_INSTANCE_ERROR);
    EXPECT_EQ(plugin.writeready(nullptr, nullptr), 2);
    EXPECT_EQ(plugin.write(nullptr, nullptr, 0, 0, nullptr), 2);
    void* value = nullptr;
    EXPECT_EQ(plugin.getvalue(nullptr, NPPVpluginNameString, &value), NPERR_INVALID_INSTANCE_ERROR);
}

TEST_F(InstanceTest, NewStoresARecordAndTheObjectComesWithTheFirstWindow) {
    char type[] = "application/agent_vexlo";
    ASSERT_EQ(plugin.newp(type, &npp, NP_EMBED, 0, nullptr, nullptr, nullptr), NPERR_NO_ERROR);
    auto* record = static_cast<PluginInstance*>(npp.pdata);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->npp, &npp);
    EXPECT_FALSE(record->initialised);
    EXPECT_EQ(Scriptable(), nullptr) << "no object before a window";

    size_t objects = browser::LiveObjectCount();
    EXPECT_EQ(plugin.setwindow(&npp, nullptr), NPERR_GENERIC_ERROR);
    EXPECT_EQ(browser::LiveObjectCount(), objects) << "no window, no object";
    EXPECT_FALSE(record->initialised);

    ASSERT_EQ(plugin.setwindow(&npp, &window), NPERR_NO_ERROR);
    EXPECT_TRUE(record->initialised);
    EXPECT_EQ(browser::LiveObjectCount(), objects + 1);
    NPObject* first = Scriptable();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->_class, &ScriptableClass);
    EXPECT_EQ(first->referenceCount, 2u) << "the instance's and the browser's";
    NPObject* second = Scriptable();
    EXPECT_EQ(second, first);
    EXPECT_EQ(first->referenceCount, 3u);

    // Resizes and new windows make no second object.
    window.width = 300;
    window.window = reinterpret_cast<void*>(static_cast<uintptr_t>(0x5678));
    EXPECT_EQ(plugin.setwindow(&npp, &window), NPERR_NO_ERROR);
    EXPECT_EQ(browser::LiveObjectCount(), objects + 1);
    EXPECT_EQ(Scriptable(), first);
    browser::ReleaseObject(first);
    browser::ReleaseObject(first);
    browser::ReleaseObject(first);
}

TEST_F(InstanceTest, SetWindowAndGetValueWithoutARecordFail) {
    EXPECT_EQ(plugin.setwindow(&npp, &window), NPERR_GENERIC_ERROR);
    void* value = nullptr;
    EXPECT_EQ(plugin.getvalue(&npp, NPPVpluginNameString, &value), NPERR_GENERIC_ERROR);
}

TEST_F(InstanceTest, TheNameAndDescriptionAreAgentVexlo) {
    ASSERT_EQ(plugin.newp(nullptr, &npp, NP_EMBED, 0, nullptr, nullptr, nullptr), NPERR_NO_ERROR);
    const char* name = nullptr;
    EXPECT_EQ(plugin.getvalue(&npp, NPPVpluginNameString, &name), NPERR_NO_ERROR);
    EXPECT_STREQ(name, "Agent Vexlo");
    const char* description = nullptr;
    EXPECT_EQ(plugin.getvalue(&npp, NPPVpluginDescriptionString, &description), NPERR_NO_ERROR);
    EXPECT_STREQ(description, "Agent Vexlo");

    NPBool windowed = 7;
    EXPECT_EQ(plugin.getvalue(&npp, NPPVpluginWindowBool, &windowed), NPERR_NO_ERROR);
    EXPECT_EQ(windowed, 7) << "the browser's preset value stands";
    int untouched = 99;
    EXPECT_EQ(plugin.getvalue(&npp, NPPVpluginScriptableIID, &untouched), NPERR_GENERIC_ERROR);
    EXPECT_EQ(plugin.getvalue(&npp, NPPVpluginNeedsXEmbed, &untouched), NPERR_GENERIC_ERROR);
    EXPECT_EQ(untouched, 99);
    EXPECT_EQ(plugin.setvalue(&npp, NPNVjavascriptEnabledBool, nullptr), NPERR_NO_ERROR);
}

TEST_F(InstanceTest, AStreamIsAcceptedAndNotConsumed) {
    ASSERT_EQ(plugin.newp(nullptr, &npp, NP_EMBED, 0, nullptr, nullptr, nullptr), NPERR_NO_ERROR);
    NPStream stream = {};
    stream.url = "data.bin";
    stream.end = 100;
    uint16_t type = 77;
    EXPECT_EQ(plugin.newstream(&npp, nullptr, &stream, 0, &type), NPERR_NO_ERROR);
    EXPECT_EQ(type, 77) << "the stream type is not written";
    EXPECT_EQ(plugin.writeready(&npp, &stream), 0x0FFFFFFF);
    char data[100] = {};
    EXPECT_EQ(plugin.write(&npp, &stream, 0, sizeof(data), data), 0);
    plugin.asfile(&npp, &stream, "/nonexistent");
    EXPECT_EQ(plugin.destroystream(&npp, &stream, NPRES_DONE), NPERR_NO_ERROR);
    EXPECT_EQ(plugin.event(&npp, nullptr), 0);
    plugin.print(&npp, nullptr);
    plugin.urlnotify(&npp, "x", NPRES_DONE, nullptr);
}

TEST_F(InstanceTest, DestroyReleasesTheInstancesReferenceAndTheChannelGoesWithTheLast) {
    ASSERT_EQ(plugin.newp(nullptr, &npp, NP_EMBED, 0, nullptr, nullptr, nullptr), NPERR_NO_ERROR);
    ASSERT_EQ(plugin.setwindow(&npp, &window), NPERR_NO_ERROR);
    NPObject* object = Scriptable();  // the page keeps it
    ASSERT_NE(object, nullptr);
    HWND channel = static_cast<CVexloScriptable*>(object)->Channel()->m_hWnd;
    EXPECT_TRUE(IsWindow(channel));
    size_t objects = browser::LiveObjectCount();

    EXPECT_EQ(plugin.destroy(&npp, nullptr), NPERR_NO_ERROR);
    EXPECT_EQ(object->referenceCount, 1u);
    EXPECT_TRUE(IsWindow(channel)) << "the page's reference keeps the object";
    EXPECT_EQ(plugin.destroy(&npp, nullptr), NPERR_NO_ERROR) << "a second destroy frees nothing";

    browser::ReleaseObject(object);
    EXPECT_EQ(browser::LiveObjectCount(), objects - 1);
    EXPECT_FALSE(IsWindow(channel));
}

// A synchronous teardown from inside a page callback: the browser destroys
// the instance and the page lets go of the object while the channel hands
// out an answer.
TEST_F(InstanceTest, AnInstanceDestroyedInsideAPageCallbackFreesItsChannelAfterTheTick) {
    FakeAgent agent;
    ASSERT_EQ(plugin.newp(nullptr, &npp, NP_EMBED, 0, nullptr, nullptr, nullptr), NPERR_NO_ERROR);
    ASSERT_EQ(plugin.setwindow(&npp, &window), NPERR_NO_ERROR);
    NPObject* object = Scriptable();
    ASSERT_NE(object, nullptr);
    HWND channel = static_cast<CVexloScriptable*>(object)->Channel()->m_hWnd;
    PageFunction* function = PageFunction::Create();
    function->action = [&] {
        plugin.destroy(&npp, nullptr);
        browser::ReleaseObject(object);
    };
    NPVariant args[4];
    STRINGN_TO_NPVARIANT("key", 3, args[0]);
    INT32_TO_NPVARIANT(1, args[1]);
    INT32_TO_NPVARIANT(1, args[2]);
    OBJECT_TO_NPVARIANT(function, args[3]);
    NPVariant result;
    ASSERT_TRUE(browser::Invoke(&npp, object, Id("DoScan"), args, 4, &result));
    agent.SendLater(channel, MakeAnswer(1, 3, u"first"));
    agent.SendLater(channel, MakeAnswer(2, 0, u""));
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(channel); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    PumpUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(function->calls.size(), 1u);
    EXPECT_EQ(npp.pdata, nullptr);
    browser::ReleaseObject(function);
}

}  // namespace
}  // namespace vexlo::test
