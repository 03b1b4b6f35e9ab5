// The TWAIN source's states on every way out of a scan run, through the
// agent and the stand-in's session records: which sources are open, and the
// calls that end and close them.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <sstream>

#include "agent/base/settings.h"
#include "twain_agent_fixture.h"

namespace {

using vexlo::test::PostedAction;
using vexlo::test::SessionFile;
using vexlo::test::TwainAgent;

// The lines of a session record, each without its "<holder> " field.
std::vector<std::string> RecordLines(const std::string& name) {
    std::vector<std::string> lines;
    std::istringstream in(vexlo::test::ReadFileBytes(SessionFile(name)));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty()) {
            lines.push_back(line.substr(line.find(' ') + 1));
        }
    }
    return lines;
}

std::vector<std::string> OpenSources() {
    return RecordLines("twain-open-sources");
}

// The journal's calls of one kind ("MSG_OPENDS", ...), without the source id.
std::vector<std::string> Calls(const std::string& message) {
    std::vector<std::string> found;
    for (const std::string& line : RecordLines("twain-calls")) {
        size_t at = line.find(' ' + message + ' ');
        if (at != std::string::npos) {
            found.push_back(line.substr(at + 1));
        }
    }
    return found;
}

void ForgetRecords() {
    std::error_code ignored;
    std::filesystem::remove(SessionFile("twain-open-sources"), ignored);
    std::filesystem::remove(SessionFile("twain-calls"), ignored);
}

std::string Feeder(const std::string& extra) {
    return "[source]\nname = Feeder\npages = 3\npage = 8 20 20\nkeep-open = yes\n" + extra;
}

TEST(TwainStates, EveryWayOutOfARunLeavesTheSourceInStateFiveSoThatItCloses) {
    struct Case {
        const char* name;
        std::string sources;
        // Presses Scan and makes the run end its way.
        std::function<void(TwainAgent&, HWND)> run;
        std::vector<int> states;
    };
    auto stopAt = [](TwainAgent& agent, HWND dialog) {
        PostedAction stop([&] { agent.Stop(71); });
        TwainAgent::ClickNow(dialog, u"Scan");
        stop.Post();
        agent.Pump();
    };
    auto press = [](TwainAgent& agent, HWND dialog) { agent.Press(dialog, u"Scan"); };
    const Case cases[] = {
        {"a stop before the transfers",
         Feeder(""),
         [](TwainAgent& agent, HWND dialog) {
             TwainAgent::ClickNow(dialog, u"Scan");
             agent.Stop(71);
             agent.Pump();
         },
         {1}},
        {"a stop during a transfer", Feeder("pump = transfer\n"), stopAt, {1}},
        {"a stop between transfers", Feeder("pump = feed\n"), stopAt, {1}},
        {"the source cancels with transfers pending",
         Feeder("fail = transfer-cancel\nfail-page = 2\n"),
         press,
         {1}},
        {"the source fails a transfer",
         Feeder("fail = transfer-failure\nfail-page = 2\n"),
         press,
         {1, 2}},
        {"the image information fails", Feeder("fail = image-info\n"), press, {-5}},
        {"a run that ends well", Feeder(""), press, {1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ForgetRecords();
        {
            TwainAgent agent(c.sources);
            agent.Scan(1, 71);
            HWND dialog = agent.SourceDialog(u"Feeder");
            ASSERT_NE(dialog, nullptr);
            c.run(agent, dialog);
            EXPECT_EQ(agent.States(), c.states);
            EXPECT_EQ(agent.Manager().GetState(), 0);
            EXPECT_TRUE(IsWindow(dialog)) << "the source's dialog stays up, as after any run";
            EXPECT_TRUE(Calls("MSG_RESET").empty() ||
                        Calls("MSG_RESET").back().find("refused") == std::string::npos);
            // The next scan's reset closes it in order.
            agent.Scan(1, 72);
            EXPECT_EQ(Calls("MSG_DISABLEDS"), (std::vector<std::string>{"MSG_DISABLEDS 5->4"}));
            EXPECT_EQ(Calls("MSG_CLOSEDS"), (std::vector<std::string>{"MSG_CLOSEDS 4->3"}));
            EXPECT_EQ(OpenSources().size(), 1u) << "only the new scan's source";
            EXPECT_NE(agent.SourceDialog(u"Feeder"), nullptr);
        }
        EXPECT_TRUE(OpenSources().empty()) << "the agent's close leaves none open";
    }
    ForgetRecords();
}

TEST(TwainStates, TheAgentsCloseDuringATransferLeavesNoSourceOpen) {
    ForgetRecords();
    {
        TwainAgent agent(Feeder("pump = transfer\n"));
        agent.Scan(1, 73);
        HWND dialog = agent.SourceDialog(u"Feeder");
        ASSERT_NE(dialog, nullptr);
        HWND agentWindow = agent.Window().m_hWnd;
        PostedAction close([&] { DestroyWindow(agentWindow); });
        TwainAgent::ClickNow(dialog, u"Scan");
        close.Post();  // handled inside the source's first transfer
        agent.Pump();
        EXPECT_EQ(close.runs, 1);
        EXPECT_FALSE(IsWindow(agentWindow));
    }
    EXPECT_TRUE(OpenSources().empty());
    EXPECT_EQ(Calls("MSG_CLOSEDS"), (std::vector<std::string>{"MSG_CLOSEDS 4->3"}));
    ForgetRecords();
}

TEST(TwainStates, ASourceThatWillNotLetGoIsLoggedAndKeptUntilTheAgentExits) {
    ForgetRecords();
    {
        TwainAgent agent(Feeder("pages = 1\nfail = disable\n"));
        agent.Scan(1, 74);
        HWND dialog = agent.SourceDialog(u"Feeder");
        ASSERT_NE(dialog, nullptr);
        agent.Press(dialog, u"Scan");
        agent.Scan(1, 75);  // its reset cannot close the source
        EXPECT_EQ(agent.States(), (std::vector<int>{1, 2, -9}));
        EXPECT_NE(agent.Log().find("MSG_DISABLEDS refused by the source, condition code 1"),
                  std::string::npos);
        EXPECT_EQ(Calls("MSG_OPENDS").size(), 1u)
            << "the manager was kept, so the source was not opened a second time";
        EXPECT_EQ(OpenSources().size(), 1u);
        EXPECT_EQ(agent.Manager().GetState(), 0);
    }
    EXPECT_EQ(OpenSources().size(), 1u) << "the exit unloads the manager; the record shows it";
    ForgetRecords();
}

TEST(TwainStates, AScanDispatchedInsideTheSourcesTransferWaitsForTheRunToEnd) {
    TwainAgent agent(Feeder("pump = transfer\n"));
    agent.Scan(1, 77);
    HWND first = agent.SourceDialog(u"Feeder");
    ASSERT_NE(first, nullptr);
    agent.Press(first, u"Scan");
    ASSERT_EQ(agent.States(), (std::vector<int>{1, 2}));
    ASSERT_TRUE(IsWindow(first)) << "left open, idle";
    // The user scans again in the dialog left open while a page asks for a
    // new scan: the new run's message reaches the manager inside the
    // source's transfer, where a reset would unload the manager under its
    // own DSM_Entry.
    TwainAgent::ClickNow(first, u"Scan");
    agent.Send(vexlo::test::ScanRequest(1, 78));
    agent.Pump();
    EXPECT_EQ(agent.States(), (std::vector<int>{1, 2, 1, 2}));
    auto queued = agent.Queued();
    ASSERT_EQ(queued.size(), 6u);
    EXPECT_EQ(queued.back().jobId, 77) << "the dialog's pages are its own job's";
    EXPECT_FALSE(IsWindow(first)) << "then the new scan's reset closed it";
    EXPECT_NE(agent.SourceDialog(u"Feeder"), nullptr);
    EXPECT_EQ(agent.Manager().GetJobId(), 78);
    EXPECT_EQ(agent.Manager().GetState(), 1);
}

TEST(TwainStates, ThePageIsScannedAtTheChosenResolutionNegotiatedBeforeTheSourceIsEnabled) {
    TwainAgent agent(
        "[source]\nname = Res\nx-resolution = enumeration fix32 75 150 300 600\n"
        "resolution = 75\npage = 8 20 20\n");
    agent.Scan(1, 76);
    HWND dialog = agent.SourceDialog(u"Res");
    ASSERT_NE(dialog, nullptr);
    agent.Press(dialog, u"Scan");
    auto queued = agent.Queued();
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(queued[0].dpi, 300) << "not the source's current 75";
    std::string bytes = vexlo::test::ReadFileBytes(
        std::filesystem::path(std::string(queued[0].file.begin(), queued[0].file.end())));
    ASSERT_GE(bytes.size(), 46u);
    int32_t xPerMetre = 0;
    std::memcpy(&xPerMetre, bytes.data() + 38, 4);
    EXPECT_NEAR(xPerMetre, 300 / 0.0254, 1.0);
}

}  // namespace
