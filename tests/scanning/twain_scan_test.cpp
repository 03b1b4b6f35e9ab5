// Scan runs through the agent with the real TWAIN manager and the virtual
// sources of the data source manager stand-in: resolutions, feeder runs,
// the images' files and the sources' failures.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "agent/base/data_folders.h"
#include "agent/base/settings.h"
#include "desktop_user.h"
#include "twain_agent_fixture.h"

namespace {

using vexlo::test::ReadBmp;
using vexlo::test::TwainAgent;

constexpr const char* kRememberedWia =
    "[settings]\nscan-mode=3\ntrace-level=4\n[wia]\nwia-scanner=dev-1\n";

std::string Source(const std::string& name, const std::string& extra) {
    return "[source]\nname = " + name + "\n" + extra;
}

std::u16string ImageInfo(int dpi, const std::u16string& name) {
    return u"{ \"dpi\":\"" + vexlo::test::Wide(std::to_string(dpi)) +
           u"\", \"mode\": \"3\", \"cs\": \"1\", \"name\": \"" + name + u"\"}";
}

// One scan run with the source's Scan button; the answers it got.
std::vector<int> ScanOnce(TwainAgent& agent, int scanType, int jobId, const std::u16string& name) {
    agent.Scan(scanType, jobId);
    HWND dialog = agent.SourceDialog(name);
    EXPECT_NE(dialog, nullptr) << "the source's dialog";
    if (dialog != nullptr) {
        agent.Press(dialog, u"Scan");
    }
    return agent.States();
}

TEST(TwainScan, AThreePageFeederRunGivesOneImageInformationThreeFilesAndOneEnd) {
    TwainAgent agent(Source("Virtual Feeder",
                            "x-resolution = enumeration fix32 75 150 300 600\n"
                            "resolution = 75\npages = 3\npage = 1 1700 2200\n"),
                     kRememberedWia);
    agent.Scan(1, 501);
    HWND dialog = agent.SourceDialog(u"Virtual Feeder");
    ASSERT_NE(dialog, nullptr) << "the source's dialog is up";
    EXPECT_EQ(agent.Manager().GetState(), 1);
    EXPECT_EQ(agent.Manager().GetJobId(), 501);
    EXPECT_TRUE(agent.Answers().empty());

    agent.Press(dialog, u"Scan");
    ASSERT_EQ(agent.States(), (std::vector<int>{1, 2}));
    EXPECT_EQ(agent.Answers()[0].info, 3);
    EXPECT_EQ(agent.Answers()[0].text, ImageInfo(300, u"Virtual Feeder"));
    EXPECT_EQ(agent.Answers()[1].info, 0);
    EXPECT_EQ(agent.Answers()[1].text, u"");
    auto queued = agent.Queued();
    ASSERT_EQ(queued.size(), 3u);
    for (const auto& item : queued) {
        EXPECT_EQ(item.dpi, 300);
        EXPECT_EQ(item.jobId, 501);
        EXPECT_EQ(item.apiKey, u"key-1");
        EXPECT_EQ(item.scanType, 1);
        EXPECT_EQ(item.client, agent.ClientWindow());
        EXPECT_EQ(item.file.substr(item.file.size() - 4), u".bmp");
        auto bmp = ReadBmp(item.file);
        ASSERT_TRUE(bmp.valid);
        EXPECT_EQ(bmp.width, 1700);
        EXPECT_EQ(bmp.height, 2200);
        EXPECT_EQ(bmp.bitCount, 1);
        EXPECT_EQ(bmp.offBits, 62u);
        EXPECT_EQ(bmp.bytes, 62u + 216u * 2200u) << "rows of 216 bytes";
        EXPECT_EQ(bmp.fileSize, bmp.bytes);
    }
    EXPECT_EQ(agent.ScannedFiles().size(), 3u);
    EXPECT_EQ(agent.Manager().GetState(), 0);
    EXPECT_EQ(agent.Manager().GetJobId(), 501) << "kept after the run";
    EXPECT_EQ(vexlo::GetSettings()->scanMode, 3);
    EXPECT_EQ(vexlo::GetSettings()->wiaScanner.value_or(u"unset"), u"") << "cleared";
    EXPECT_EQ(agent.SourceDialog(u"Virtual Feeder"), nullptr) << "this source closes after a run";
}

TEST(TwainScan, TheResolutionIsTheFirstListedOfAtLeast200DpiElseTheLastAndOnlyFromALists) {
    struct Case {
        const char* container;
        int scanType;
        int expected;
        double exact;  // with the fraction, which the source must get too
    };
    const Case cases[] = {
        {"enumeration fix32 75 150 300 600", 1, 300, 300},
        {"enumeration fix32 75 100 150", 1, 150, 150},
        {"enumeration fix32 75 150 240.5 600", 1, 240, 240.5},
        {"onevalue fix32 75", 1, 75, 75},
        {"range fix32 75 600 25", 1, 75, 75},
        {"enumeration uint16 75 150 300", 1, 75, 75},
        {"array fix32 75 300", 1, 75, 75},
        {"enumeration fix32 75 150 300 600", 2, 75, 75},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.container) + " type " + std::to_string(c.scanType));
        TwainAgent agent(Source("Res", std::string("x-resolution = ") + c.container +
                                           "\nresolution = 75\npage = 8 40 30\n"));
        ASSERT_EQ(ScanOnce(agent, c.scanType, 7, u"Res"), (std::vector<int>{1, 2}));
        EXPECT_EQ(agent.Answers()[0].text, ImageInfo(c.expected, u"Res"));
        auto queued = agent.Queued();
        ASSERT_EQ(queued.size(), 1u);
        EXPECT_EQ(queued[0].dpi, c.expected);
        // The Y resolution follows: the DIB's vertical pixels a metre.
        std::string bytes = vexlo::test::ReadFileBytes(
            std::filesystem::path(std::string(queued[0].file.begin(), queued[0].file.end())));
        ASSERT_GE(bytes.size(), 54u);
        int32_t yPerMetre = 0;
        std::memcpy(&yPerMetre, bytes.data() + 42, 4);
        EXPECT_NEAR(yPerMetre, c.exact / 0.0254, 1.0);
    }
}

TEST(TwainScan, EightBitAndColourImagesGetTheirColourTables) {
    TwainAgent agent(Source("Mixed", "pages = 2\npage = 8 850 1100\npage = 24 300 200\n"));
    ASSERT_EQ(ScanOnce(agent, 2, 8, u"Mixed"), (std::vector<int>{1, 2}));
    auto queued = agent.Queued();
    ASSERT_EQ(queued.size(), 2u);
    auto grey = ReadBmp(queued[0].file);
    EXPECT_EQ(grey.bitCount, 8);
    EXPECT_EQ(grey.offBits, 1078u);
    EXPECT_EQ(grey.bytes, 1078u + 852u * 1100u);
    auto colour = ReadBmp(queued[1].file);
    EXPECT_EQ(colour.bitCount, 24);
    EXPECT_EQ(colour.offBits, 54u);
    EXPECT_EQ(colour.bytes, 54u + 900u * 200u);
}

TEST(TwainScan, ASourceThatTakesFewerTransfersIsToldThatCountBack) {
    TwainAgent agent(Source("Limited", "pages = 5\nxfer-limit = 2\npage = 8 20 20\n"));
    ASSERT_EQ(ScanOnce(agent, 1, 9, u"Limited"), (std::vector<int>{1, 2}));
    EXPECT_EQ(agent.Queued().size(), 2u);
}

TEST(TwainScan, ADialogThatStaysOpenGivesFurtherRunsForTheSameJob) {
    TwainAgent agent(Source("Flatbed", "keep-open = yes\npages = 2\npage = 8 30 30\n"));
    ASSERT_EQ(ScanOnce(agent, 1, 11, u"Flatbed"), (std::vector<int>{1, 2}));
    HWND dialog = agent.SourceDialog(u"Flatbed");
    ASSERT_NE(dialog, nullptr) << "still open";
    EXPECT_EQ(agent.Manager().GetState(), 0) << "idle between runs";
    agent.Press(dialog, u"Scan");
    EXPECT_EQ(agent.States(), (std::vector<int>{1, 2, 1, 2}));
    auto queued = agent.Queued();
    ASSERT_EQ(queued.size(), 4u);
    EXPECT_EQ(queued[3].jobId, 11);
    agent.Press(dialog, u"Close");
    EXPECT_EQ(agent.SourceDialog(u"Flatbed"), nullptr);
    EXPECT_EQ(agent.States().size(), 4u) << "closing sends nothing";
}

TEST(TwainScan, ANewScanClosesADialogLeftOpenAndStartsAfresh) {
    TwainAgent agent(Source("Flatbed", "keep-open = yes\npage = 8 30 30\n"));
    ASSERT_EQ(ScanOnce(agent, 1, 13, u"Flatbed"), (std::vector<int>{1, 2}));
    HWND first = agent.SourceDialog(u"Flatbed");
    ASSERT_NE(first, nullptr);
    agent.Scan(1, 14);
    HWND second = agent.SourceDialog(u"Flatbed");
    EXPECT_FALSE(IsWindow(first));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(agent.Manager().GetState(), 1);
    EXPECT_EQ(agent.Manager().GetJobId(), 14);
    agent.Press(second, u"Scan");
    EXPECT_EQ(agent.States(), (std::vector<int>{1, 2, 1, 2}));
    EXPECT_EQ(agent.Queued().back().jobId, 14);
}

TEST(TwainScan, EnterInTheSourcesDialogScansThroughTheAgentsMessageFilter) {
    TwainAgent agent(Source("Keys", "page = 8 16 16\n"));
    agent.Scan(1, 12);
    HWND dialog = agent.SourceDialog(u"Keys");
    ASSERT_NE(dialog, nullptr);
    desktop_user::PressKey(dialog, VK_RETURN);
    agent.Pump();
    EXPECT_EQ(agent.States(), (std::vector<int>{1, 2}));
}

TEST(TwainScan, TransferCancelledBySourceEndsTheRunWithoutAnEnd) {
    TwainAgent agent(Source("Cancelling", "pages = 3\nfail = transfer-cancel\nfail-page = 2\n"),
                     kRememberedWia);
    EXPECT_EQ(ScanOnce(agent, 1, 21, u"Cancelling"), (std::vector<int>{1}));
    EXPECT_EQ(agent.Queued().size(), 1u) << "the page before the cancel is kept";
    EXPECT_EQ(agent.Manager().GetState(), 0);
    EXPECT_NE(agent.Log().find("Recv TWRC_CANCEL abort scanning"), std::string::npos);
    EXPECT_EQ(vexlo::GetSettings()->wiaScanner.value_or(u""), u"dev-1") << "mode not remembered";
}

TEST(TwainScan, TransferFailureEndsTheRunWithAnEndButTheModeIsNotRemembered) {
    TwainAgent agent(Source("Failing", "pages = 3\nfail = transfer-failure\nfail-page = 2\n"),
                     kRememberedWia);
    EXPECT_EQ(ScanOnce(agent, 1, 22, u"Failing"), (std::vector<int>{1, 2}));
    EXPECT_EQ(agent.Queued().size(), 1u);
    EXPECT_EQ(agent.Manager().GetState(), 0);
    EXPECT_EQ(vexlo::GetSettings()->wiaScanner.value_or(u""), u"dev-1");
}

TEST(TwainScan, ImageInformationThatFailsAnswersMinusFive) {
    TwainAgent agent(Source("No Info", "fail = image-info\n"));
    EXPECT_EQ(ScanOnce(agent, 1, 23, u"No Info"), (std::vector<int>{-5}));
    EXPECT_TRUE(agent.Queued().empty());
    EXPECT_EQ(agent.Manager().GetState(), 0);
}

TEST(TwainScan, ASourceThatCannotBeEnabledIsLoggedClosedAndAnswersMinusNine) {
    TwainAgent agent(Source("No UI", "fail = enable\n"));
    agent.Scan(1, 24);
    EXPECT_EQ(agent.States(), (std::vector<int>{-9}));
    EXPECT_EQ(agent.Manager().GetState(), 0);
    EXPECT_EQ(agent.SourceDialog(u"No UI"), nullptr);
    EXPECT_NE(agent.Log().find("Couldn't EnableSource, maybe it's driver without ui?"),
              std::string::npos);
}

TEST(TwainScan, AnImageThatCannotBeWrittenAnswersMinusFiveAndTheRunGoesOn) {
    TwainAgent agent(Source("Nowhere", "pages = 2\npage = 8 10 10\n"));
    // The Scanned folder is taken by a file: no image can be created there.
    std::u16string scanned = vexlo::GetScannedFolder();
    std::filesystem::path scannedPath(desktop_user::Narrow(scanned));
    std::filesystem::remove_all(scannedPath);
    vexlo::test::WriteFileBytes(scannedPath, "not a folder");
    EXPECT_EQ(ScanOnce(agent, 1, 25, u"Nowhere"), (std::vector<int>{1, -5, -5, 2}));
    EXPECT_TRUE(agent.Queued().empty());
    std::filesystem::remove(scannedPath);
}

TEST(TwainScan, NoSourceAnswersMinusTwoAndAFailedOpenMinusNine) {
    {
        TwainAgent agent("# no sources\n");
        agent.Scan(1, 31);
        EXPECT_EQ(agent.States(), (std::vector<int>{-2}));
        EXPECT_EQ(agent.Manager().GetState(), 0);
    }
    {
        TwainAgent agent(Source("Offline", "fail = open\n"));
        agent.Scan(1, 32);
        EXPECT_EQ(agent.States(), (std::vector<int>{-9}));
    }
}

TEST(TwainScan, AManagerThatCannotBeLoadedOrOpenedAnswersMinusNine) {
    const char* libraries[] = {"MISSING_TWAIN.DLL", "USER32.dll"};  // none; no DSM_Entry
    for (const char* library : libraries) {
        TwainAgent agent(Source("Any", ""), "[settings]\nscan-mode=3\n", library);
        agent.Scan(1, 33);
        EXPECT_EQ(agent.States(), (std::vector<int>{-9})) << library;
        agent.Send(vexlo::test::Request(vexlo::kRequestGetSelectedScanner, vexlo::kInterfaceTwain));
        ASSERT_EQ(agent.Answers().size(), 2u);
        EXPECT_EQ(agent.Answers()[1].state, vexlo::kReplyGetSelectedScanner);
        EXPECT_EQ(agent.Answers()[1].text, u"") << library;
    }
    TwainAgent agent("[manager]\nfail = open-dsm\n" + Source("Any", ""));
    agent.Scan(1, 34);
    EXPECT_EQ(agent.States(), (std::vector<int>{-9}));
}

}  // namespace
