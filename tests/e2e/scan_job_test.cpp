// Scan jobs end to end with real processes: this test is the plug-in (its
// client window receives every state), the real agent_vexlo scans from a
// virtual TWAIN source, desktop-user presses Scan in the source's dialog,
// and the pages go to the local fax service.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "agent_run.h"
#include "fax_service_process.h"
#include "page_files.h"
#include "protocol/records.h"
#include "support/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using vexlo::test::FaxServiceProcess;
using vexlo::test::WriteFileBytes;

class ScanJobEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service.started()) << service.ErrorOutput();
        WriteFileBytes(
            run.Session() / "twain-sources",
            // A4 at 300 dpi from the feeder, three sheets a run.
            "[source]\nname = Office Feeder\nx-resolution = enumeration fix32 75 300 600\n"
            "pages = 3\npage = 8 2480 3508\n"
            // A4 at 200 dpi from the flatbed, one sheet.
            "[source]\nname = Desk Flatbed\nx-resolution = enumeration fix32 100 200\n"
            "page = 1 1654 2339\n");
        ASSERT_TRUE(
            run.Start("scan-mode=3\ntrace-level=4\nsoap-server=" + service.endpoint() + "\n"));
    }
    void TearDown() override {
        if (run.running()) {
            EXPECT_EQ(run.Close(10s), 0);
        }
    }

    std::filesystem::path DataFolder() const { return run.DataFolder(); }

    void Send(int code, int param, int jobId) {
        vexlo::PluginRequest request = vexlo::test::MakeRequest(code, param, jobId);
        vexlo::WriteField(request.apiKey, u"e2e-key");
        request.messageId = 9;
        run.Send(request);
    }
    int User(const std::vector<std::string>& arguments) { return run.User(arguments); }
    bool WaitForState(int state, size_t count) { return run.WaitForState(state, count); }
    // The answers without the upload's per-cent steps, which are checked
    // apart: each page's per cent rises to 100.
    std::vector<int> Steps(size_t from = 0) const {
        std::vector<int> steps;
        int percent = 0;
        for (size_t i = from; i < run.client.answers.size(); ++i) {
            const auto& answer = run.client.answers[i];
            if (answer.state == vexlo::kStateUploading && answer.info > 0) {
                EXPECT_GT(answer.info, percent);
                percent = answer.info;
                continue;
            }
            if (answer.state == vexlo::kStateUploaded) {
                EXPECT_EQ(percent, 100);
                percent = 0;
            }
            steps.push_back(answer.state);
        }
        return steps;
    }
    static std::vector<int> ScannerSteps(const std::vector<int>& steps) {
        std::vector<int> scanner;
        std::copy_if(steps.begin(), steps.end(), std::back_inserter(scanner),
                     [](int state) { return state == 1 || state == 2; });
        return scanner;
    }
    static std::vector<int> WorkerSteps(const std::vector<int>& steps) {
        std::vector<int> worker;
        std::copy_if(steps.begin(), steps.end(), std::back_inserter(worker),
                     [](int state) { return state != 1 && state != 2; });
        return worker;
    }
    std::vector<std::string> Listing(const std::string& folder) const {
        std::filesystem::path path = DataFolder() / folder;
        return std::filesystem::exists(path) ? vexlo::test::FolderListing(path)
                                             : std::vector<std::string>{};
    }
    vexlo::test::DecodedPng Page(const std::string& name) const {
        return vexlo::test::DecodePng(std::filesystem::path(service.pagesDir()) / name);
    }

    FaxServiceProcess service;
    vexlo::test::AgentRun run;
};

TEST_F(ScanJobEndToEnd, AThreePageAndAOnePageJobArriveAtTheService) {
    Send(vexlo::kRequestScan, vexlo::kScanTypeGrey, 71);
    ASSERT_EQ(User({"twain-scan", "Office Feeder"}), 0);
    ASSERT_TRUE(WaitForState(vexlo::kStateJobDone, 1));
    // The scanner's states (1 and, once the run has ended, 2) and,
    // interleaved with them, the worker's for each page made and uploaded;
    // 6 only after the last.
    std::vector<int> steps = Steps();
    EXPECT_EQ(WorkerSteps(steps), (std::vector<int>{3, 4, 5, 3, 4, 5, 3, 4, 5, 6}))
        << ::testing::PrintToString(steps);
    EXPECT_EQ(ScannerSteps(steps), (std::vector<int>{1, 2})) << ::testing::PrintToString(steps);
    EXPECT_EQ(steps.front(), vexlo::kStateImageInfo);
    EXPECT_EQ(steps.back(), vexlo::kStateJobDone);

    // The service accepted each page only with a matching MD5.
    std::vector<std::string> pages = service.PageFiles();
    ASSERT_EQ(pages.size(), 3u);
    for (const std::string& name : pages) {
        vexlo::test::DecodedPng page = Page(name);
        ASSERT_TRUE(page.ok) << name;
        EXPECT_EQ(page.width, 1678u);
        EXPECT_LE(page.height, 2373u);
        EXPECT_GE(page.height, 2360u) << "an A4 sheet at 203 dpi";
        EXPECT_EQ(page.physX, 203u) << "a 300 dpi scan";
    }
    EXPECT_TRUE(Listing("Scanned").empty());
    EXPECT_TRUE(Listing("Processed").empty());

    // The flatbed, chosen as a person does, then a one-page job at 200 dpi.
    size_t before = run.client.answers.size();
    Send(vexlo::kRequestSelectScanner, vexlo::kInterfaceTwain, 0);
    ASSERT_EQ(User({"twain-select", "Desk Flatbed"}), 0);
    ASSERT_TRUE(WaitForState(vexlo::kReplySelectedScanner, 1));
    Send(vexlo::kRequestScan, vexlo::kScanTypeGrey, 72);
    ASSERT_EQ(User({"twain-scan", "Desk Flatbed"}), 0);
    ASSERT_TRUE(WaitForState(vexlo::kStateJobDone, 2));
    steps = Steps(before + 1);
    EXPECT_EQ(WorkerSteps(steps), (std::vector<int>{3, 4, 5, 6}));
    EXPECT_EQ(ScannerSteps(steps), (std::vector<int>{1, 2}));
    pages = service.PageFiles();
    ASSERT_EQ(pages.size(), 4u);
    int at200 = 0;
    for (const std::string& name : pages) {
        at200 += Page(name).physX == 200 ? 1 : 0;
    }
    EXPECT_EQ(at200, 1);
    EXPECT_TRUE(Listing("Scanned").empty());
    EXPECT_TRUE(Listing("Processed").empty());
}

TEST_F(ScanJobEndToEnd, ClosingTheAgentWithQueuedImagesDeletesThem) {
    // A service that answers late keeps the first page's upload running
    // while the other two images wait in the queue.
    FaxServiceProcess slow({"--stall=1500"});
    ASSERT_TRUE(slow.started());
    ASSERT_EQ(run.Close(10s), 0);
    ASSERT_TRUE(run.Start("scan-mode=3\nsoap-server=" + slow.endpoint() + "\n"));

    Send(vexlo::kRequestScan, vexlo::kScanTypeGrey, 73);
    ASSERT_EQ(User({"twain-scan", "Office Feeder"}), 0);
    ASSERT_TRUE(WaitForState(vexlo::kStateUploading, 1));
    EXPECT_EQ(run.Close(10s), 0);
    EXPECT_TRUE(Listing("Scanned").empty());
    EXPECT_TRUE(Listing("Processed").empty());
    EXPECT_TRUE(slow.PageFiles().size() <= 1u);
}

}  // namespace
