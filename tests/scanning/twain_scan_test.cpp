// Scans through the agent with the real TWAIN manager and the virtual
// sources of the data source manager stand-in.
#include <windows.h>

#include <gtest/gtest.h>

#include "agent/core/settings.h"
#include "twain_agent_fixture.h"

namespace {

using vexlo::test::ReadBmp;
using vexlo::test::TwainAgent;

const char* kFeeder =
    "[source]\n"
    "name = Virtual Feeder\n"
    "x-resolution = enumeration fix32 75 150 300 600\n"
    "resolution = 75\n"
    "pages = 3\n"
    "page = 1 1700 2200\n";

TEST(TwainScan, AThreePageFeederRunGivesOneImageInformationThreeFilesAndOneEnd) {
    TwainAgent agent(kFeeder, "[settings]\nscan-mode=3\n[wia]\nwia-scanner=dev-1\n");
    agent.Scan(1, 501);
    HWND dialog = agent.SourceDialog(u"Virtual Feeder");
    ASSERT_NE(dialog, nullptr) << "the source's dialog is up";
    EXPECT_EQ(agent.Manager().GetState(), 1);
    EXPECT_TRUE(agent.Answers().empty());

    agent.Press(dialog, u"Scan");
    ASSERT_TRUE(agent.PumpUntil([&] { return agent.Answers().size() >= 2; }));
    EXPECT_EQ(agent.States(), (std::vector<int>{1, 2}));
    EXPECT_EQ(agent.Answers()[0].info, 3);
    EXPECT_EQ(agent.Answers()[0].text,
              u"{ \"dpi\":\"300\", \"mode\": \"3\", \"cs\": \"1\", \"name\": \"Virtual Feeder\"}");
    auto queued = agent.Queued();
    ASSERT_EQ(queued.size(), 3u);
    for (const auto& item : queued) {
        EXPECT_EQ(item.dpi, 300);
        EXPECT_EQ(item.jobId, 501);
        EXPECT_EQ(item.client, agent.ClientWindow());
        auto bmp = ReadBmp(std::filesystem::path(std::string(item.file.begin(), item.file.end())));
        EXPECT_TRUE(bmp.valid);
        EXPECT_EQ(bmp.width, 1700);
    }
    EXPECT_EQ(agent.ScannedFiles().size(), 3u);
    EXPECT_EQ(agent.Manager().GetState(), 0);
    EXPECT_EQ(vexlo::GetSettings()->scanMode, 3);
    EXPECT_EQ(vexlo::GetSettings()->wiaScanner.value_or(u"unset"), u"");
}

}  // namespace
