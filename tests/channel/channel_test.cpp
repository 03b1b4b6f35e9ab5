// The agent channel: its answer queue and timer, the requests it sends and
// the callbacks it replaces, the two synchronous queries, and what happens
// when the agent cannot be reached or started.
#include <windows.h>

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "channel_support.h"
#include "fake_agent.h"
#include "plugins/channel/process_message.h"
#include "support/temp_dir.h"

namespace vexlo::test {
namespace {

using namespace std::chrono_literals;

// A channel with its message-only window, as a page object makes it.
class ChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        channel = CProcessMessage::Open();
        ASSERT_TRUE(IsWindow(channel->m_hWnd));
        window = channel->m_hWnd;
    }
    void TearDown() override {
        if (channel && channel->m_hWnd != nullptr) {
            channel->DestroyWindow();
        }
        channel.reset();
    }

    RecordingCallback* Callback(int tag, bool* deleted = nullptr,
                                RecordingCallback::Action action = {}) {
        return new RecordingCallback(&events, tag, deleted, std::move(action));
    }
    bool WaitForEvents(size_t count) {
        return PumpUntil([&] { return events.size() >= count; });
    }
    // Waits until the channel's timer is due and hands out one tick.
    bool DispatchOneTick() {
        auto end = std::chrono::steady_clock::now() + 5s;
        MSG msg;
        while (std::chrono::steady_clock::now() < end) {
            if (PeekMessageW(&msg, window, WM_TIMER, WM_TIMER, PM_REMOVE)) {
                DispatchMessageW(&msg);
                return true;
            }
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }

    ChannelPtr channel;
    HWND window = nullptr;
    std::vector<Event> events;
};

// The same with an agent that answers as each test says (by default not at all).
class ChannelWithAgentTest : public ChannelTest {
protected:
    FakeAgent agent;
};

PluginRequest Request(int32_t code, int32_t param = 0) {
    PluginRequest request = CreateEmptyRequest();
    request.code = code;
    request.param = param;
    return request;
}

// The request as it should arrive: the given fields, every other byte zero.
void ExpectOnlyFields(const PluginRequest& actual, const PluginRequest& expected) {
    EXPECT_EQ(0, memcmp(&actual, &expected, sizeof(PluginRequest)));
}

TEST_F(ChannelTest, TheWindowIsAMessageOnlyWindowWithTheOverlappedStyle) {
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)) & WS_OVERLAPPEDWINDOW,
              static_cast<DWORD>(WS_OVERLAPPEDWINDOW));
    EXPECT_EQ(GetWindowLongPtrW(window, GWL_EXSTYLE), 0);
    EXPECT_EQ(CProcessMessage::FindDesktopWindow(), nullptr) << "no agent in this session";
    EXPECT_EQ(channel->TimerId(), 0u);
    EXPECT_EQ(channel->QueuedAnswers(), 0u);
    EXPECT_EQ(channel->LastSelectedScanner(), u"");
}

TEST_F(ChannelWithAgentTest, TheFirstAnswerStartsTimer101AndASecondOneStartsNoOther) {
    PluginRequest request = Request(kRequestPrint);
    EXPECT_EQ(channel->SendPrintRequest(&request, Callback(1)), S_OK);
    EXPECT_EQ(channel->TimerId(), 0u) << "idle until the first answer";

    Deliver(window, 1);
    EXPECT_EQ(channel->TimerId(), CProcessMessage::kAnswerTimerId);
    EXPECT_EQ(channel->QueuedAnswers(), 1u);
    EXPECT_TRUE(events.empty()) << "nothing is handed out while the answer arrives";
    Deliver(window, 2);
    EXPECT_EQ(channel->TimerId(), CProcessMessage::kAnswerTimerId);
    EXPECT_EQ(channel->QueuedAnswers(), 2u);

    MSG tick;
    auto end = std::chrono::steady_clock::now() + 5s;
    while (!PeekMessageW(&tick, window, WM_TIMER, WM_TIMER, PM_NOREMOVE) &&
           std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(tick.message, static_cast<UINT>(WM_TIMER));
    EXPECT_EQ(tick.wParam, CProcessMessage::kAnswerTimerId);
    ASSERT_TRUE(DispatchOneTick());
    EXPECT_EQ(events, (std::vector<Event>{StateEvent(1, 1), StateEvent(1, 2)}));
    EXPECT_EQ(channel->QueuedAnswers(), 0u);

    // The timer keeps running with nothing queued.
    ASSERT_TRUE(DispatchOneTick());
    EXPECT_EQ(channel->TimerId(), CProcessMessage::kAnswerTimerId);
    EXPECT_EQ(events.size(), 2u);
}

TEST_F(ChannelWithAgentTest, ThreeQueuedAnswersAreHandedOutInOneTickInArrivalOrder) {
    PluginRequest scan = Request(kRequestScan, 1);
    channel->SendScanRequest(&scan, Callback(1));
    PluginRequest select = Request(kRequestSelectScanner, 2);
    channel->SendSelectScannerRequest(&select, Callback(2));

    Deliver(window, 1, 3, u"{ \"dpi\":\"300\"}");
    Deliver(window, 101, 0, u"Flatbed");
    Deliver(window, 2);
    ASSERT_TRUE(DispatchOneTick());
    EXPECT_EQ(events, (std::vector<Event>{StateEvent(1, 1, 3, u"{ \"dpi\":\"300\"}"),
                                          TextEvent(2, u"Flatbed"), StateEvent(1, 2)}));
}

TEST_F(ChannelWithAgentTest, AnswersWithoutTheirCallbackAreDroppedAndTheQueueGoesOn) {
    Deliver(window, 101, 0, u"nobody asked");
    Deliver(window, 3);
    ASSERT_TRUE(DispatchOneTick());
    EXPECT_EQ(channel->QueuedAnswers(), 0u);

    PluginRequest print = Request(kRequestPrint);
    channel->SendPrintRequest(&print, Callback(1));
    Deliver(window, 101, 0, u"still nobody");
    Deliver(window, -5);
    ASSERT_TRUE(DispatchOneTick());
    EXPECT_EQ(events, (std::vector<Event>{StateEvent(1, -5)}));
}

TEST_F(ChannelTest, ShortOrMissingCopyDataQueuesNothing) {
    AgentAnswer answer = MakeAnswer(3, 0, nullptr);
    COPYDATASTRUCT shortData{0, static_cast<DWORD>(sizeof(answer) - 1), &answer};
    SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&shortData));
    COPYDATASTRUCT noData{0, static_cast<DWORD>(sizeof(answer)), nullptr};
    SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&noData));
    SendMessageW(window, WM_COPYDATA, 0, 0);
    EXPECT_EQ(channel->QueuedAnswers(), 0u);
    EXPECT_EQ(channel->TimerId(), 0u);

    // A longer record is read for its first 4104 bytes.
    std::vector<uint8_t> longer(sizeof(answer) + 16, 0xAB);
    memcpy(longer.data(), &answer, sizeof(answer));
    COPYDATASTRUCT longData{0, static_cast<DWORD>(longer.size()), longer.data()};
    SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&longData));
    EXPECT_EQ(channel->QueuedAnswers(), 1u);
}

TEST_F(ChannelWithAgentTest, ATextThatFillsTheWholeFieldReachesTheCallbackTerminated) {
    PluginRequest print = Request(kRequestPrint);
    channel->SendPrintRequest(&print, Callback(1));
    AgentAnswer answer = MakeAnswer(-6, 0, nullptr);
    std::fill(std::begin(answer.text), std::end(answer.text), u'x');
    COPYDATASTRUCT data{0, static_cast<DWORD>(sizeof(answer)), &answer};
    SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
    ASSERT_TRUE(DispatchOneTick());
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].text, std::u16string(kAnswerTextLength - 1, u'x'));
}

TEST_F(ChannelWithAgentTest, RepliesHandedOutOutsideAQueryOnlyUpdateTheLastValues) {
    PluginRequest print = Request(kRequestPrint);
    channel->SendPrintRequest(&print, Callback(1));
    Deliver(window, 105, 3);
    Deliver(window, 106, 0, u"Scanner One");
    ASSERT_TRUE(DispatchOneTick());
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(channel->LastScanMode(), 3);
    EXPECT_EQ(channel->LastSelectedScanner(), u"Scanner One");
}

TEST_F(ChannelWithAgentTest,
       DestroyingTheWindowDeletesTheCallbacksKillsTheTimerAndDropsQueuedAnswers) {
    bool statusDeleted = false;
    bool selectDeleted = false;
    PluginRequest print = Request(kRequestPrint);
    channel->SendPrintRequest(&print, Callback(1, &statusDeleted));
    PluginRequest select = Request(kRequestSelectScanner, 3);
    channel->SendSelectScannerRequest(&select, Callback(2, &selectDeleted));
    Deliver(window, 1);
    Deliver(window, 101, 0, u"name");
    ASSERT_EQ(channel->TimerId(), CProcessMessage::kAnswerTimerId);

    ASSERT_TRUE(channel->DestroyWindow());
    EXPECT_TRUE(statusDeleted);
    EXPECT_TRUE(selectDeleted);
    EXPECT_EQ(channel->TimerId(), 0u);
    EXPECT_EQ(channel->QueuedAnswers(), 2u) << "left for the destructor, unhandled";
    EXPECT_FALSE(IsWindow(window));
    channel.reset();
    EXPECT_TRUE(events.empty());
}

TEST_F(ChannelTest, AChannelWhoseWindowNeverWentFreesItsCallbacks) {
    bool deleted = false;
    ChannelPtr bare = CProcessMessage::OpenWithoutWindow();
    PluginRequest print = Request(kRequestPrint);
    bare->SendPrintRequest(&print, Callback(1, &deleted));
    bare.reset();
    EXPECT_TRUE(deleted);
}

TEST(ChannelJobId, IsTheTimeInSecondsPlusTheMilliseconds) {
    auto before = static_cast<uint32_t>(std::time(nullptr));
    auto id = static_cast<uint32_t>(CProcessMessage::MakeJobId());
    auto after = static_cast<uint32_t>(std::time(nullptr));
    EXPECT_GE(id, before);
    EXPECT_LE(id, after + 999);
}

TEST_F(ChannelWithAgentTest, AScanRequestCarriesItsFieldsAndANewJobId) {
    PluginRequest scan = CreateEmptyRequest();
    scan.code = kRequestScan;
    WriteField(scan.apiKey, u"key-\u043A\u043B\u044E\u0447");
    scan.messageId = 7;
    scan.param = kScanTypeColour;
    auto before = static_cast<uint32_t>(std::time(nullptr));
    EXPECT_EQ(channel->SendScanRequest(&scan, Callback(1)), S_OK);
    auto after = static_cast<uint32_t>(std::time(nullptr));
    EXPECT_GE(static_cast<uint32_t>(scan.jobId), before);
    EXPECT_LE(static_cast<uint32_t>(scan.jobId), after + 999);

    std::vector<PluginRequest> requests = agent.Requests();
    ASSERT_EQ(requests.size(), 1u);
    ExpectOnlyFields(requests[0], scan);
    EXPECT_TRUE(events.empty()) << "the agent was reached: no -1";
}

TEST_F(ChannelWithAgentTest, AnswersGoBackToTheWindowThatSentTheRequest) {
    agent.SetResponder([](const PluginRequest&) {
        return std::vector<FakeReply>{Reply(-3), Reply(1, 3, u"later", true)};
    });
    PluginRequest scan = Request(kRequestScan, 1);
    channel->SendScanRequest(&scan, Callback(1));
    EXPECT_GE(channel->QueuedAnswers(), 1u) << "the busy answer came during the send";
    ASSERT_TRUE(WaitForEvents(2));
    EXPECT_EQ(events, (std::vector<Event>{StateEvent(1, -3), StateEvent(1, 1, 3, u"later")}));
}

TEST_F(ChannelWithAgentTest, ANewScanRequestDeletesThePreviousStatusCallback) {
    bool firstDeleted = false;
    PluginRequest scan = Request(kRequestScan, 1);
    channel->SendScanRequest(&scan, Callback(1, &firstDeleted));
    HWND client = window;
    agent.SendLater(client, MakeAnswer(1, 3, u""));
    ASSERT_TRUE(WaitForEvents(1));

    PluginRequest second = Request(kRequestScan, 2);
    channel->SendScanRequest(&second, Callback(2));
    EXPECT_TRUE(firstDeleted);
    // The earlier job's answers now reach the new callback.
    agent.SendLater(client, MakeAnswer(3, 0, u""));
    ASSERT_TRUE(WaitForEvents(2));
    EXPECT_EQ(events[1], StateEvent(2, 3));
}

TEST_F(ChannelWithAgentTest, SelectAndPrintRequestsReplaceOnlyTheirOwnCallbacks) {
    bool selectDeleted = false;
    bool statusDeleted = false;
    PluginRequest select = Request(kRequestSelectScanner, 2);
    EXPECT_EQ(channel->SendSelectScannerRequest(&select, Callback(1, &selectDeleted)), S_OK);
    PluginRequest print = Request(kRequestPrint);
    EXPECT_EQ(channel->SendPrintRequest(&print, Callback(2, &statusDeleted)), S_OK);
    EXPECT_FALSE(selectDeleted);

    PluginRequest printAgain = Request(kRequestPrint);
    channel->SendPrintRequest(&printAgain, Callback(3));
    EXPECT_TRUE(statusDeleted);
    EXPECT_FALSE(selectDeleted);
    Deliver(window, 101, 0, u"Chosen");
    Deliver(window, 2);
    ASSERT_TRUE(DispatchOneTick());
    EXPECT_EQ(events, (std::vector<Event>{TextEvent(1, u"Chosen"), StateEvent(3, 2)}));
    EXPECT_EQ(agent.Requests().size(), 3u);
}

TEST_F(ChannelWithAgentTest, PlainRequestsChangeNoCallback) {
    bool deleted = false;
    PluginRequest print = Request(kRequestPrint);
    channel->SendPrintRequest(&print, Callback(1, &deleted));
    PluginRequest mode = Request(kRequestSetScanMode, 3);
    EXPECT_EQ(channel->SendRequest(&mode), S_OK);
    PluginRequest stop = Request(kRequestStopScan);
    stop.jobId = 42;
    EXPECT_EQ(channel->SendRequest(&stop), S_OK);
    EXPECT_FALSE(deleted);
    std::vector<PluginRequest> requests = agent.Requests();
    ASSERT_EQ(requests.size(), 3u);
    ExpectOnlyFields(requests[1], mode);
    ExpectOnlyFields(requests[2], stop);
}

TEST_F(ChannelWithAgentTest, TheScanModeQueryTakesTheAnswerOfItsOwnSend) {
    agent.SetResponder([](const PluginRequest& request) {
        return request.code == kRequestGetScanMode ? std::vector<FakeReply>{Reply(105, 2)}
                                                   : std::vector<FakeReply>{};
    });
    int32_t mode = -7;
    EXPECT_EQ(channel->GetScanMode(&mode), S_OK);
    EXPECT_EQ(mode, 2);
    EXPECT_EQ(channel->TimerId(), CProcessMessage::kAnswerTimerId);
    EXPECT_EQ(channel->QueuedAnswers(), 0u);
    std::vector<PluginRequest> requests = agent.Requests();
    ASSERT_EQ(requests.size(), 1u);
    ExpectOnlyFields(requests[0], Request(kRequestGetScanMode));
}

TEST_F(ChannelWithAgentTest, AScanModeQueryWithoutAnswerFailsWithModeZero) {
    agent.SetResponder([](const PluginRequest&) { return std::vector<FakeReply>{Reply(105, 3)}; });
    int32_t mode = 0;
    ASSERT_EQ(channel->GetScanMode(&mode), S_OK);
    ASSERT_EQ(mode, 3);
    agent.SetResponder({});
    EXPECT_EQ(channel->GetScanMode(&mode), E_FAIL);
    EXPECT_EQ(mode, 0) << "each query starts from 0";
}

TEST_F(ChannelWithAgentTest, ASelectedScannerQueryWithoutAnswerGivesTheEarlierName) {
    agent.SetResponder([](const PluginRequest& request) {
        return std::vector<FakeReply>{Reply(106, 0, request.param == 2 ? u"WIA Flatbed" : u"")};
    });
    std::u16string name;
    EXPECT_EQ(channel->GetSelectedScanner(kInterfaceWia, &name), S_OK);
    EXPECT_EQ(name, u"WIA Flatbed");
    ExpectOnlyFields(agent.Requests().back(), Request(kRequestGetSelectedScanner, kInterfaceWia));

    agent.SetResponder({});
    EXPECT_EQ(channel->GetSelectedScanner(kInterfaceTwain, &name), S_OK);
    EXPECT_EQ(name, u"WIA Flatbed") << "the stale name of the earlier answer";
    ExpectOnlyFields(agent.Requests().back(), Request(kRequestGetSelectedScanner, kInterfaceTwain));

    // A late reply only changes the name the next query falls back on.
    Deliver(window, 106, 0, u"Late");
    ASSERT_TRUE(DispatchOneTick());
    EXPECT_EQ(channel->LastSelectedScanner(), u"Late");
    EXPECT_TRUE(events.empty());
}

TEST_F(ChannelWithAgentTest, StatusAnswersOfEarlierJobsReachThePageInsideAQuery) {
    agent.SetResponder([](const PluginRequest& request) {
        return request.code == kRequestGetScanMode ? std::vector<FakeReply>{Reply(105, 1)}
                                                   : std::vector<FakeReply>{};
    });
    PluginRequest scan = Request(kRequestScan, 1);
    channel->SendScanRequest(&scan, Callback(1));
    Deliver(window, 3);
    Deliver(window, 4, 50);
    int32_t mode = 0;
    EXPECT_EQ(channel->GetScanMode(&mode), S_OK);
    EXPECT_EQ(events, (std::vector<Event>{StateEvent(1, 3), StateEvent(1, 4, 50)}));
}

TEST_F(ChannelWithAgentTest, ACallbackThatStartsANewScanIsReplacedAndFreedOnceItReturned) {
    bool firstDeleted = false;
    bool deletedWhileRunning = true;
    PluginRequest scan = Request(kRequestScan, 1);
    channel->SendScanRequest(&scan, Callback(1, &firstDeleted, [&](const Event& event) {
        if (event.state == 6) {
            PluginRequest again = Request(kRequestScan, 1);
            channel->SendScanRequest(&again, Callback(2));
            deletedWhileRunning = firstDeleted;
        }
    }));
    Deliver(window, 6);
    Deliver(window, 1, 3);
    ASSERT_TRUE(DispatchOneTick());
    EXPECT_FALSE(deletedWhileRunning);
    EXPECT_TRUE(firstDeleted);
    EXPECT_EQ(events, (std::vector<Event>{StateEvent(1, 6), StateEvent(2, 1, 3)}));
    EXPECT_EQ(agent.Requests().size(), 2u);
}

TEST_F(ChannelWithAgentTest, ASelectCallbackThatStartsANewSelectionReplacesItselfWhileItRuns) {
    bool firstDeleted = false;
    PluginRequest select = Request(kRequestSelectScanner, 3);
    channel->SendSelectScannerRequest(&select, Callback(1, &firstDeleted, [&](const Event&) {
        PluginRequest again = Request(kRequestSelectScanner, 3);
        channel->SendSelectScannerRequest(&again, Callback(2));
    }));
    Deliver(window, 101, 0, u"First");
    Deliver(window, 101, 0, u"Second");
    ASSERT_TRUE(DispatchOneTick());
    EXPECT_TRUE(firstDeleted);
    EXPECT_EQ(events, (std::vector<Event>{TextEvent(1, u"First"), TextEvent(2, u"Second")}));
    EXPECT_EQ(agent.Requests().size(), 2u);
}

TEST_F(ChannelWithAgentTest, AQueryInsideACallbackGoesOnWithTheNextQueuedAnswers) {
    agent.SetResponder([](const PluginRequest& request) {
        return request.code == kRequestGetScanMode ? std::vector<FakeReply>{Reply(105, 2)}
                                                   : std::vector<FakeReply>{};
    });
    bool inQuery = false;
    std::vector<bool> seenInQuery;
    PluginRequest scan = Request(kRequestScan, 1);
    channel->SendScanRequest(&scan, Callback(1, nullptr, [&](const Event& event) {
        seenInQuery.push_back(inQuery);
        if (event.state == 3) {
            int32_t mode = 0;
            inQuery = true;
            EXPECT_EQ(channel->GetScanMode(&mode), S_OK);
            inQuery = false;
            EXPECT_EQ(mode, 2);
        }
    }));
    Deliver(window, 3);
    Deliver(window, 4);
    Deliver(window, 5);
    ASSERT_TRUE(DispatchOneTick());
    EXPECT_EQ(events, (std::vector<Event>{StateEvent(1, 3), StateEvent(1, 4), StateEvent(1, 5)}));
    EXPECT_EQ(seenInQuery, (std::vector<bool>{false, true, true}));
}

// --- A page that lets its channel go from inside a callback ----------------------

// The owner of the channel goes while the channel hands out an answer (the
// page drops its object): the answers left are dropped, the window goes, and
// the channel itself is freed once the tick is over.
TEST_F(ChannelWithAgentTest, AnOwnerThatLetsGoInsideATickEndsTheHandingOut) {
    bool statusDeleted = false;
    bool selectDeleted = false;
    bool deletedInCall = true;
    PluginRequest select = Request(kRequestSelectScanner, 3);
    channel->SendSelectScannerRequest(&select, Callback(2, &selectDeleted));
    PluginRequest scan = Request(kRequestScan, 1);
    channel->SendScanRequest(&scan, Callback(1, &statusDeleted, [&](const Event&) {
        channel.reset();
        deletedInCall = statusDeleted;
    }));
    Deliver(window, 3);
    Deliver(window, 101, 0, u"dropped");
    Deliver(window, 4);
    ASSERT_TRUE(DispatchOneTick());
    EXPECT_FALSE(deletedInCall) << "the running callback outlives its own call";
    EXPECT_TRUE(statusDeleted);
    EXPECT_TRUE(selectDeleted);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(events, (std::vector<Event>{StateEvent(1, 3)}));
}

TEST_F(ChannelWithAgentTest, AnOwnerThatLetsGoInsideAQueryGetsTheQueryBack) {
    agent.SetResponder([](const PluginRequest& request) {
        return request.code == kRequestGetScanMode ? std::vector<FakeReply>{Reply(105, 2)}
                                                   : std::vector<FakeReply>{};
    });
    bool deleted = false;
    PluginRequest scan = Request(kRequestScan, 1);
    CProcessMessage* raw = channel.get();
    channel->SendScanRequest(&scan, Callback(1, &deleted, [&](const Event&) { channel.reset(); }));
    Deliver(window, 3);
    Deliver(window, 4);
    int32_t mode = 0;
    // The query returns normally after the page let go; the answers queued
    // behind the one that closed the channel, the mode too, are dropped.
    EXPECT_EQ(raw->GetScanMode(&mode), E_FAIL);
    EXPECT_EQ(mode, 0);
    EXPECT_TRUE(deleted);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(events, (std::vector<Event>{StateEvent(1, 3)}));
}

TEST_F(ChannelTest, AnOwnerThatLetsGoInsideASelfCalledTickFreesTheChannelAfterIt) {
    bool deleted = false;
    PluginRequest print = Request(kRequestPrint);
    channel->SendPrintRequest(&print,
                              Callback(1, &deleted, [&](const Event&) { channel.reset(); }));
    Deliver(window, 1);
    Deliver(window, 2);
    CProcessMessage* raw = channel.get();
    raw->OnTimer(CProcessMessage::kAnswerTimerId);
    EXPECT_TRUE(deleted);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(events, (std::vector<Event>{StateEvent(1, 1)}));
}

// An agent whose thread takes the request and never returns from it: the
// channel's send gives up after its bound and the call goes on as for an
// absent agent, so one hung agent does not hang the page.
TEST_F(ChannelWithAgentTest, AnAgentThatHangsInARequestIsTreatedAsAbsent) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    agent.SetResponder([released](const PluginRequest&) {
        released.wait_for(60s);  // hung, until the test lets it go
        return std::vector<FakeReply>{Reply(1)};
    });
    PluginRequest scan = Request(kRequestScan, 1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(channel->SendScanRequest(&scan, Callback(1)), S_OK);
    const auto waited = std::chrono::steady_clock::now() - start;
    release.set_value();
    EXPECT_EQ(events, (std::vector<Event>{StateEvent(1, -1, 0, u"")}));
    EXPECT_GE(waited, std::chrono::milliseconds(CProcessMessage::kAgentSendTimeout) - 100ms);
    EXPECT_LT(waited, 55s) << "the send gave up on its own, not when the agent was released";
}

// --- Without an agent, and starting one ---------------------------------------------

// The channel looks for "agent_vexlo.exe" beside the test program (where
// there is none) and on the path, which each test sets.
class ChannelStartTest : public ChannelTest {
protected:
    void SetUp() override {
        const char* path = getenv("PATH");
        savedPath = path != nullptr ? path : "";
        setenv("PATH", emptyFolder.native().c_str(), 1);
        ChannelTest::SetUp();
    }
    void TearDown() override {
        ChannelTest::TearDown();
        setenv("PATH", savedPath.c_str(), 1);
    }

    TempDir emptyFolder;
    std::string savedPath;
};

TEST_F(ChannelStartTest, AScanThatCannotReachTheAgentReportsMinusOneBeforeItReturns) {
    PluginRequest scan = Request(kRequestScan, 1);
    EXPECT_EQ(channel->SendScanRequest(&scan, Callback(1)), S_OK);
    EXPECT_EQ(events, (std::vector<Event>{StateEvent(1, -1, 0, u"")}));
    EXPECT_NE(scan.jobId, 0) << "the job id is stamped all the same";
    EXPECT_FALSE(IsWindow(CProcessMessage::FindDesktopWindow()));
}

TEST_F(ChannelStartTest, AnOwnerThatLetsGoInsideTheMinusOneReportGetsTheScanCallBack) {
    bool deleted = false;
    PluginRequest scan = Request(kRequestScan, 1);
    CProcessMessage* raw = channel.get();
    EXPECT_EQ(
        raw->SendScanRequest(&scan, Callback(1, &deleted, [&](const Event&) { channel.reset(); })),
        S_OK);
    EXPECT_TRUE(deleted);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(events, (std::vector<Event>{StateEvent(1, -1, 0, u"")}));
}

TEST_F(ChannelStartTest, OtherRequestsFailWithoutReport) {
    PluginRequest print = Request(kRequestPrint);
    EXPECT_EQ(channel->SendPrintRequest(&print, Callback(1)), E_FAIL);
    PluginRequest select = Request(kRequestSelectScanner, 2);
    EXPECT_EQ(channel->SendSelectScannerRequest(&select, Callback(2)), E_FAIL);
    PluginRequest stop = Request(kRequestStopScan);
    stop.jobId = 5;
    EXPECT_EQ(channel->SendRequest(&stop), E_FAIL);
    EXPECT_EQ(CProcessMessage::LoadDesktop(), E_FAIL);
    EXPECT_TRUE(events.empty());
}

TEST_F(ChannelStartTest, QueriesWithoutAnAgentWaitAndGiveWhatTheyHave) {
    int32_t mode = 9;
    EXPECT_EQ(channel->GetScanMode(&mode), E_FAIL);
    EXPECT_EQ(mode, 0);
    std::u16string name = u"before";
    EXPECT_EQ(channel->GetSelectedScanner(kInterfaceWia, &name), S_OK);
    EXPECT_EQ(name, u"");
}

TEST_F(ChannelStartTest, LoadDesktopStartsTheAgentByItsBareNameAndFindsItsWindow) {
    TempDir appData;
    const char* savedAppData = getenv("APPDATA");
    std::optional<std::string> restoreAppData;
    if (savedAppData != nullptr) {
        restoreAppData = savedAppData;
    }
    struct RestoreAppData {
        const std::optional<std::string>& value;
        ~RestoreAppData() {
            if (value) {
                setenv("APPDATA", value->c_str(), 1);
            } else {
                unsetenv("APPDATA");
            }
        }
    } restore{restoreAppData};
    setenv("APPDATA", appData.native().c_str(), 1);
    setenv("PATH", VEXLO_AGENT_DIR, 1);

    EXPECT_EQ(CProcessMessage::LoadDesktop(), S_OK);
    // LoadDesktop gives the agent 1000 ms to show its window; on a loaded machine
    // it can come later. Wait for it here all the same, so that the agent this
    // test started is always ended and never outlives the test.
    HWND agentWindow = CProcessMessage::FindDesktopWindow();
    const bool foundByLoadDesktop = agentWindow != nullptr;
    if (!foundByLoadDesktop) {
        PumpUntil([&] { return (agentWindow = CProcessMessage::FindDesktopWindow()) != nullptr; },
                  std::chrono::seconds(20));
    }
    ASSERT_NE(agentWindow, nullptr) << "the agent never showed its window";
    if (!foundByLoadDesktop) {
        std::fprintf(stderr, "note: the agent's window came after LoadDesktop's wait\n");
    }

    // The agent answers through the channel like any other.
    int32_t mode = 0;
    EXPECT_EQ(channel->GetScanMode(&mode), S_OK);
    EXPECT_EQ(mode, kScanModeAutomatic);

    // The agent is this test's to end.
    DWORD pid = 0;
    GetWindowThreadProcessId(agentWindow, &pid);
    PostMessageW(agentWindow, WM_CLOSE, 0, 0);
    bool gone = PumpUntil([&] { return !IsWindow(agentWindow); }, std::chrono::seconds(20));
    if (!gone && pid != 0) {
        kill(static_cast<pid_t>(pid), SIGKILL);
    }
    EXPECT_TRUE(gone);
}

}  // namespace
}  // namespace vexlo::test
