// The page object's API as a page script calls it through IDispatch: the
// argument checks with the coercions dispatch applies, the requests sent,
// the answers reaching page functions through the Global Interface Table,
// the queries, and a page that drops the object from inside its callback.
#include <windows.h>

#include <gtest/gtest.h>

#include <signal.h>

#include <cstring>
#include <string>
#include <thread>

#include "../channel/channel_support.h"
#include "../channel/fake_agent.h"
#include "addon_support.h"
#include "support/temp_dir.h"

namespace vexlo::test {
namespace {

using namespace std::chrono_literals;

class PageApiTest : public AddOnTest {
protected:
    void SetUp() override {
        AddOnTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(StartBrowserHelper());
        browser->Navigate();
        page.Attach(Page().Detach());
        ASSERT_TRUE(page);
    }
    void TearDown() override {
        page.Release();
        AddOnTest::TearDown();
    }
    // Answers each scan and print with the given states after the send.
    void AnswerWith(std::vector<FakeReply> replies) {
        agent.SetResponder([replies](const PluginRequest& request) {
            return request.code == kRequestScan || request.code == kRequestPrint ||
                           request.code == kRequestSelectScanner
                       ? replies
                       : std::vector<FakeReply>{};
        });
    }
    HRESULT DoScan(IDispatch* function, VARIANT* jobId = nullptr) {
        return Call(page, u"doScan", {u"key", 7, 1, Arg(function)}, jobId);
    }

    FakeAgent agent;
    fw::CComPtr<IDispatch> page;
};

PluginRequest Only(int32_t code) {
    PluginRequest request = CreateEmptyRequest();
    request.code = code;
    return request;
}

struct ArgumentCase {
    const char* what;
    const char16_t* method;
    std::vector<Arg> args;
    HRESULT expected;
    bool sent;
};

TEST_F(PageApiTest, ArgumentsAreCheckedAfterTheCoercionsOfDispatch) {
    fw::CComPtr<FakePageFunction> function = NewFunction();
    IDispatch* f = function;
    const std::u16string key510(510, u'k');
    const std::u16string key511(511, u'k');
    const std::u16string command2047(2047, u'c');
    const std::u16string command2048(2048, u'c');
    std::vector<ArgumentCase> cases = {
        {"a key of 510", u"doScan", {key510, 1, 1, Arg(f)}, S_OK, true},
        {"a key of 511", u"doScan", {key511, 1, 1, Arg(f)}, E_INVALIDARG, false},
        {"an empty key", u"doScan", {u"", 1, 1, Arg(f)}, E_INVALIDARG, false},
        {"scan type 0", u"doScan", {u"k", 1, 0, Arg(f)}, E_INVALIDARG, false},
        {"scan type 3", u"doScan", {u"k", 1, 3, Arg(f)}, E_INVALIDARG, false},
        {"scan type 2.7 rounds to 3", u"doScan", {u"k", 1, 2.7, Arg(f)}, E_INVALIDARG, false},
        {"scan type \"2\"", u"doScan", {u"k", 1, u"2", Arg(f)}, S_OK, true},
        {"no callback", u"doScan", {u"k", 1, 1}, S_OK, true},
        {"select without callback", u"selectScanner", {2}, DISP_E_BADPARAMCOUNT, false},
        {"select interface 1", u"selectScanner", {1, Arg(f)}, E_INVALIDARG, false},
        {"select TWAIN", u"selectScanner", {3, Arg(f)}, S_OK, true},
        {"a command of 2047", u"doPrint", {u"k", command2047, Arg(f)}, S_OK, true},
        {"a command of 2048", u"doPrint", {u"k", command2048, Arg(f)}, E_INVALIDARG, false},
        {"an empty command", u"doPrint", {u"k", u"", Arg(f)}, S_OK, true},
        {"print with a key of 511", u"doPrint", {key511, u"c", Arg(f)}, E_INVALIDARG, false},
        {"scan mode 0", u"setScanMode", {0}, E_INVALIDARG, false},
        {"scan mode 4", u"setScanMode", {4}, E_INVALIDARG, false},
        {"scan mode \"3\"", u"setScanMode", {u"3"}, S_OK, true},
        {"stop job 0", u"stopScan", {0}, S_OK, false},
        {"selected scanner of interface 1", u"getSelectedScanner", {1}, E_INVALIDARG, false},
    };
    for (const ArgumentCase& test : cases) {
        size_t before = agent.Requests().size();
        VARIANT result;
        ::VariantInit(&result);
        EXPECT_EQ(Call(page, test.method, test.args, &result), test.expected) << test.what;
        EXPECT_EQ(agent.Requests().size(), before + (test.sent ? 1 : 0)) << test.what;
        ::VariantClear(&result);
    }
}

TEST_F(PageApiTest, RequestsCarryTheirFieldsAndZeroEverywhereElse) {
    VARIANT jobId;
    ::VariantInit(&jobId);
    ASSERT_EQ(Call(page, u"doScan", {u"ключ", u"5", 2}, &jobId), S_OK);
    EXPECT_EQ(jobId.vt, VT_I4);
    ASSERT_EQ(Call(page, u"setScanMode", {2}), S_OK);
    EXPECT_TRUE(SUCCEEDED(Call(page, u"stopScan", {77})));
    ASSERT_EQ(Call(page, u"doPrint", {u"k", u"print me"}), S_OK);
    std::vector<PluginRequest> requests = agent.Requests();
    ASSERT_EQ(requests.size(), 4u);

    PluginRequest scan = Only(kRequestScan);
    WriteField(scan.apiKey, u"ключ");
    scan.messageId = 5;
    scan.param = 2;
    scan.jobId = jobId.lVal;
    EXPECT_EQ(0, memcmp(&requests[0], &scan, sizeof(scan)));
    PluginRequest mode = Only(kRequestSetScanMode);
    mode.param = 2;
    EXPECT_EQ(0, memcmp(&requests[1], &mode, sizeof(mode)));
    PluginRequest stop = Only(kRequestStopScan);
    stop.jobId = 77;
    EXPECT_EQ(0, memcmp(&requests[2], &stop, sizeof(stop)));
    PluginRequest print = Only(kRequestPrint);
    WriteField(print.apiKey, u"k");
    WriteField(print.printingRequest, u"print me");
    EXPECT_EQ(0, memcmp(&requests[3], &print, sizeof(print)));
}

TEST_F(PageApiTest, VersionIsAPropertyAndTheObjectNamesItsMembersInAnyCase) {
    VARIANT version;
    ::VariantInit(&version);
    ASSERT_EQ(Call(page, u"version", {}, &version, DISPATCH_PROPERTYGET), S_OK);
    ASSERT_EQ(version.vt, VT_BSTR);
    EXPECT_EQ(fw::CComBSTR(version.bstrVal).ToString(), u"0.0.81");
    ::VariantClear(&version);
    ASSERT_EQ(Call(page, u"VERSION", {}, &version, DISPATCH_PROPERTYGET), S_OK);
    ::VariantClear(&version);
    EXPECT_EQ(Call(page, u"DoScanNow", {}), DISP_E_UNKNOWNNAME);
}

TEST_F(PageApiTest, ScanStatusesReachThePageFunctionAsStatusObjects) {
    AnswerWith(
        {Reply(1, 3, u"{ \"dpi\":\"300\", \"name\": \"Скан\"}", true), Reply(6, 0, u"", true)});
    fw::CComPtr<FakePageFunction> function = NewFunction();
    function->keep = true;
    VARIANT jobId;
    ::VariantInit(&jobId);
    ASSERT_EQ(DoScan(function, &jobId), S_OK);
    ASSERT_EQ(jobId.vt, VT_I4);
    EXPECT_EQ(agent.Requests().back().jobId, jobId.lVal);
    ASSERT_TRUE(PumpUntil([&] { return function->calls.size() == 2; }));
    EXPECT_TRUE(function->calls[0].gotObject);
    EXPECT_EQ(function->calls[0].argCount, 1u);
    EXPECT_EQ(function->calls[0].state, 1);
    EXPECT_EQ(function->calls[0].info, 3);
    EXPECT_EQ(function->calls[0].text, u"{ \"dpi\":\"300\", \"name\": \"Скан\"}");
    EXPECT_EQ(function->calls[1].state, 6);
    EXPECT_EQ(function->calls[1].text, u"");

    // A status object the page kept gives the same values later.
    ASSERT_EQ(function->kept.size(), 2u);
    VARIANT value;
    ::VariantInit(&value);
    ASSERT_EQ(ReadProperty(function->kept[0], u"State", &value), S_OK);
    EXPECT_EQ(value.vt, VT_I4);
    EXPECT_EQ(value.lVal, 1);
    ::VariantClear(&value);
    ASSERT_EQ(ReadProperty(function->kept[0], u"description", &value), S_OK);
    EXPECT_EQ(value.vt, VT_BSTR);
    ::VariantClear(&value);
    EXPECT_NE(ReadProperty(function->kept[0], u"text", &value), S_OK);
}

TEST_F(PageApiTest, ASelectedScannerReachesThePageFunctionAsAString) {
    AnswerWith({Reply(101, 0, u"TWAIN Сканер", true)});
    fw::CComPtr<FakePageFunction> function = NewFunction();
    ASSERT_EQ(Call(page, u"selectScanner", {3, Arg(function)}), S_OK);
    EXPECT_EQ(agent.Requests().back().param, 3);
    ASSERT_TRUE(PumpUntil([&] { return function->calls.size() == 1; }));
    EXPECT_FALSE(function->calls[0].gotObject);
    EXPECT_EQ(function->calls[0].text, u"TWAIN Сканер");
}

TEST_F(PageApiTest, PrintStatesReachTheLatestPrintsFunction) {
    AnswerWith({Reply(1, 0, u"", true), Reply(2, 0, u"", true), Reply(3, 0, u"", true)});
    fw::CComPtr<FakePageFunction> function = NewFunction();
    ASSERT_EQ(Call(page, u"doPrint", {u"key", u"command", Arg(function)}), S_OK);
    ASSERT_TRUE(PumpUntil([&] { return function->calls.size() == 3; }));
    EXPECT_EQ(function->calls[0].state, 1);
    EXPECT_EQ(function->calls[1].state, 2);
    EXPECT_EQ(function->calls[2].state, 3);
}

TEST_F(PageApiTest, TheQueriesGiveTheAgentsAnswerOrTheirDefaults) {
    agent.SetResponder([](const PluginRequest& request) {
        if (request.code == kRequestGetScanMode) {
            return std::vector<FakeReply>{Reply(105, 3)};
        }
        if (request.code == kRequestGetSelectedScanner) {
            return std::vector<FakeReply>{Reply(106, 0, u"Flatbed")};
        }
        return std::vector<FakeReply>{};
    });
    VARIANT result;
    ::VariantInit(&result);
    ASSERT_EQ(Call(page, u"getScanMode", {}, &result), S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 3);
    ::VariantClear(&result);
    ASSERT_EQ(Call(page, u"getSelectedScanner", {2}, &result), S_OK);
    EXPECT_EQ(result.vt, VT_BSTR);
    EXPECT_EQ(fw::CComBSTR(result.bstrVal).ToString(), u"Flatbed");
    ::VariantClear(&result);

    agent.SetResponder({});
    ASSERT_EQ(Call(page, u"getScanMode", {}, &result), S_OK);
    EXPECT_EQ(result.lVal, 0) << "no answer in time";
    ::VariantClear(&result);
    ASSERT_EQ(Call(page, u"getSelectedScanner", {3}, &result), S_OK);
    EXPECT_EQ(fw::CComBSTR(result.bstrVal).ToString(), u"Flatbed") << "the earlier name";
    ::VariantClear(&result);
    ASSERT_EQ(Call(page, u"loadDesktop", {}, &result), S_OK);
    EXPECT_EQ(result.vt, VT_BOOL);
    EXPECT_EQ(result.boolVal, VARIANT_TRUE) << "the agent is running";
}

// The page drops the object (its window property) from inside the callback:
// the object and its channel go once the tick is over, the answers left are
// dropped, and the channel's window is gone.
TEST_F(PageApiTest, APageThatDropsTheObjectInsideItsCallbackEndsTheTickCleanly) {
    AnswerWith({Reply(3, 0, u"", true), Reply(4, 0, u"", true)});
    fw::CComPtr<FakePageFunction> function = NewFunction();
    int channels = ChannelWindows();
    function->action = [&] {
        browser->Window()->DeleteMemberByName(fw::CComBSTR(u"_vexlo_bho"), 0);
    };
    ASSERT_EQ(DoScan(function), S_OK);
    page.Release();
    ASSERT_TRUE(PumpUntil([&] { return ChannelWindows() == channels - 1; }));
    std::this_thread::sleep_for(500ms);
    PumpUntil([] { return false; }, 100ms);
    ASSERT_EQ(function->calls.size(), 1u);
    EXPECT_EQ(function->calls[0].state, 3);
}

TEST_F(PageApiTest, ACallbackThatScansAgainFromInsideItselfWorks) {
    fw::CComPtr<FakePageFunction> first = NewFunction();
    fw::CComPtr<FakePageFunction> second = NewFunction();
    first->action = [&] {
        if (first->calls.back().state == 6) {
            EXPECT_EQ(DoScan(second), S_OK);
        }
    };
    AnswerWith({Reply(6, 0, u"", true)});
    ASSERT_EQ(DoScan(first), S_OK);
    ASSERT_TRUE(PumpUntil([&] { return second->calls.size() == 1; }));
    EXPECT_EQ(first->calls.size(), 1u);
    EXPECT_EQ(agent.Requests().size(), 2u);
}

class PageApiWithoutAgentTest : public AddOnTest {
protected:
    void SetUp() override {
        const char* path = getenv("PATH");
        savedPath = path != nullptr ? path : "";
        setenv("PATH", "/nonexistent", 1);
        AddOnTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(StartBrowserHelper());
        browser->Navigate();
        page.Attach(Page().Detach());
        ASSERT_TRUE(page);
    }
    void TearDown() override {
        page.Release();
        AddOnTest::TearDown();
        setenv("PATH", savedPath.c_str(), 1);
    }
    fw::CComPtr<IDispatch> page;
    std::string savedPath;
};

TEST_F(PageApiWithoutAgentTest, AScanReportsMinusOneInsideTheCallAndTheOthersFail) {
    fw::CComPtr<FakePageFunction> function = NewFunction();
    VARIANT jobId;
    ::VariantInit(&jobId);
    ASSERT_EQ(Call(page, u"doScan", {u"key", 1, 1, Arg(function)}, &jobId), S_OK);
    EXPECT_EQ(jobId.vt, VT_I4);
    EXPECT_NE(jobId.lVal, 0);
    ASSERT_EQ(function->calls.size(), 1u) << "before doScan returned";
    EXPECT_EQ(function->calls[0].state, -1);
    EXPECT_EQ(function->calls[0].info, 0);
    EXPECT_EQ(function->calls[0].text, u"");

    EXPECT_EQ(Call(page, u"selectScanner", {2, Arg(function)}), E_FAIL);
    EXPECT_EQ(Call(page, u"doPrint", {u"key", u"c", Arg(function)}), E_FAIL);
    EXPECT_EQ(Call(page, u"setScanMode", {1}), E_FAIL);
    EXPECT_EQ(Call(page, u"stopScan", {5}), S_OK);
    VARIANT result;
    ::VariantInit(&result);
    ASSERT_EQ(Call(page, u"loadDesktop", {}, &result), S_OK);
    EXPECT_EQ(result.boolVal, VARIANT_FALSE);
    EXPECT_EQ(function->calls.size(), 1u) << "only the scan reports";
}

TEST_F(PageApiWithoutAgentTest, APageThatDropsTheObjectInsideTheMinusOneReportIsSafe) {
    fw::CComPtr<FakePageFunction> function = NewFunction();
    int channels = ChannelWindows();
    function->action = [&] {
        browser->Window()->DeleteMemberByName(fw::CComBSTR(u"_vexlo_bho"), 0);
    };
    IDispatch* raw = page;
    raw->AddRef();
    page.Release();
    VARIANT jobId;
    ::VariantInit(&jobId);
    EXPECT_EQ(Call(raw, u"doScan", {u"key", 1, 1, Arg(function)}, &jobId), S_OK);
    EXPECT_EQ(function->calls.size(), 1u);
    raw->Release();  // the last reference
    EXPECT_EQ(ChannelWindows(), channels - 1);
}

// Against the real agent: loadDesktop starts it by its bare name, and the
// page sets and reads the scan mode through it.
TEST_F(PageApiWithoutAgentTest, LoadDesktopStartsTheAgentAndTheModeGoesThroughIt) {
    TempDir appData;
    const char* savedAppData = getenv("APPDATA");
    std::string restoreAppData = savedAppData != nullptr ? savedAppData : "";
    setenv("APPDATA", appData.native().c_str(), 1);
    setenv("PATH", VEXLO_AGENT_DIR, 1);

    VARIANT result;
    ::VariantInit(&result);
    EXPECT_EQ(Call(page, u"loadDesktop", {}, &result), S_OK);
    EXPECT_EQ(result.boolVal, VARIANT_TRUE);
    HWND agentWindow = ::FindWindowW(kAgentWindowClass, nullptr);
    if (agentWindow != nullptr) {
        ASSERT_EQ(Call(page, u"getScanMode", {}, &result), S_OK);
        EXPECT_EQ(result.lVal, kScanModeAutomatic);
        EXPECT_EQ(Call(page, u"setScanMode", {kScanModeTwain}), S_OK);
        ASSERT_EQ(Call(page, u"getScanMode", {}, &result), S_OK);
        EXPECT_EQ(result.lVal, kScanModeTwain);
    }

    // The agent is this test's to end.
    DWORD pid = 0;
    ::GetWindowThreadProcessId(agentWindow, &pid);
    ::PostMessageW(agentWindow, WM_CLOSE, 0, 0);
    bool gone = PumpUntil([&] { return !::IsWindow(agentWindow); });
    if (!gone && pid != 0) {
        kill(static_cast<pid_t>(pid), SIGKILL);
    }
    EXPECT_TRUE(gone);
    ASSERT_NE(agentWindow, nullptr);
    if (savedAppData != nullptr) {
        setenv("APPDATA", restoreAppData.c_str(), 1);
    } else {
        unsetenv("APPDATA");
    }
}

}  // namespace
}  // namespace vexlo::test
