#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "agent/base/messages.h"
#include "agent/base/settings.h"
#include "agent_fixture.h"
#include "framework/modal_loop.h"

namespace {

using vexlo::PluginRequest;
using vexlo::test::AgentFixture;
using vexlo::test::PumpMessages;
using vexlo::test::ReadFileBytes;

PluginRequest Request(int code, int param = 0, int jobId = 0) {
    PluginRequest request = vexlo::CreateEmptyRequest();
    request.code = code;
    request.param = param;
    request.jobId = jobId;
    return request;
}

PluginRequest ScanRequest(int scanType, int jobId) {
    PluginRequest request = Request(vexlo::kRequestScan, scanType, jobId);
    vexlo::WriteField(request.apiKey, u"Ключ-1");
    request.messageId = 77;
    return request;
}

TEST(Dispatcher, AScanRequestStartsTheScannerOfTheScanModeWithTheJob) {
    AgentFixture agent;
    agent.Send(ScanRequest(1, 4242));
    ASSERT_EQ(agent.wia->started.size(), 1u);
    EXPECT_TRUE(agent.twain->started.empty());
    const vexlo::ScanJob& job = agent.wia->started[0];
    EXPECT_EQ(job.apiKey, u"Ключ-1");
    EXPECT_EQ(job.messageId, 77);
    EXPECT_EQ(job.scanType, 1);
    EXPECT_EQ(job.jobId, 4242);
    EXPECT_EQ(job.client, agent.client.hwnd());
    EXPECT_TRUE(agent.client.answers.empty());
}

TEST(Dispatcher, ModeThreeScansWithTwain) {
    AgentFixture agent("[settings]\nscan-mode=3\n");
    agent.Send(ScanRequest(2, 1));
    EXPECT_EQ(agent.twain->started.size(), 1u);
    EXPECT_TRUE(agent.wia->started.empty());
}

TEST(Dispatcher, BusyRulesFollowTheScanMode) {
    struct Case {
        int mode;
        int twainState;
        int wiaState;
        bool busy;
    };
    for (Case c :
         {Case{1, 1, 0, true}, Case{1, 0, 1, true}, Case{1, 0, 0, false}, Case{2, 1, 0, false},
          Case{2, 0, 1, true}, Case{3, 0, 1, false}, Case{3, 1, 0, true}}) {
        AgentFixture agent("[settings]\nscan-mode=" + std::to_string(c.mode) + "\n");
        agent.twain->state = c.twainState;
        agent.wia->state = c.wiaState;
        agent.Send(ScanRequest(1, 9));
        size_t started = agent.twain->started.size() + agent.wia->started.size();
        if (c.busy) {
            ASSERT_EQ(agent.client.answers.size(), 1u) << c.mode;
            EXPECT_EQ(agent.client.answers[0].state, vexlo::kStateBusy);
            EXPECT_EQ(agent.client.answers[0].from, agent.hwnd());
            EXPECT_EQ(started, 0u);
        } else {
            EXPECT_TRUE(agent.client.answers.empty()) << c.mode;
            EXPECT_EQ(started, 1u);
        }
    }
}

TEST(Dispatcher, SetScanModeThreeClearsTheDeviceIdButKeepsItsName) {
    AgentFixture agent("[wia]\nwia-scanner=dev-7\nwia-scanner-name=Flatbed\n");
    agent.Send(Request(vexlo::kRequestSetScanMode, 3));
    EXPECT_TRUE(agent.client.answers.empty());
    agent.Send(Request(vexlo::kRequestGetScanMode));
    ASSERT_EQ(agent.client.answers.size(), 1u);
    EXPECT_EQ(agent.client.answers[0].state, vexlo::kReplyScanMode);
    EXPECT_EQ(agent.client.answers[0].info, 3);
    vexlo::CSettings* settings = vexlo::GetSettings();
    ASSERT_TRUE(settings->wiaScanner.has_value());
    EXPECT_EQ(*settings->wiaScanner, u"");
    EXPECT_EQ(settings->GetWiaScannerName(), u"Flatbed");
}

TEST(Dispatcher, AnOutOfRangeScanModeIsKeptAndScansWithWia) {
    AgentFixture agent;
    agent.Send(Request(vexlo::kRequestSetScanMode, 7));
    agent.Send(Request(vexlo::kRequestGetScanMode));
    EXPECT_EQ(agent.client.answers.at(0).info, 7);
    agent.twain->state = 1;
    agent.Send(ScanRequest(1, 3));
    EXPECT_EQ(agent.client.answers.back().state, vexlo::kStateBusy) << "both scanners count";
}

TEST(Dispatcher, SelectedScannerNamesComeFromTheAskedInterface) {
    AgentFixture agent;
    agent.wia->selectedName = u"WIA Flatbed";
    agent.twain->selectedName = u"TWAIN Feeder";
    agent.Send(Request(vexlo::kRequestGetSelectedScanner, 2));
    agent.Send(Request(vexlo::kRequestGetSelectedScanner, 3));
    agent.Send(Request(vexlo::kRequestGetSelectedScanner, 4));
    ASSERT_EQ(agent.client.answers.size(), 3u);
    EXPECT_EQ(agent.client.answers[0].state, vexlo::kReplyGetSelectedScanner);
    EXPECT_EQ(agent.client.answers[0].text, u"WIA Flatbed");
    EXPECT_EQ(agent.client.answers[1].text, u"TWAIN Feeder");
    EXPECT_EQ(agent.client.answers[2].text, u"");
}

TEST(Dispatcher, SelectScannerGoesToTheAskedInterfaceOnly) {
    AgentFixture agent;
    agent.Send(Request(vexlo::kRequestSelectScanner, 1));
    EXPECT_TRUE(agent.wia->selectClients.empty());
    EXPECT_TRUE(agent.twain->selectClients.empty());
    agent.Send(Request(vexlo::kRequestSelectScanner, 2));
    agent.Send(Request(vexlo::kRequestSelectScanner, 3));
    ASSERT_EQ(agent.wia->selectClients.size(), 1u);
    EXPECT_EQ(agent.wia->selectClients[0], agent.client.hwnd());
    EXPECT_EQ(agent.twain->selectClients.size(), 1u);
    EXPECT_TRUE(agent.client.answers.empty());
}

TEST(Dispatcher, StopRequestsReachBothScannersAndAreAlwaysListed) {
    AgentFixture agent;
    agent.Send(Request(vexlo::kRequestStopScan, 0, 55));
    agent.Send(Request(vexlo::kRequestStopScan, 0, 55));
    agent.Send(Request(vexlo::kRequestStopScan, 0, -1));
    EXPECT_EQ(agent.twain->stops, (std::vector<int>{55, 55, -1}));
    EXPECT_EQ(agent.wia->stops, (std::vector<int>{55, 55, -1}));
    EXPECT_EQ(agent.window().CancelledJobIds(), (std::list<int>{55, 55, -1}));
    EXPECT_TRUE(agent.window().IsCancelled(55));
    EXPECT_FALSE(agent.window().IsCancelled(56));
    EXPECT_TRUE(agent.client.answers.empty());
}

TEST(Dispatcher, UnknownCodesAndShortRecordsGetNoAnswer) {
    AgentFixture agent("[settings]\ntrace-level=2\n");
    agent.Send(Request(99));
    agent.Send(Request(107));
    PluginRequest request = Request(vexlo::kRequestGetScanMode);
    agent.SendBytes(&request, 16);
    agent.SendBytes(nullptr, sizeof(request));
    EXPECT_TRUE(agent.client.answers.empty());
    std::string log = ReadFileBytes(agent.DataFolder() / "vexlo-plugin.log");
    size_t first = log.find(" underfined request for \r\n");
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(log.find(" underfined request for \r\n", first + 1), std::string::npos);
}

TEST(Dispatcher, ANewerPrintRequestReplacesOneNotYetTaken) {
    AgentFixture agent;
    PluginRequest first = Request(vexlo::kRequestPrint);
    vexlo::WriteField(first.printingRequest, u"pages=1");
    PluginRequest second = Request(vexlo::kRequestPrint);
    vexlo::WriteField(second.apiKey, u"key");
    vexlo::WriteField(second.printingRequest, u"pages=2");
    agent.Send(first);
    agent.Send(second);
    HWND client = nullptr;
    PluginRequest taken;
    ASSERT_TRUE(agent.window().TakePendingPrint(&client, &taken));
    EXPECT_EQ(client, agent.client.hwnd());
    EXPECT_EQ(vexlo::ReadField(taken.printingRequest), u"pages=2");
    EXPECT_EQ(vexlo::ReadField(taken.apiKey), u"key");
    EXPECT_FALSE(agent.window().TakePendingPrint(&client, &taken));
    EXPECT_TRUE(agent.client.answers.empty());
}

TEST(HostServices, WiaFailuresHandOverToTwainOnlyInAutomaticMode) {
    vexlo::ScanJob job;
    job.jobId = 12;
    {
        AgentFixture agent;
        job.client = agent.client.hwnd();
        agent.window().OnScanError(job, -9);
        agent.window().OnScanError(job, -2);
        agent.window().OnScanError(job, -5);
        ASSERT_EQ(agent.twain->started.size(), 3u);
        EXPECT_EQ(agent.twain->started[0].jobId, 12);
        EXPECT_EQ(agent.twain->started[0].client, agent.client.hwnd());
        EXPECT_TRUE(agent.client.answers.empty());
        agent.window().OnScanError(job, -8);
        agent.window().OnScanError(job, -10);
        ASSERT_EQ(agent.client.answers.size(), 2u);
        EXPECT_EQ(agent.client.answers[0].state, vexlo::kStateDialogCancelled);
        EXPECT_EQ(agent.client.answers[1].state, vexlo::kStateDeviceNotConnected);
    }
    for (int mode : {2, 3}) {
        AgentFixture agent("[settings]\nscan-mode=" + std::to_string(mode) + "\n");
        job.client = agent.client.hwnd();
        agent.window().OnScanError(job, -9);
        agent.window().OnScanError(job, -10);
        EXPECT_TRUE(agent.twain->started.empty());
        ASSERT_EQ(agent.client.answers.size(), 2u);
        EXPECT_EQ(agent.client.answers[0].state, vexlo::kStateInterfaceFailed);
        EXPECT_EQ(agent.client.answers[1].state, vexlo::kStateDeviceNotConnected);
    }
}

TEST(HostServices, AnswersCarryTheirTextOnlyBelow2048Characters) {
    AgentFixture agent;
    std::u16string text2047(2047, u'a');
    std::u16string text2048(2048, u'a');
    agent.window().SendStateToClient(agent.client.hwnd(), 1, 3, text2047.c_str());
    agent.window().SendStateToClient(agent.client.hwnd(), 1, 3, text2048.c_str());
    ASSERT_EQ(agent.client.answers.size(), 2u);
    EXPECT_EQ(agent.client.answers[0].text, text2047);
    EXPECT_EQ(agent.client.answers[1].text, u"");
    EXPECT_EQ(agent.client.answers[1].info, 3);
}

TEST(HostServices, ScanFinishedQueuesAnItemWithTheJobsFields) {
    AgentFixture agent;
    vexlo::ScanJob job{u"k", 5, 2, 31, agent.client.hwnd()};
    agent.window().OnScanFinished(job, u"/x/1.bmp", 300);
    auto items = agent.window().QueuedItems();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].file, u"/x/1.bmp");
    EXPECT_EQ(items[0].dpi, 300);
    EXPECT_EQ(items[0].jobId, 31);
    EXPECT_EQ(items[0].scanType, 2);
    EXPECT_EQ(items[0].messageId, 5);
    EXPECT_EQ(items[0].client, agent.client.hwnd());
}

TEST(DesktopMessage, AnotherAgentsBroadcastClosesThisOneItsOwnDoesNot) {
    AgentFixture agent;
    PostMessageW(agent.hwnd(), vexlo::WM_VEXLO_DESKTOP_MESSAGE, 0x666,
                 static_cast<LPARAM>(GetCurrentProcessId()));
    PumpMessages();
    EXPECT_TRUE(IsWindow(agent.hwnd()));
    PostMessageW(agent.hwnd(), vexlo::WM_VEXLO_DESKTOP_MESSAGE, 0x666,
                 static_cast<LPARAM>(GetCurrentProcessId() + 1));
    PumpMessages();
    EXPECT_FALSE(IsWindow(agent.hwnd()));
    EXPECT_TRUE(std::filesystem::exists(agent.DataFolder() / "settings.ini"));
}

TEST(DesktopMessage, AWindowHandleGetsTheAgentsWindowBackOtherValuesNothing) {
    AgentFixture agent;
    SendMessageW(agent.hwnd(), vexlo::WM_VEXLO_DESKTOP_MESSAGE,
                 reinterpret_cast<WPARAM>(agent.client.hwnd()), 0);
    ASSERT_EQ(agent.client.desktopReplies.size(), 1u);
    EXPECT_EQ(agent.client.desktopReplies[0], reinterpret_cast<WPARAM>(agent.hwnd()));
    SendMessageW(agent.hwnd(), vexlo::WM_VEXLO_DESKTOP_MESSAGE, 12345, 0);
    EXPECT_EQ(agent.client.desktopReplies.size(), 1u);
    EXPECT_TRUE(IsWindow(agent.hwnd()));
}

TEST(DesktopMessage, TheAgentsOwnWindowAsTheAskerIsIgnored) {
    AgentFixture agent;
    // Answered, this would ask the agent again, without end.
    SendMessageW(agent.hwnd(), vexlo::WM_VEXLO_DESKTOP_MESSAGE,
                 reinterpret_cast<WPARAM>(agent.hwnd()), 0);
    EXPECT_TRUE(IsWindow(agent.hwnd()));
    SendMessageW(agent.hwnd(), vexlo::WM_VEXLO_DESKTOP_MESSAGE,
                 reinterpret_cast<WPARAM>(agent.client.hwnd()), 0);
    EXPECT_EQ(agent.client.desktopReplies.size(), 1u) << "a real asker still gets its answer";
}

// Stands for another agent: it answers the question with its own window, as
// an agent does.
std::atomic<int> otherAgentAnswers{0};
LRESULT CALLBACK OtherAgentProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == vexlo::WM_VEXLO_DESKTOP_MESSAGE && IsWindow(reinterpret_cast<HWND>(wParam))) {
        ++otherAgentAnswers;
        SendMessageW(reinterpret_cast<HWND>(wParam), message, reinterpret_cast<WPARAM>(hwnd), 0);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST(DesktopMessage, AnotherAgentsWindowAsTheAskerIsIgnored) {
    AgentFixture agent;
    // Another agent's window: the two would bounce it between them.
    HWND other = CreateWindowExW(0, vexlo::kAgentWindowClass, u"other", 0, 0, 0, 0, 0, nullptr,
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    SetWindowLongPtrW(other, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&OtherAgentProc));
    otherAgentAnswers = 0;
    SendMessageW(agent.hwnd(), vexlo::WM_VEXLO_DESKTOP_MESSAGE, reinterpret_cast<WPARAM>(other), 0);
    EXPECT_EQ(otherAgentAnswers, 0);
    EXPECT_TRUE(agent.client.desktopReplies.empty());
    EXPECT_TRUE(IsWindow(agent.hwnd()));
    DestroyWindow(other);
}

TEST(HostServices, AnAnswerToAPageThatDoesNotAnswerIsGivenUp) {
    AgentFixture agent;
    std::atomic<HWND> hung{nullptr};
    std::atomic<bool> release{false};
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = u"HungPage";
    RegisterClassExW(&wc);
    std::thread page([&] {
        hung = CreateWindowExW(0, u"HungPage", u"hung page", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               nullptr, nullptr);
        while (!release) {
            Sleep(5);  // never looks at its queue
        }
        DestroyWindow(hung);
    });
    while (hung == nullptr) {
        Sleep(1);
    }
    auto start = std::chrono::steady_clock::now();
    agent.window().SendStateToClient(hung, vexlo::kStateImageInfo, 0, u"lost");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5))
        << "the agent waited for a page that does not answer";
    release = true;
    page.join();
}

TEST(HostServices, TheHandOverToABusyTwainAndAScanOfABusyScannerAnswerMinus3) {
    AgentFixture agent;
    vexlo::ScanJob job{u"k", 1, 1, 13, agent.client.hwnd()};
    agent.twain->startResult = E_FAIL;
    agent.window().OnScanError(job, -9);
    agent.wia->startResult = E_FAIL;
    agent.window().StartScan(job);
    ASSERT_EQ(agent.client.answers.size(), 2u);
    EXPECT_EQ(agent.client.answers[0].state, vexlo::kStateBusy);
    EXPECT_EQ(agent.client.answers[1].state, vexlo::kStateBusy);
    EXPECT_TRUE(agent.twain->started.empty());
    EXPECT_TRUE(agent.wia->started.empty());
}

TEST(Shutdown, AScannerGoesAtTheCloseUnlessOneOfItsModalLoopsIsOnTheStack) {
    AgentFixture agent;
    bool twainDeleted = false;
    bool wiaDeleted = false;
    agent.twain->deleted = &twainDeleted;
    agent.wia->deleted = &wiaDeleted;
    agent.twain->state = vexlo::kScannerBusy;  // busy, but nothing of it on the stack
    {
        // The close arrives inside a modal loop of the WIA scanner.
        fw::CModalLoopScope loop(static_cast<vexlo::IScanner*>(agent.wia));
        DestroyWindow(agent.hwnd());
        EXPECT_TRUE(twainDeleted) << "a busy state alone does not keep a scanner";
        EXPECT_FALSE(wiaDeleted) << "kept while its loop is on the stack";
    }
    agent.agent.reset();
    EXPECT_TRUE(wiaDeleted) << "gone with the window object";
}

TEST(Shutdown, DestroyingTheWindowDeletesQueuedImagesAndWritesTheSettings) {
    AgentFixture agent;
    vexlo::ScanJob job{u"k", 1, 1, 8, agent.client.hwnd()};
    std::filesystem::path scanned = agent.DataFolder() / "Scanned";
    vexlo::test::WriteFileBytes(scanned / "1.bmp", "BM");
    vexlo::test::WriteFileBytes(scanned / "2.bmp", "BM");
    agent.window().OnScanFinished(job, vexlo::test::Wide((scanned / "1.bmp").string()), 200);
    agent.window().OnScanFinished(job, vexlo::test::Wide((scanned / "2.bmp").string()), 200);
    agent.Send(Request(vexlo::kRequestSetScanMode, 2));
    DestroyWindow(agent.hwnd());
    EXPECT_FALSE(std::filesystem::exists(scanned / "1.bmp"));
    EXPECT_FALSE(std::filesystem::exists(scanned / "2.bmp"));
    EXPECT_EQ(ReadFileBytes(agent.DataFolder() / "settings.ini"),
              "[wia]\r\nwia-scanner-name=\r\n[settings]\r\nscan-mode=2\r\n");
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 16u);
}

TEST(LogFile, TheDefaultLogStaysWithoutALogFileSetting) {
    AgentFixture agent;
    EXPECT_TRUE(std::filesystem::exists(agent.DataFolder() / "vexlo-plugin.log"));
    EXPECT_EQ(ReadFileBytes(agent.DataFolder() / "vexlo-plugin.log"), "");
}

TEST(LogFile, ALogFileSettingReplacesTheDefaultLog) {
    vexlo::test::TempDir logs;
    AgentFixture agent("[settings]\ntrace-level=4\nlog-file=" + logs.native("agent.log") + "\n");
    EXPECT_FALSE(std::filesystem::exists(agent.DataFolder() / "vexlo-plugin.log"));
    agent.Send(Request(vexlo::kRequestGetScanMode));
    std::string log = ReadFileBytes(logs.path() / "agent.log");
    EXPECT_NE(log.find(" Got WM_COPYDATA from plugin \r\n"), std::string::npos);
    EXPECT_NE(log.find(" SendStateToClient to  0x"), std::string::npos);
}

TEST(LogFile, ALogFileInAMissingFolderMeansNoLogAtAll) {
    vexlo::test::TempDir logs;
    AgentFixture agent("[settings]\ntrace-level=4\nlog-file=" + logs.native("missing/agent.log") +
                       "\n");
    agent.Send(Request(vexlo::kRequestGetScanMode));
    EXPECT_FALSE(std::filesystem::exists(agent.DataFolder() / "vexlo-plugin.log"));
    EXPECT_FALSE(std::filesystem::exists(logs.path() / "missing"));
    EXPECT_EQ(agent.client.answers.size(), 1u) << "the agent works on without a log";
}

}  // namespace
