// Print jobs end to end with real processes: this test is the plug-in (its
// client window receives every state), the real agent_vexlo has the local
// fax service render the print command, desktop-user answers the print
// dialog, and the sheets land in the session's spool.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
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

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class PrintJobEndToEnd : public ::testing::Test {
protected:
    // The service with its fault options and the session's printers (none
    // given: the default A4 printer), then the agent.
    void Start(std::vector<std::string> serviceArgs = {}, const std::string& printers = {}) {
        service = std::make_unique<FaxServiceProcess>(std::move(serviceArgs));
        ASSERT_TRUE(service->started()) << service->ErrorOutput();
        if (!printers.empty()) {
            WriteFileBytes(run.Session() / "printers", printers);
        }
        ASSERT_TRUE(run.Start("trace-level=4\nsoap-server=" + service->endpoint() + "\n"));
    }
    void TearDown() override {
        if (run.running()) {
            EXPECT_EQ(run.Close(20s), 0);
        }
    }

    std::filesystem::path DataFolder() const { return run.DataFolder(); }
    std::filesystem::path PrintFolder() const { return DataFolder() / "Print"; }
    std::filesystem::path Job(int number) const {
        return run.Session() / "spool" / std::to_string(number);
    }

    void Print(const std::u16string& command) {
        vexlo::PluginRequest request = vexlo::test::MakeRequest(vexlo::kRequestPrint);
        vexlo::WriteField(request.apiKey, u"e2e-key");
        vexlo::WriteField(request.printingRequest, command);
        run.Send(request);
    }
    int User(const std::vector<std::string>& arguments) { return run.User(arguments); }
    bool WaitForState(int state) { return run.WaitForState(state); }
    std::vector<int> States() const {
        std::vector<int> states;
        for (const auto& answer : run.client.answers) {
            states.push_back(answer.state);
        }
        return states;
    }
    // No further answer comes within a short while.
    void Settle() {
        vexlo::test::PumpUntil([] { return false; }, 500ms);
    }
    bool PrintFolderEmpty() const {
        return !std::filesystem::exists(PrintFolder()) || std::filesystem::is_empty(PrintFolder());
    }
    bool DialogOpen() { return FindWindowW(u"#32770", u"Print") != nullptr; }

    std::unique_ptr<FaxServiceProcess> service;
    vexlo::test::AgentRun run;
};

TEST_F(PrintJobEndToEnd, TwoShortPagesShareASheetAndATallPageHasItsOwn) {
    Start();
    Print(u"sizes=1678x600,1678x600,1678x2373");
    ASSERT_TRUE(WaitForState(vexlo::kPrintLoaded));
    ASSERT_EQ(User({"press", "Print", "Print"}), 0);
    ASSERT_TRUE(WaitForState(vexlo::kPrintPrinted));
    Settle();
    EXPECT_EQ(States(), (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(PrintFolderEmpty());

    // The geometry on the default A4 printer at 600 dpi (printable 4800 x
    // 6800, sheet 4960 x 7016, offsets 80 and 108): each page stretched to
    // 4800 wide with the margins cropped off the image, the cut line between
    // the two short pages.
    std::string job = ReadText(Job(1) / "job.txt");
    const char* expected[] = {
        "document \"Vexlo print\"",
        "devmode orientation 1 print-quality -1 dpi 600 fields 0x00000401",
        "StartPage 1 printable 4800 x 6800 physical 4960 x 7016 offset 80 108 scale 1/8",
        "StretchBlt 0 0 4800 1716 from 27 36 1624 528",
        "StretchBlt 0 1716 4800 116 from 0 0 1728 42",
        "StretchBlt 0 1832 4800 1716 from 27 36 1624 528",
        "EndPage 1 sheet-001.png 620 x 877",
        "StartPage 2",
        "StretchBlt 0 0 4800 6788 from 27 36 1624 2301",
        "EndPage 2 sheet-002.png 620 x 877",
        "EndDoc",
    };
    size_t at = 0;
    for (const char* line : expected) {
        size_t found = job.find(line, at);
        ASSERT_NE(found, std::string::npos) << line << "\nin\n" << job;
        at = found;
    }
    EXPECT_FALSE(std::filesystem::exists(Job(1) / "sheet-003.png"));
    vexlo::test::DecodedPng sheet = vexlo::test::DecodePng(Job(1) / "sheet-001.png");
    ASSERT_TRUE(sheet.ok);
    EXPECT_EQ(sheet.width, 620u);
    EXPECT_EQ(sheet.height, 877u);
    // The cut line's red shows between the two pages (rows 1716..1832 of the
    // printable area, 108 below the sheet's top edge, at 1/8).
    bool red = false;
    for (int y = (1716 + 108) / 8; y < (1832 + 108) / 8 && !red; ++y) {
        for (int x = 10; x < 600 && !red; ++x) {
            const uint8_t* pixel = &sheet.samples[(static_cast<size_t>(y) * sheet.width + x) * 3];
            red = pixel[0] > 200 && pixel[1] < 80 && pixel[2] < 80;
        }
    }
    EXPECT_TRUE(red);
}

TEST_F(PrintJobEndToEnd, CancelInTheDialogAnswersMinusEightAndDeletesTheBitmaps) {
    Start();
    Print(u"pages=2");
    ASSERT_TRUE(WaitForState(vexlo::kPrintLoaded));
    ASSERT_EQ(User({"press", "Print", "Cancel"}), 0);
    ASSERT_TRUE(WaitForState(vexlo::kPrintNotConfirmed));
    Settle();
    EXPECT_EQ(States(), (std::vector<int>{1, 2, -8}));
    EXPECT_TRUE(PrintFolderEmpty());
    EXPECT_FALSE(std::filesystem::exists(Job(1)));
}

struct DialogFailure {
    const char* name;
    const char* printers;
};

class PrintDialogFailure : public PrintJobEndToEnd,
                           public ::testing::WithParamInterface<DialogFailure> {};

TEST_P(PrintDialogFailure, AnswersMinusEightAndDeletesTheBitmaps) {
    Start({}, GetParam().printers);
    Print(u"pages=1");
    ASSERT_TRUE(WaitForState(vexlo::kPrintNotConfirmed));
    Settle();
    EXPECT_EQ(States(), (std::vector<int>{1, 2, -8}));
    EXPECT_TRUE(PrintFolderEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Printers, PrintDialogFailure,
    ::testing::Values(DialogFailure{"DialogFails", "[dialog]\nfail = yes\n[printer]\nname = P\n"},
                      DialogFailure{"NoPrinter", "# no printer at all\n"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(PrintJobEndToEnd, ARefusedRenderAnswersMinusSixWithTheTextThenMinusFive) {
    Start({"--refuse=Rendering is not allowed"});
    Print(u"pages=1");
    ASSERT_TRUE(WaitForState(vexlo::kPrintFailed));
    Settle();
    EXPECT_EQ(States(), (std::vector<int>{1, -6, -5}));
    ASSERT_GE(run.client.answers.size(), 2u);
    EXPECT_EQ(run.client.answers[1].text, u"Rendering is not allowed");
}

TEST_F(PrintJobEndToEnd, ARenderWithoutPagesAnswersMinusSeven) {
    Start();
    Print(u"pages=0");
    ASSERT_TRUE(WaitForState(vexlo::kPrintNoPages));
    Settle();
    EXPECT_EQ(States(), (std::vector<int>{1, -7}));
}

TEST_F(PrintJobEndToEnd, APageThatIsNoImageAnswersMinusFiveAndLeavesNothing) {
    Start();
    Print(u"pages=3;broken=2");
    ASSERT_TRUE(WaitForState(vexlo::kPrintFailed));
    Settle();
    EXPECT_EQ(States(), (std::vector<int>{1, 2, -5}));
    EXPECT_TRUE(PrintFolderEmpty());
    EXPECT_FALSE(DialogOpen());
}

class PrinterRefusal : public PrintJobEndToEnd,
                       public ::testing::WithParamInterface<const char*> {};

TEST_P(PrinterRefusal, AnswersMinusFiveAndAbortsTheDocument) {
    Start({},
          std::string("[printer]\nname = Refusing\ndefault = yes\nfail = ") + GetParam() + "\n");
    Print(u"pages=2");
    ASSERT_TRUE(WaitForState(vexlo::kPrintLoaded));
    ASSERT_EQ(User({"press", "Print", "Print"}), 0);
    ASSERT_TRUE(WaitForState(vexlo::kPrintFailed));
    Settle();
    EXPECT_EQ(States(), (std::vector<int>{1, 2, -5}));
    EXPECT_TRUE(PrintFolderEmpty());
    std::string job = ReadText(Job(1) / "job.txt");
    EXPECT_NE(job.find("AbortDoc"), std::string::npos) << job;
    EXPECT_EQ(job.find("\nEndDoc\n"), std::string::npos) << job;  // never ended in order
}

INSTANTIATE_TEST_SUITE_P(Calls, PrinterRefusal,
                         ::testing::Values("start-doc", "start-page", "end-page", "end-doc"),
                         [](const auto& param) {
                             std::string name = param.param;
                             std::erase(name, '-');
                             return name;
                         });

TEST_F(PrintJobEndToEnd, ClosingWhileTheDialogIsOpenEndsTheAgent) {
    Start();
    Print(u"pages=2");
    ASSERT_TRUE(WaitForState(vexlo::kPrintLoaded));
    ASSERT_TRUE(vexlo::test::PumpUntil([&] { return DialogOpen(); }));
    auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(run.Close(20s), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - began, 15s);
    EXPECT_EQ(States(), (std::vector<int>{1, 2}));
    EXPECT_TRUE(PrintFolderEmpty());
    EXPECT_TRUE(std::filesystem::exists(DataFolder() / "settings.ini"));
    EXPECT_NE(ReadText(DataFolder() / "settings.ini").find("scan-mode"), std::string::npos);
}

TEST_F(PrintJobEndToEnd, ClosingWhileTheRenderStallsEndsTheAgent) {
    Start({"--stall=120000"});
    Print(u"pages=2");
    ASSERT_TRUE(WaitForState(vexlo::kPrintLoading));
    vexlo::test::PumpUntil([] { return false; }, 500ms);
    auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(run.Close(20s), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - began, 15s);
    EXPECT_EQ(States(), (std::vector<int>{1}));
    EXPECT_TRUE(PrintFolderEmpty());
    EXPECT_NE(ReadText(DataFolder() / "settings.ini").find("scan-mode"), std::string::npos);
}

}  // namespace
