// The scan worker in an agent window of the test's thread: saved images are
// queued as the scanners queue them, the worker makes the pages and uploads
// them to the local fax service, and the test's client window records every
// state the agent sends.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "agent/base/data_folders.h"
#include "agent_fixture.h"
#include "fax_service_process.h"
#include "page_files.h"
#include "protocol/records.h"
#include "test_bitmap.h"

namespace {

using vexlo::ScanWorkerStart;
using vexlo::test::AgentFixture;
using vexlo::test::FaxServiceProcess;
using vexlo::test::PumpUntil;

constexpr int kDone = vexlo::kStateJobDone;

using vexlo::test::MakeRequest;

std::string Settings(const std::string& endpoint) {
    return "[settings]\nscan-mode=3\ntrace-level=4\nsoap-server=" + endpoint + "\n";
}

std::vector<std::string> Listing(const std::filesystem::path& folder) {
    return std::filesystem::exists(folder) ? vexlo::test::FolderListing(folder)
                                           : std::vector<std::string>{};
}

class ScanWorker : public ::testing::Test {
protected:
    // The agent window with a running worker, uploading to `service`.
    void StartAgent(const FaxServiceProcess& service) {
        ASSERT_TRUE(service.started()) << service.ErrorOutput();
        StartAgent(service.endpoint());
    }
    void StartAgent(const std::string& endpoint) {
        agent = std::make_unique<AgentFixture>(Settings(endpoint), ScanWorkerStart::kRun);
    }

    std::filesystem::path Scanned() const { return agent->DataFolder() / "Scanned"; }
    std::filesystem::path Processed() const { return agent->DataFolder() / "Processed"; }

    // A document page of the given size saved as a scanner saves it, and
    // handed to the window as the scanner does.
    std::filesystem::path QueueImage(int jobId, int scanType, const std::string& name,
                                     int width = 1000, int height = 1400, int dpi = 300) {
        std::filesystem::path file = Scanned() / name;
        std::filesystem::create_directories(Scanned());
        vexlo::test::WriteFileBytes(
            file, vexlo::test::EncodeBmp(vexlo::test::DocumentBitmap(width, height, 7)));
        vexlo::ScanJob job{u"key-1", 5, scanType, jobId, agent->client.hwnd()};
        agent->window().OnScanFinished(job, vexlo::test::Wide(file.string()), dpi);
        return file;
    }

    std::vector<int> States() const {
        std::vector<int> states;
        for (const auto& answer : agent->client.answers) {
            states.push_back(answer.state);
        }
        return states;
    }
    size_t CountOf(int state) const {
        auto states = States();
        return static_cast<size_t>(std::count(states.begin(), states.end(), state));
    }
    bool WaitForCount(int state, size_t count,
                      std::chrono::milliseconds bound = std::chrono::seconds(20)) {
        return PumpUntil([&] { return CountOf(state) >= count; }, bound);
    }
    // The states without the upload's per-cent progress (4 with info > 0).
    std::vector<int> StepStates() const {
        std::vector<int> states;
        for (const auto& answer : agent->client.answers) {
            if (!(answer.state == vexlo::kStateUploading && answer.info > 0)) {
                states.push_back(answer.state);
            }
        }
        return states;
    }
    std::string Log() const {
        return vexlo::test::ReadFileBytes(agent->DataFolder() / "vexlo-plugin.log");
    }

    std::unique_ptr<AgentFixture> agent;
};

TEST_F(ScanWorker, AGreyPageIsMadeUploadedAndItsFilesGo) {
    FaxServiceProcess service;
    StartAgent(service);
    std::filesystem::path image = QueueImage(21, vexlo::kScanTypeGrey, "1.bmp");
    ASSERT_TRUE(WaitForCount(kDone, 1)) << ::testing::PrintToString(States());

    EXPECT_EQ(StepStates(), (std::vector<int>{3, 4, 5, 6}));
    int lastPercent = 0;
    for (const auto& answer : agent->client.answers) {
        if (answer.state == vexlo::kStateUploading && answer.info > 0) {
            EXPECT_GT(answer.info, lastPercent) << "the per cent rises";
            lastPercent = answer.info;
        }
        EXPECT_EQ(answer.from, agent->hwnd());
    }
    EXPECT_EQ(lastPercent, 100);

    std::vector<std::string> pages = service.PageFiles();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_NE(pages[0].find("1.png"), std::string::npos) << pages[0];
    vexlo::test::DecodedPng page =
        vexlo::test::DecodePng(std::filesystem::path(service.pagesDir()) / pages[0]);
    ASSERT_TRUE(page.ok);
    EXPECT_EQ(page.width, 1678u);
    EXPECT_EQ(page.physX, 203u);
    EXPECT_FALSE(std::filesystem::exists(image));
    EXPECT_TRUE(Listing(Processed()).empty());

    std::string log = Log();
    for (const char* line : {"Started processing ", "Do gray scale ", "Processing has finished ",
                             "Send item ", "Item has sent "}) {
        EXPECT_NE(log.find(line), std::string::npos) << line;
    }
}

TEST_F(ScanWorker, TheJobEndsOnlyAfterItsLastQueuedImage) {
    FaxServiceProcess service;
    StartAgent(service);
    // Queued in one go: the worker finds both before it takes the first.
    QueueImage(22, vexlo::kScanTypeGrey, "1.bmp");
    QueueImage(22, vexlo::kScanTypeGrey, "2.bmp");
    ASSERT_TRUE(WaitForCount(kDone, 1));
    EXPECT_EQ(StepStates(), (std::vector<int>{3, 4, 5, 3, 4, 5, 6}));
    EXPECT_EQ(service.PageFiles().size(), 2u);
    EXPECT_TRUE(Listing(Scanned()).empty());
}

TEST_F(ScanWorker, ABusyScannerOfTheJobHoldsTheJobsEndBack) {
    FaxServiceProcess service;
    StartAgent(service);
    agent->twain->jobId = 23;
    agent->twain->state = 1;
    QueueImage(23, vexlo::kScanTypeGrey, "1.bmp");
    ASSERT_TRUE(WaitForCount(vexlo::kStateUploaded, 1));
    // The worker decides about the job's end right after the 5.
    PumpUntil([] { return false; }, std::chrono::milliseconds(1500));
    EXPECT_EQ(CountOf(kDone), 0u) << "the scanner may still hand on pages";
    // The scanner's last page, then its run ends.
    QueueImage(23, vexlo::kScanTypeGrey, "2.bmp");
    agent->twain->state = 0;
    ASSERT_TRUE(WaitForCount(kDone, 1));
    EXPECT_EQ(StepStates(), (std::vector<int>{3, 4, 5, 3, 4, 5, 6}));
}

TEST_F(ScanWorker, AColourPageGoesAsJpeg) {
    FaxServiceProcess service;
    StartAgent(service);
    std::filesystem::path image = QueueImage(24, vexlo::kScanTypeColour, "1.bmp", 600, 800);
    ASSERT_TRUE(WaitForCount(kDone, 1));
    EXPECT_EQ(StepStates(), (std::vector<int>{3, 4, 5, 6}));
    std::vector<std::string> pages = service.PageFiles();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_NE(pages[0].find(".jpg"), std::string::npos) << pages[0];
    vexlo::test::JpegFrame frame = vexlo::test::ReadJpegFrame(
        vexlo::test::ReadFileBytes(std::filesystem::path(service.pagesDir()) / pages[0]));
    EXPECT_EQ(frame.width, 600);
    EXPECT_EQ(frame.height, 800);
    EXPECT_FALSE(std::filesystem::exists(image));
    EXPECT_TRUE(Listing(Processed()).empty());
    EXPECT_NE(Log().find("Convert to jpeg "), std::string::npos);
}

TEST_F(ScanWorker, AnUnknownScanTypeEndsTheItemWithMinusFive) {
    FaxServiceProcess service;
    StartAgent(service);
    std::filesystem::path image = QueueImage(25, 3, "1.bmp");
    ASSERT_TRUE(WaitForCount(vexlo::kStateFailed, 1));
    PumpUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_EQ(States(), (std::vector<int>{3, -5}));
    EXPECT_FALSE(std::filesystem::exists(image));
    EXPECT_TRUE(service.PageFiles().empty());
    EXPECT_NE(Log().find("Processing hasn't finished, unexpected error"), std::string::npos);
}

TEST_F(ScanWorker, ARefusedLastPageGetsMinusFourAndThenTheJobsEnd) {
    FaxServiceProcess service({"--refuse=no room"});
    StartAgent(service);
    QueueImage(26, vexlo::kScanTypeGrey, "1.bmp");
    ASSERT_TRUE(WaitForCount(kDone, 1));
    EXPECT_EQ(StepStates(), (std::vector<int>{3, 4, -4, 6}));
    auto refused = std::find_if(agent->client.answers.begin(), agent->client.answers.end(),
                                [](const auto& answer) { return answer.state == -4; });
    EXPECT_EQ(refused->text, u"no room");
    EXPECT_TRUE(Listing(Processed()).empty());
    EXPECT_NE(Log().find("Item hasn't sent "), std::string::npos);
}

TEST_F(ScanWorker, WithTheServiceDownTheUploadFailsAndTheFilesGo) {
    int port = 0;
    {
        FaxServiceProcess gone;  // a port that was free a moment ago
        port = gone.port();
    }
    StartAgent("http://127.0.0.1:" + std::to_string(port) + "/services/vexloplugin");
    std::filesystem::path image = QueueImage(27, vexlo::kScanTypeGrey, "1.bmp");
    ASSERT_TRUE(WaitForCount(kDone, 1));
    EXPECT_EQ(StepStates(), (std::vector<int>{3, 4, -4, 6}));
    EXPECT_FALSE(std::filesystem::exists(image));
    EXPECT_TRUE(Listing(Processed()).empty());
}

TEST_F(ScanWorker, AStoppedJobsQueuedImagesAreDroppedAndStayOnDisk) {
    // The service answers after a while, so the three images of the second
    // job wait in the queue while the first job's page is on its way.
    FaxServiceProcess service({"--stall=1500"});
    StartAgent(service);
    QueueImage(28, vexlo::kScanTypeGrey, "a.bmp");
    ASSERT_TRUE(WaitForCount(vexlo::kStateUploading, 1));
    std::vector<std::filesystem::path> stopped = {QueueImage(29, vexlo::kScanTypeGrey, "b1.bmp"),
                                                  QueueImage(29, vexlo::kScanTypeGrey, "b2.bmp"),
                                                  QueueImage(29, vexlo::kScanTypeGrey, "b3.bmp")};
    agent->Send(MakeRequest(vexlo::kRequestStopScan, 0, 29));
    ASSERT_TRUE(WaitForCount(kDone, 1));
    QueueImage(30, vexlo::kScanTypeGrey, "c.bmp");  // the next item runs the purge
    ASSERT_TRUE(WaitForCount(kDone, 2));

    EXPECT_EQ(StepStates(), (std::vector<int>{3, 4, 5, 6, 3, 4, 5, 6}));
    for (const auto& file : stopped) {
        EXPECT_TRUE(std::filesystem::exists(file)) << file;
    }
    EXPECT_TRUE(agent->window().QueuedItems().empty());
    EXPECT_TRUE(agent->window().CancelledJobIds().empty());
    EXPECT_EQ(service.PageFiles().size(), 2u);
}

TEST_F(ScanWorker, AStopDuringTheUploadEndsTheItemWithoutAnswer) {
    // A large colour page read slowly by the service: the upload is still
    // streaming when the stop arrives.
    FaxServiceProcess service({"--slow-read=300000"});
    StartAgent(service);
    QueueImage(31, vexlo::kScanTypeColour, "1.bmp", 2400, 3300);
    ASSERT_TRUE(PumpUntil(
        [&] {
            return std::any_of(agent->client.answers.begin(), agent->client.answers.end(),
                               [](const auto& a) { return a.state == 4 && a.info > 0; });
        },
        std::chrono::seconds(30)));
    agent->Send(MakeRequest(vexlo::kRequestStopScan, 0, 31));
    ASSERT_TRUE(PumpUntil([&] { return Log().find("Item hasn't sent ") != std::string::npos; },
                          std::chrono::seconds(30)));
    PumpUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_EQ(CountOf(vexlo::kStateUploaded), 0u);
    EXPECT_EQ(CountOf(vexlo::kStateUploadFailed), 0u);
    EXPECT_EQ(CountOf(kDone), 0u);
    EXPECT_TRUE(Listing(Processed()).empty());
}

TEST_F(ScanWorker, ClosingWhileAnUploadWaitsOnTheServiceCutsTheUpload) {
    // The service takes the whole page and then keeps its answer back for a
    // minute; the agent closes meanwhile.
    FaxServiceProcess service({"--stall=60000"});
    StartAgent(service);
    QueueImage(36, vexlo::kScanTypeGrey, "1.bmp");
    ASSERT_TRUE(PumpUntil([&] {
        return std::any_of(agent->client.answers.begin(), agent->client.answers.end(),
                           [](const auto& a) { return a.state == 4 && a.info == 100; });
    }));
    DestroyWindow(agent->hwnd());
    EXPECT_EQ(CountOf(vexlo::kStateUploaded), 0u);
    EXPECT_EQ(CountOf(vexlo::kStateUploadFailed), 0u);
    EXPECT_EQ(CountOf(kDone), 0u);
    EXPECT_TRUE(Listing(Processed()).empty());
    EXPECT_NE(Log().find("Item hasn't sent "), std::string::npos);
}

TEST_F(ScanWorker, AnIdleWorkerStopsWithTheWindow) {
    FaxServiceProcess service;
    StartAgent(service);
    PumpUntil([] { return false; }, std::chrono::milliseconds(200));
    DestroyWindow(agent->hwnd());
    EXPECT_FALSE(IsWindow(agent->hwnd()));
    EXPECT_TRUE(std::filesystem::exists(agent->DataFolder() / "settings.ini"));
    EXPECT_NE(Log().find("Close desktop..."), std::string::npos);
}

TEST_F(ScanWorker, AnIdleWorkerLeavesCancelledIdsForTheUpload) {
    FaxServiceProcess service;
    StartAgent(service);
    agent->Send(MakeRequest(vexlo::kRequestStopScan, 0, 34));
    PumpUntil([] { return false; }, std::chrono::milliseconds(1500));
    EXPECT_EQ(agent->window().CancelledJobIds(), (std::list<int>{34}));
    EXPECT_TRUE(agent->window().IsCancelled(34));
    EXPECT_TRUE(agent->client.answers.empty());
}

}  // namespace
