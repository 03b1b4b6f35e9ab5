// Page scripts run by the browser host against the plug-in, with a test
// agent that records the requests and answers by rules, with the real agent
// that the plug-in starts, and with no agent at all.
#include <gtest/gtest.h>

#include <filesystem>

#include "fax_service_process.h"
#include "page_harness.h"

namespace vexlo::test {
namespace {

// Helpers every page below uses.
const char* kPageHelpers = R"JS(
var v = document.getElementById('vexlo');
function f() {}
function threw(call) { try { call(); return false; } catch (e) { return true; } }
function repeat(text, count) { return new Array(count + 1).join(text); }
)JS";

std::string Page(const std::string& script) {
    return PluginPage(kPageHelpers + script);
}

PluginRequest Expected(int32_t code) {
    PluginRequest request = CreateEmptyRequest();
    request.code = code;
    return request;
}

// The request as it arrived: its fields, and zero bytes everywhere else.
void ExpectRequest(const PluginRequest& actual, const PluginRequest& expected) {
    EXPECT_EQ(actual.code, expected.code);
    EXPECT_EQ(ReadField(actual.apiKey), ReadField(expected.apiKey));
    EXPECT_EQ(actual.messageId, expected.messageId);
    EXPECT_EQ(ReadField(actual.printingRequest).size(), ReadField(expected.printingRequest).size());
    EXPECT_EQ(actual.param, expected.param);
    EXPECT_EQ(actual.jobId, expected.jobId);
    EXPECT_EQ(memcmp(&actual, &expected, sizeof(PluginRequest)), 0)
        << "request " << actual.code << " differs in a byte it should not set";
}

// A whole scan, answered after the request as the agent's scanner and
// workers do.
const char* kScanRules = R"(# a scan, from image information to job done
100 later 1 3 { "dpi":"300", "mode": "3", "cs": "1", "name": "Virtual Сканер"}
100 later 2 0
100 later 3 0
100 later 4 0
100 later 4 50
100 later 4 100
100 later 5 0
100 later 6 0
101 later 101 0 Virtual Сканер
)";

class TestAgentPageTest : public PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        StartTestAgent(kScanRules);
    }
};

TEST_F(TestAgentPageTest, RefusedCallsSendNothingAndTheRightOnesRaiseScriptErrors) {
    HostRun run = RunPage(Page(R"JS(
var key511 = repeat('k', 511), key512 = repeat('k', 512);
var command2047 = repeat('c', 2047), command2048 = repeat('c', 2048);
print('scan with three arguments', v.DoScan('k', 1, 1));
print('scan with a string callback', v.DoScan('k', 1, 1, 'f'));
print('scan with a null callback', v.DoScan('k', 1, 1, null));
print('scan with a key of 512', v.DoScan(key512, 1, 1, f));
print('scan with an empty key', v.DoScan('', 1, 1, f));
print('scan with message id -1', v.DoScan('k', -1, 1, f));
print('scan with a message id string', v.DoScan('k', '5', 1, f));
print('scan type 3', v.DoScan('k', 1, 3, f));
print('scan type 0.5', v.DoScan('k', 1, 0.5, f));
print('print of 2048', threw(function () { v.DoPrint('k', command2048, f); }));
print('print of nothing', threw(function () { v.DoPrint('k', '', f); }));
print('print with a key of 512', threw(function () { v.DoPrint(key512, 'c', f); }));
print('print without callback', threw(function () { v.DoPrint('k', 'c', 5); }));
print('print with two arguments', threw(function () { v.DoPrint('k', 'c'); }));
print('mode 0', threw(function () { v.SetScanMode(0); }));
print('mode 4', threw(function () { v.SetScanMode(4); }));
print('mode "2"', threw(function () { v.SetScanMode('2'); }));
print('mode without argument', threw(function () { v.SetScanMode(); }));
print('stop 0', threw(function () { v.StopScan(0); }));
print('stop "7"', threw(function () { v.StopScan('7'); }));
print('select interface 1', threw(function () { v.SelectScanner(1, f); }), v.SelectScanner(1, f));
print('select without callback', threw(function () { v.SelectScanner(2); }));
print('selected of interface 1', threw(function () { v.GetSelectedScanner(1); }));
print('selected without argument', threw(function () { v.GetSelectedScanner(); }));
// Accepted, in this order.
var job = v.DoScan(key511, 0, 2.7, f);
print('job', job > 0);
v.DoPrint(key511, command2047, f);
v.SetScanMode(1); v.SetScanMode(2.9); v.SetScanMode(3);
print('stop', v.StopScan(job));
v.SelectScanner(3, f);
print('job id ' + job);
done();
)JS"));
    EXPECT_EQ(run.status, 0) << run.err;
    std::string expected = Lines({
        "scan with three arguments -1",
        "scan with a string callback -1",
        "scan with a null callback -1",
        "scan with a key of 512 -1",
        "scan with an empty key -1",
        "scan with message id -1 -1",
        "scan with a message id string -1",
        "scan type 3 -1",
        "scan type 0.5 -1",
        "print of 2048 true",
        "print of nothing true",
        "print with a key of 512 true",
        "print without callback true",
        "print with two arguments true",
        "mode 0 true",
        "mode 4 true",
        "mode \"2\" true",
        "mode without argument true",
        "stop 0 true",
        "stop \"7\" true",
        "select interface 1 false undefined",
        "select without callback false",
        "selected of interface 1 true",
        "selected without argument true",
        "job true",
        "stop undefined",
    });
    ASSERT_EQ(run.out.substr(0, expected.size()), expected);
    int32_t job = std::stoi(run.out.substr(run.out.find("job id ") + 7));

    std::vector<PluginRequest> requests = Requests();
    ASSERT_EQ(requests.size(), 7u);
    PluginRequest scan = Expected(kRequestScan);
    WriteField(scan.apiKey, std::u16string(511, u'k'));
    scan.param = 2;  // 2.7 taken as 2
    scan.jobId = job;
    ExpectRequest(requests[0], scan);
    PluginRequest print = Expected(kRequestPrint);
    WriteField(print.apiKey, std::u16string(511, u'k'));
    WriteField(print.printingRequest, std::u16string(2047, u'c'));
    ExpectRequest(requests[1], print);
    for (int mode = 1; mode <= 3; ++mode) {
        PluginRequest setMode = Expected(kRequestSetScanMode);
        setMode.param = mode;
        ExpectRequest(requests[1 + mode], setMode);
    }
    PluginRequest stop = Expected(kRequestStopScan);
    stop.jobId = job;
    ExpectRequest(requests[5], stop);
    PluginRequest select = Expected(kRequestSelectScanner);
    select.param = 3;
    ExpectRequest(requests[6], select);
}

TEST_F(TestAgentPageTest, NamesAreFoundInAnyLetterCaseAndVersionIsReadOnly) {
    HostRun run = RunPage(Page(R"JS(
print(v.Version, v.version, v.VERSION, typeof v.Version);
print(typeof v.doscan, typeof v.DOSCAN, typeof v.getScanMode, 'DoScan' in v, 'Version' in v);
print('assign', threw(function () { v.Version = '9.9'; }), v.Version);
print('unknown', typeof v.Scan, threw(function () { v.Scan(); }));
print('element', v.id, v.type, v.width);
print('job', v.doscan('k', 1, 1, f) > 0, v.DOSCAN('k', 2, 2, f) > 0);
done(0);
)JS"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, Lines({"0.0.81 0.0.81 0.0.81 string", "function function function true true",
                              "assign true 0.0.81", "unknown undefined true",
                              "element vexlo application/agent_vexlo 1", "job true true"}));
    EXPECT_EQ(Requests().size(), 2u);
}

TEST_F(TestAgentPageTest, CallbacksReceiveStatusObjects) {
    HostRun run = RunPage(Page(R"JS(
var first = null;
var job = v.DoScan('key', 3, 1, function (status) {
    if (first === null) { first = status; }
    print(status.State, status.Info, status.Description);
    if (status.state !== status.STATE || status.info !== status.Info ||
        status.description !== status.DESCRIPTION) { print('names differ by case'); }
    if (status.State === 6) {
        print('kept', first.State, first.Info, typeof first.Description);
        print('unknown property', threw(function () { return status.Text; }) ? 'error' : typeof status.Text);
        done(0);
    }
});
print('job', job > 0);
)JS"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              Lines({"job true",
                     "1 3 { \"dpi\":\"300\", \"mode\": \"3\", \"cs\": \"1\", \"name\": \"Virtual "
                     "Сканер\"}",
                     "2 0 ", "3 0 ", "4 0 ", "4 50 ", "4 100 ", "5 0 ", "6 0 ", "kept 1 3 string",
                     "unknown property undefined"}));
}

TEST_F(TestAgentPageTest, ACallbackThatStartsANewScanFromInsideItself) {
    HostRun run = RunPage(Page(R"JS(
var jobs = [];
function second(status) {
    if (status.State === 6) { print('second job done'); done(0); }
}
function first(status) {
    if (status.State === 6) {
        print('first job done');
        jobs.push(v.DoScan('key', 2, 1, second));
        print('new scan started', jobs[1] > 0);
    }
}
jobs.push(v.DoScan('key', 1, 1, first));
)JS"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, Lines({"first job done", "new scan started true", "second job done"}));
    std::vector<PluginRequest> requests = Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].messageId, 1);
    EXPECT_EQ(requests[1].messageId, 2);
}

TEST_F(TestAgentPageTest, TheSelectedScannerReachesTheCallbackAsAString) {
    HostRun run = RunPage(Page(R"JS(
v.SelectScanner(2, function (name) { print(typeof name, name); done(0); });
)JS"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, Lines({"string Virtual Сканер"}));
    ASSERT_EQ(Requests().size(), 1u);
    EXPECT_EQ(Requests()[0].param, 2);
}

TEST_F(TestAgentPageTest, NonAsciiKeysArriveAsTheSameUtf16) {
    HostRun run = RunPage(Page(R"JS(
v.DoScan('ключ-😀-ü', 5, 1, f);
v.DoScan('\u043a\ud83d\ude00', 6, 1, f);
v.DoPrint('ключ', 'печать документа №1', f);
done(0);
)JS"));
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<PluginRequest> requests = Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(ReadField(requests[0].apiKey), u"ключ-\U0001F600-ü");
    EXPECT_EQ(ReadField(requests[1].apiKey), u"к\U0001F600");
    EXPECT_EQ(ReadField(requests[2].apiKey), u"ключ");
    EXPECT_EQ(ReadField(requests[2].printingRequest), u"печать документа №1");
}

class BusyAgentPageTest : public PageTest {};

TEST_F(BusyAgentPageTest, ABusyAgentsAnswerComesToTheCallback) {
    StartTestAgent("100 now -3 0\n");
    HostRun run = RunPage(PluginPage(R"JS(
document.getElementById('vexlo').DoScan('k', 1, 2, function (s) {
    print('state', s.State, s.Info, JSON.stringify(s.Description));
    done(0);
});
)JS"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, Lines({"state -3 0 \"\""}));
}

TEST_F(PageTest, TheExampleScanPageDoesNotCallAFailedUploadDone) {
    StartTestAgent(R"(# a scan whose upload fails
100 later 1 3 { "dpi":"300", "mode": "3", "cs": "1", "name": "Virtual Сканер"}
100 later 2 0
100 later -4 0
100 later 6 0
105 now 105 3
)");
    HostRun run = RunExample("scan.html");
    EXPECT_NE(run.out.find("Job failed: the upload failed."), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("Job done"), std::string::npos) << run.out;
    EXPECT_EQ(run.status, 1) << run.err;
}

TEST_F(PageTest, TheExampleScanPagePrintsEveryStatusUpToTheJobsEnd) {
    StartTestAgent(std::string(kScanRules) + "105 now 105 3\n");
    HostRun run = RunExample("scan.html");
    EXPECT_EQ(run.status, 0) << run.err;
    std::string expected = Lines({
        R"(State 1, Info 3, Description "{ \"dpi\":\"300\", \"mode\": \"3\", \"cs\": \"1\", \"name\": \"Virtual Сканер\"}")",
        "State 2, Info 0, Description \"\"",
        "State 3, Info 0, Description \"\"",
        "State 4, Info 0, Description \"\"",
        "State 4, Info 50, Description \"\"",
        "State 4, Info 100, Description \"\"",
        "State 5, Info 0, Description \"\"",
        "State 6, Info 0, Description \"\"",
        "Job done: the page is at the fax service.",
    });
    EXPECT_NE(run.out.find("Agent Vexlo 0.0.81\nScan mode 3\nScan job "), std::string::npos)
        << run.out;
    ASSERT_GE(run.out.size(), expected.size());
    EXPECT_EQ(run.out.substr(run.out.size() - expected.size()), expected);
    std::vector<PluginRequest> requests = Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].code, kRequestSetScanMode);
    EXPECT_EQ(requests[0].param, 3);
    EXPECT_EQ(requests[1].code, kRequestGetScanMode);
    EXPECT_EQ(requests[2].code, kRequestScan);
    EXPECT_EQ(ReadField(requests[2].apiKey), u"demo-api-key");
    EXPECT_EQ(requests[2].param, kScanTypeGrey);
}

// --- The real agent, started by the plug-in -----------------------------------------

class RealAgentPageTest : public PageTest {};

TEST_F(RealAgentPageTest, ThePlugInStartsTheAgentAndItsQueriesAnswer) {
    HostRun run = RunPage(Page(R"JS(
print('load', v.LoadDesktop());
print('mode', v.GetScanMode());
v.SetScanMode(3);
print('mode after', v.GetScanMode());
print('wia', JSON.stringify(v.GetSelectedScanner(2)), 'twain', JSON.stringify(v.GetSelectedScanner(3)));
print('stop', v.StopScan(12345));
v.SetScanMode(2);
print('mode at last', v.getscanmode());
done(0);
)JS"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, Lines({"load true", "mode 1", "mode after 3", "wia \"\" twain \"\"",
                              "stop undefined", "mode at last 2"}));
    EXPECT_NE(FindWindowW(kAgentWindowClass, nullptr), nullptr) << "the agent stays running";
}

TEST_F(RealAgentPageTest, TheExampleScanPageScansAPageToTheFaxService) {
    StartServiceAndUser({}, "when title=\"Page Scanner\" press Scan\n");

    HostRun run = RunExample("scan.html");
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("State 1, Info 3, Description \"{ \\\"dpi\\\":\\\"300\\\""),
              std::string::npos)
        << run.out;
    for (const char* line : {"State 2, Info 0", "State 3, Info 0", "State 4, Info 0",
                             "State 4, Info 100", "State 5, Info 0"}) {
        EXPECT_NE(run.out.find(line), std::string::npos) << line;
    }
    EXPECT_NE(run.out.find("State 6, Info 0, Description \"\"\nJob done: the page is at the fax "
                           "service.\n"),
              std::string::npos);
    EXPECT_EQ(service->PageFiles().size(), 1u);
}

TEST_F(RealAgentPageTest, TheExamplePrintPagePrintsTwoSheets) {
    StartServiceAndUser({}, "when class=#32770 title=Print press Print\n");
    std::filesystem::path session(getenv("W32_SESSION"));
    std::filesystem::path data = folder.path() / "appdata/VexloDesktop";

    HostRun run = RunExample("print.html");
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("State 1, Info 0, Description \"\"\nState 2, Info 0, Description "
                           "\"\"\nState 3, Info 0, Description \"\"\nPrint done: the document "
                           "was printed.\n"),
              std::string::npos)
        << run.out;
    // Two pages of 1678 x 1100 do not share an A4 sheet.
    EXPECT_TRUE(std::filesystem::exists(session / "spool/1/sheet-001.png"));
    EXPECT_TRUE(std::filesystem::exists(session / "spool/1/sheet-002.png"));
    EXPECT_TRUE(std::filesystem::is_empty(data / "Print"));
}

TEST_F(RealAgentPageTest, APageSeesARefusedRenderAsMinusSixWithTheTextThenMinusFive) {
    StartServiceAndUser({"--refuse=No printing today", "--fault-on=renderForPrinting"}, "");
    HostRun run = RunPage(Page(R"JS(
v.LoadDesktop();
v.DoPrint('key', 'pages=1', function (s) {
    print(s.State, JSON.stringify(s.Description));
    if (s.State === -5) { done(0); }
});
)JS"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, Lines({"1 \"\"", "-6 \"No printing today\"", "-5 \"\""}));
}

// --- No agent, and none to start -------------------------------------------------------

class NoAgentPageTest : public PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        // A copy of the plug-in where no agent lies beside it, and a path
        // without one.
        std::filesystem::create_directories(folder.path() / "plugin");
        std::filesystem::create_directories(folder.path() / "empty");
        std::filesystem::copy_file(VEXLO_PLUGIN, folder.path() / "plugin/npagentvexlo.so");
        environment["PATH"] = folder.native("empty");
    }
    std::vector<std::string> Options() {
        return {"--plugin", folder.native("plugin/npagentvexlo.so")};
    }
};

TEST_F(NoAgentPageTest, AScanReportsMinusOneInsideTheCallAndTheQueriesFail) {
    HostRun run = RunPage(Page(R"JS(
print('before');
var job = v.DoScan('k', 1, 1, function (s) {
    print('callback', s.State, s.Info, JSON.stringify(s.Description));
});
print('after', job > 0);
print('load', v.LoadDesktop());
print('stop', threw(function () { v.StopScan(job); }));
print('mode', threw(function () { v.GetScanMode(); }));
print('selected', JSON.stringify(v.GetSelectedScanner(2)));
print('set mode', threw(function () { v.SetScanMode(2); }));
print('print', threw(function () { v.DoPrint('k', 'c', f); }));
print('select', threw(function () { v.SelectScanner(3, f); }));
done(0);
)JS"),
                          Options());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, Lines({"before", "callback -1 0 \"\"", "after true", "load false",
                              "stop true", "mode true", "selected \"\"", "set mode false",
                              "print false", "select false"}));
    EXPECT_EQ(FindWindowW(kAgentWindowClass, nullptr), nullptr);
}

// --- The host itself ---------------------------------------------------------------------

class HostPageTest : public PageTest {};

TEST_F(HostPageTest, DoneGivesTheExitStatusAndThePageSeesThePlugIn) {
    HostRun run = RunPage(Page(R"JS(
var mime = navigator.mimeTypes['application/agent_vexlo'];
print(mime.type, mime.enabledPlugin.name, navigator.plugins.length, document.embeds.length);
print(document.getElementById('missing'), window === this, typeof vexlo.DoScan);
console.log('console', 'log');
setTimeout(function (code) { print('timer'); done(code); }, 10, 5);
var cleared = setTimeout(function () { print('cleared timer ran'); }, 0);
clearTimeout(cleared);
print('script ends');
)JS"));
    EXPECT_EQ(run.status, 5) << run.err;
    EXPECT_EQ(run.out, Lines({"application/agent_vexlo Agent Vexlo 1 1", "null true function",
                              "console log", "script ends", "timer"}));
}

TEST_F(HostPageTest, APageThatNeverCallsDoneEndsWithTheTimeOut) {
    HostRun run = RunPage(Page("print('waiting');"), {"--timeout", "1"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "waiting\n");
    EXPECT_NE(run.err.find("time-out"), std::string::npos);
}

TEST_F(HostPageTest, AnUncaughtScriptErrorEndsTheRun) {
    HostRun run = RunPage(Page("print('one'); v.SetScanMode(7); print('two');"));
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.out, "one\n");
    EXPECT_NE(run.err.find("SetScanMode"), std::string::npos) << run.err;
}

TEST_F(HostPageTest, AnErrorInsideACallbackEndsTheRun) {
    StartTestAgent("100 later 3 0\n");
    HostRun run = RunPage(Page("v.DoScan('k', 1, 1, function (s) { throw new Error('boom'); });"));
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.err.find("boom"), std::string::npos) << run.err;
}

TEST_F(HostPageTest, AScriptFileGetsItsPlugInElementsFromTheCommandLine) {
    HostRun run = RunPage(
        "print(typeof document.getElementById('one').DoScan, one.Version);"
        "print(document.getElementById('two').Version); done(0);",
        {"--embed", "one", "--embed", "two"}, "page.js");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, Lines({"function 0.0.81", "0.0.81"}));
}

TEST_F(HostPageTest, OnlyEmbedsOfThePlugInsTypeGetAnInstanceAndScriptsRunInOrder) {
    WriteFileBytes(folder.path() / "data.bin", std::string(300, 'd'));
    WriteFileBytes(folder.path() / "helper.js", "var fromFile = 'from a file';");
    std::string page = R"(<html><body>
<!-- <embed id="commented" type="application/agent_vexlo"> -->
<EMBED ID="other" TYPE="application/x-other" data-note="a &amp; b">
<embed id="fed" type="APPLICATION/AGENT_VEXLO" src="data.bin" />
<script src="helper.js"></script>
<script>
print(typeof other.DoScan, other.getAttribute, other['data-note']);
print(typeof fed.DoScan, fromFile, document.getElementById('commented'));
print(document.getElementsByTagName('EMBED').length);
window.onload = function () { print('loaded'); done(0); };
</script></body></html>)";
    HostRun run = RunPage(page, {"--verbose"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              Lines({"undefined undefined a & b", "function from a file null", "2", "loaded"}));
    EXPECT_NE(run.err.find("300 bytes"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("taken 0"), std::string::npos) << "the plug-in takes no data";
}

TEST_F(HostPageTest, LoadFailuresAndBadCommandLines) {
    HostRun missing = RunPage(Page("done(0);"), {"--plugin", folder.native("none.so")});
    EXPECT_EQ(missing.status, 4);
    EXPECT_NE(missing.err.find("cannot load the plug-in"), std::string::npos);

    ChildProcess noPage(VEXLO_BROWSER_HOST, {folder.native("absent.html")}, environment,
                        folder.path() / "o", folder.path() / "e");
    EXPECT_EQ(noPage.Wait(std::chrono::seconds(30)), 4);
    ChildProcess usage(VEXLO_BROWSER_HOST, {"--timeout", "zero", "x.html"}, environment,
                       folder.path() / "o", folder.path() / "e");
    EXPECT_EQ(usage.Wait(std::chrono::seconds(30)), 64);
}

}  // namespace
}  // namespace vexlo::test
