// The agent's close while its scan worker is busy: requests that come during
// the close, a page that never takes its answers, and page making that is
// still running when the close begins.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "agent_fixture.h"
#include "fax_service_process.h"
#include "page_files.h"
#include "protocol/records.h"
#include "test_bitmap.h"

namespace {

using namespace std::chrono_literals;
using vexlo::test::AgentFixture;
using vexlo::test::Answer;
using vexlo::test::AnswerRecorder;
using vexlo::test::FaxServiceProcess;
using vexlo::test::MakeRequest;
using vexlo::test::PumpUntil;

// Far above the two seconds a close takes: a close that waits on a page
// takes a second for every answer the page does not take.
constexpr auto kCloseBound = 10s;

std::string Settings(const std::string& endpoint) {
    return "[settings]\nscan-mode=3\ntrace-level=4\nsoap-server=" + endpoint + "\n";
}

std::vector<std::string> Listing(const std::filesystem::path& folder) {
    return std::filesystem::exists(folder) ? vexlo::test::FolderListing(folder)
                                           : std::vector<std::string>{};
}

// A page whose window lives on a thread of its own. The thread runs its work
// (if any) and then sleeps without taking what is sent to its window: a page
// that does not answer.
class PageThread {
public:
    explicit PageThread(std::function<void(AnswerRecorder&)> work = {}) {
        thread = std::thread([this, work = std::move(work)] {
            AnswerRecorder page;
            window = page.hwnd();
            if (work) {
                work(page);
            }
            done = true;
            while (!released) {
                std::this_thread::sleep_for(5ms);
            }
            answers = page.answers;
        });
        while (window == nullptr) {
            std::this_thread::sleep_for(1ms);
        }
    }
    ~PageThread() { Release(); }
    // The page goes; the answers its window took.
    std::vector<Answer> Release() {
        released = true;
        if (thread.joinable()) {
            thread.join();
        }
        return answers;
    }

    std::atomic<HWND> window{nullptr};
    std::atomic<bool> done{false};  // the work has ended

private:
    std::atomic<bool> released{false};
    std::vector<Answer> answers;  // read after the join
    std::thread thread;
};

class Closing : public ::testing::Test {
protected:
    void StartAgent(const FaxServiceProcess& service) {
        ASSERT_TRUE(service.started()) << service.ErrorOutput();
        agent = std::make_unique<AgentFixture>(Settings(service.endpoint()),
                                               vexlo::ScanWorkerStart::kRun);
    }
    std::filesystem::path Scanned() const { return agent->DataFolder() / "Scanned"; }
    std::filesystem::path Processed() const { return agent->DataFolder() / "Processed"; }
    std::string Log() const {
        return vexlo::test::ReadFileBytes(agent->DataFolder() / "vexlo-plugin.log");
    }
    // A page image as a scanner saves it, handed on for `client`.
    void QueueImage(HWND client, int jobId, int scanType, int width, int height) {
        std::filesystem::create_directories(Scanned());
        std::filesystem::path file = Scanned() / (std::to_string(jobId) + ".bmp");
        vexlo::test::WriteFileBytes(
            file, vexlo::test::EncodeBmp(scanType == vexlo::kScanTypeColour
                                             ? vexlo::test::PatternBitmap(width, height, 24, 9)
                                             : vexlo::test::DocumentBitmap(width, height, 7)));
        vexlo::ScanJob job{u"key-1", 5, scanType, jobId, client};
        agent->window().OnScanFinished(job, vexlo::test::Wide(file.string()), 300);
    }
    bool WaitForLog(const std::string& line, std::chrono::milliseconds bound = 30s) {
        return PumpUntil([&] { return Log().find(line) != std::string::npos; }, bound);
    }
    // Destroys the agent's window; how long that took.
    std::chrono::milliseconds Close() {
        auto start = std::chrono::steady_clock::now();
        DestroyWindow(agent->hwnd());
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
    }

    std::unique_ptr<AgentFixture> agent;
};

TEST_F(Closing, RequestsDuringTheCloseAreAnsweredFromWhatIsStillThere) {
    // The service keeps its answer back, so the worker is still in the upload
    // while the close waits for it.
    FaxServiceProcess service({"--stall=60000"});
    StartAgent(service);
    QueueImage(agent->client.hwnd(), 40, vexlo::kScanTypeGrey, 1000, 1400);
    ASSERT_TRUE(PumpUntil([&] {
        return std::any_of(agent->client.answers.begin(), agent->client.answers.end(),
                           [](const Answer& a) { return a.state == 4 && a.info == 100; });
    }));

    agent->twain->selectedName = u"Office Feeder";
    HWND agentWindow = agent->hwnd();
    std::string log = (agent->DataFolder() / "vexlo-plugin.log").string();
    PageThread page([&](AnswerRecorder& recorder) {
        while (vexlo::test::ReadFileBytes(log).find("Close desktop...") == std::string::npos) {
            std::this_thread::sleep_for(2ms);
        }
        for (const vexlo::PluginRequest& request :
             {MakeRequest(vexlo::kRequestScan, vexlo::kScanTypeGrey, 41),
              MakeRequest(vexlo::kRequestGetScanMode),
              MakeRequest(vexlo::kRequestGetSelectedScanner, vexlo::kInterfaceTwain),
              MakeRequest(vexlo::kRequestSetScanMode, 2),
              MakeRequest(vexlo::kRequestStopScan, 0, 40),
              MakeRequest(vexlo::kRequestSelectScanner, vexlo::kInterfaceTwain),
              MakeRequest(vexlo::kRequestPrint)}) {
            vexlo::test::SendRequest(agentWindow, recorder.hwnd(), request);
        }
    });
    EXPECT_LT(Close(), kCloseBound);
    ASSERT_TRUE(page.done) << "the page's sends ended with the close";
    std::vector<Answer> answers = page.Release();

    ASSERT_EQ(answers.size(), 3u);
    EXPECT_EQ(answers[0].state, vexlo::kStateBusy);
    EXPECT_EQ(answers[1].state, vexlo::kReplyScanMode);
    EXPECT_EQ(answers[1].info, 3) << "the scan mode from before the close";
    EXPECT_EQ(answers[2].state, vexlo::kReplyGetSelectedScanner);
    EXPECT_EQ(answers[2].text, u"");
    for (const Answer& answer : answers) {
        EXPECT_EQ(answer.from, agentWindow);
    }
    // The scanners went with the close; the dispatcher's own steps never ran.
    std::string written = Log();
    for (const char* line : {"Got request for scan", "Got request for select scanner",
                             "Got request for print", "Got request for select scan mode"}) {
        EXPECT_EQ(written.find(line), std::string::npos) << line;
    }
    EXPECT_NE(vexlo::test::ReadFileBytes(agent->DataFolder() / "settings.ini").find("scan-mode=3"),
              std::string::npos)
        << "a scan mode chosen during the close is not kept";
    EXPECT_TRUE(Listing(Processed()).empty());
}

TEST_F(Closing, APageThatNeverTakesItsAnswersDoesNotHoldTheClose) {
    // A large colour page read slowly: its upload has many per-cent answers
    // for the hung page, each of which would hold the worker for a second.
    FaxServiceProcess service({"--slow-read=300000"});
    StartAgent(service);
    PageThread hung;
    QueueImage(hung.window, 42, vexlo::kScanTypeColour, 2400, 3300);
    ASSERT_TRUE(WaitForLog("Send item "));
    std::this_thread::sleep_for(1500ms);  // the worker waits on the page's answers now

    EXPECT_LT(Close(), kCloseBound);
    EXPECT_FALSE(IsWindow(agent->hwnd()));
    EXPECT_TRUE(Listing(Processed()).empty());
    EXPECT_TRUE(Listing(Scanned()).empty());
    EXPECT_NE(Log().find("Item hasn't sent "), std::string::npos);
    // The service reads slowly: the cut request ends there in its own time.
    std::vector<std::string> calls = service.WaitForCallLines(1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].rfind("request-failed ", 0), 0u) << calls[0];
    EXPECT_TRUE(service.PageFiles().empty());
}

TEST_F(Closing, PageMakingThatRunsAtTheCloseEndsWithoutAnUpload) {
    FaxServiceProcess service;
    StartAgent(service);
    // A 600 dpi A4 sheet: page making takes a while.
    QueueImage(agent->client.hwnd(), 43, vexlo::kScanTypeGrey, 4960, 7016);
    ASSERT_TRUE(WaitForLog("Do gray scale "));

    EXPECT_LT(Close(), kCloseBound);
    std::vector<int> states;
    for (const Answer& answer : agent->client.answers) {
        states.push_back(answer.state);
    }
    EXPECT_EQ(std::count(states.begin(), states.end(), vexlo::kStateUploaded), 0)
        << ::testing::PrintToString(states);
    EXPECT_EQ(std::count(states.begin(), states.end(), vexlo::kStateJobDone), 0);
    EXPECT_TRUE(service.PageFiles().empty());
    EXPECT_TRUE(Listing(Processed()).empty());
    EXPECT_TRUE(Listing(Scanned()).empty());
    EXPECT_NE(Log().find("Item hasn't sent "), std::string::npos);
}

}  // namespace
