// Page scripts run by the browser host's IE mode against the IE add-on,
// found through its registration as Internet Explorer finds it: with the
// real agent that the add-on starts, with a test agent that answers by
// rules, and with no add-on registered.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fax_service_process.h"
#include "page_harness.h"

namespace vexlo::test {
namespace {

const std::vector<std::string> kRegister = {"--ie", "--register"};

// A page whose script runs with the add-on's object at hand.
std::string IePage(const std::string& script, const std::string& body = "") {
    return "<!DOCTYPE html>\n<html><head><title>page</title></head><body>\n"
           "<script type=\"text/javascript\">\n"
           "var v = window._vexlo_bho;\n"
           "function threw(call) { try { call(); return 'no'; } catch (e) { return e.number; } "
           "}\n" +
           script + "\n</script>\n" + body + "</body></html>\n";
}

std::vector<std::string> With(std::vector<std::string> options, const std::string& extra) {
    options.push_back(extra);
    return options;
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// --- With the real agent, started by the add-on ----------------------------------------

class IeRealAgentPageTest : public PageTest {
protected:
    void StartService() {
        StartServiceAndUser({},
                            "when title=\"Page Scanner\" press Scan\n"
                            "when class=#32770 title=Print press Print\n");
    }
};

TEST_F(IeRealAgentPageTest, TheExampleIePageScansAPageToTheFaxService) {
    StartService();
    HostRun run = RunExample("ie-scan.html", kRegister);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(Has(run.err, "per machine: 0x00000000")) << run.err;
    EXPECT_TRUE(Has(run.out, "Agent Vexlo 0.0.81\nScan mode 3\nScan job ")) << run.out;
    for (const char* line :
         {"State 1, Info 3, Description \"{ \\\"dpi\\\":\\\"300\\\"", "State 2, Info 0",
          "State 3, Info 0", "State 4, Info 100", "State 5, Info 0",
          "State 6, Info 0, Description \"\"\nJob done: the page is at the "
          "fax service.\n"}) {
        EXPECT_TRUE(Has(run.out, line)) << line << "\n" << run.out;
    }
    EXPECT_EQ(service->PageFiles().size(), 1u);
    // Every page object died with its page: the add-on could be unloaded.
    EXPECT_TRUE(Has(run.err, "DllCanUnloadNow of")) << run.err;
    EXPECT_TRUE(Has(run.err, ": S_OK")) << run.err;
}

TEST_F(IeRealAgentPageTest, PrintSelectQueriesAndRefusedArgumentsThroughTheAddOn) {
    StartService();
    HostRun run = RunPage(IePage(R"JS(
print('load', v.loadDesktop());
print('mode', v.getScanMode());
v.setScanMode(3);
print('mode after', v.getScanMode());
print('twain', JSON.stringify(v.getSelectedScanner(3)));
print('stop', v.stopScan(12345), v.stopScan(0));
// E_INVALIDARG reaches the script as the error's number.
print('refused', threw(function () { v.doScan('', 1, 1); }),
      threw(function () { v.setScanMode(4); }), threw(function () { v.getSelectedScanner(1); }));
v.doPrint('key', 'pages=2;width=1678;height=1100', function (s) {
    print('print', s.state, s.info, JSON.stringify(s.description));
    if (s.state === 3 || s.state < 0) { done(0); }
});
)JS"),
                          kRegister);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.out,
              Lines({"load true", "mode 1", "mode after 3", "twain \"Page Scanner\"",
                     "stop undefined undefined", "refused -2147024809 -2147024809 -2147024809",
                     "print 1 0 \"\"", "print 2 0 \"\"", "print 3 0 \"\""}));
    std::filesystem::path session(getenv("W32_SESSION"));
    EXPECT_TRUE(std::filesystem::exists(session / "spool/1/sheet-001.png"));
}

// --- With a test agent that answers by rules ----------------------------------------------

const char* kScanRules = R"(# a scan, from image information to job done
100 later 1 3 { "dpi":"300" }
100 later 6 0
101 later 101 0 Virtual Сканер
)";

class IeTestAgentPageTest : public PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        StartTestAgent(kScanRules);
    }
};

TEST_F(IeTestAgentPageTest, CallbacksGetStatusObjectsAndNamesAndMayScanAgain) {
    HostRun run = RunPage(IePage(R"JS(
var scans = 0, kept = null;
function onStatus(s) {
    if (kept === null) { kept = s; }
    print('scan', scans, s.state, s.info, JSON.stringify(s.description));
    if (s.state === 6 && ++scans === 1) {
        // A new scan from inside the callback of the old one.
        print('again', v.doScan('key', 2, 2, onStatus) > 0);
    } else if (s.state === 6) {
        print('kept', kept.state, kept.info);
        v.selectScanner(3, function (name) { print('selected', typeof name, name); done(0); });
    }
}
print('job', v.doScan('key', 1, 1, onStatus) > 0);
)JS"),
                          kRegister);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.out,
              Lines({"job true", "scan 0 1 3 \"{ \\\"dpi\\\":\\\"300\\\" }\"", "scan 0 6 0 \"\"",
                     "again true", "scan 1 1 3 \"{ \\\"dpi\\\":\\\"300\\\" }\"", "scan 1 6 0 \"\"",
                     "kept 1 3", "selected string Virtual Сканер"}));
    std::vector<PluginRequest> requests = Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].code, kRequestScan);
    EXPECT_EQ(requests[1].code, kRequestScan);
    EXPECT_EQ(requests[1].param, 2);
    EXPECT_EQ(requests[2].code, kRequestSelectScanner);
}

TEST_F(IeTestAgentPageTest, EachFrameWithADocumentGetsAPageObjectWithItsOwnChannel) {
    WriteFileBytes(folder.path() / "frame.html",
                   "<script>print('frame', typeof window._vexlo_bho, "
                   "window._vexlo_bho.getScanMode());</script>");
    HostRun run = RunPage(IePage("print('top', typeof v);",
                                 "<iframe src=\"frame.html\"></iframe>\n"
                                 "<iframe src=\"frame.html\"></iframe>\n"
                                 "<iframe src=\"frame.html\" data-no-document></iframe>\n"
                                 "<script>setTimeout(function () { done(0); }, 0);</script>"),
                          With(kRegister, "--verbose"));
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    // The frames' scripts run after the top page's; done() comes from a timer.
    EXPECT_EQ(run.out, Lines({"top object", "frame object 0", "frame object 0"}));
    // Three channels (the frame without a document has none), and each
    // goes with its document: frames first, the top page last.
    for (const char* line : {"frame.html unloaded; agent channel windows left: 2",
                             "frame.html unloaded; agent channel windows left: 1",
                             "page.html unloaded; agent channel windows left: 0"}) {
        EXPECT_TRUE(Has(run.err, line)) << line << "\n" << run.err;
    }
}

TEST_F(IeTestAgentPageTest, ANavigationReleasesTheOldPageObjectWithItsCallbacks) {
    WriteFileBytes(folder.path() / "next.html",
                   "<script>print('next', typeof window._vexlo_bho, window.old === undefined);"
                   "done(0);</script>");
    // The old page holds its object, a pending callback and a timer; the
    // navigation is posted, so the script's call returns first.
    HostRun run = RunPage(IePage(R"JS(
var keep = v;
v.doScan('key', 1, 1, function (s) {});
window.old = true;
setTimeout(function () { print('old timer'); }, 50);
location.href = 'next.html';
print('after the navigation was asked for');
)JS"),
                          With(kRegister, "--verbose"));
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.out, Lines({"after the navigation was asked for", "next object true"}));
    EXPECT_TRUE(Has(run.err, "page.html unloaded; agent channel windows left: 0")) << run.err;
    EXPECT_TRUE(Has(run.err, "next.html unloaded; agent channel windows left: 0")) << run.err;
    EXPECT_TRUE(Has(run.err, ": S_OK")) << run.err;
}

TEST_F(IeTestAgentPageTest, AnErrorInsideACallbackEndsTheRunAsInTheNpapiMode) {
    HostRun run = RunPage(
        IePage(
            "v.doScan('key', 1, 1, function (s) { throw new Error('page fault ' + s.state); });"),
        kRegister);
    EXPECT_EQ(run.status, 3) << run.out << run.err;
    EXPECT_TRUE(Has(run.err, "page fault 1")) << run.err;
}

// --- Registration and the browser's variants ------------------------------------------------

class IeHostPageTest : public PageTest {};

TEST_F(IeHostPageTest, TheAddOnIsFoundOnlyWhenRegisteredAndInEveryVariant) {
    struct Case {
        std::vector<std::string> options;
        std::string expected;
        const char* log;
    };
    const std::vector<Case> cases = {
        {{"--ie"}, "object? undefined\n", "no browser helper objects are registered"},
        {{"--ie", "--register=user"}, "object? object\n", "per user: 0x00000000"},
        {{"--ie", "--register", "--variant", "site-without-service"},
         "object? object\n",
         "per machine: 0x00000000"},
        {{"--ie", "--register", "--variant", "document-without-window"},
         "object? object\n",
         "per machine: 0x00000000"},
    };
    for (const Case& test : cases) {
        HostRun run = RunPage(IePage("print('object?', typeof v); done(0);"), test.options);
        std::string label = test.options.back();
        EXPECT_EQ(run.status, 0) << label << "\n" << run.err;
        EXPECT_EQ(run.out, test.expected) << label;
        EXPECT_TRUE(Has(run.err, test.log)) << label << "\n" << run.err;
    }
}

TEST_F(IeHostPageTest, APageThatHoldsItselfInAFrameNestsOnlySoDeep) {
    HostRun run = RunPage(IePage("print('page');",
                                 "<iframe src=\"page.html\"></iframe>\n"
                                 "<script>setTimeout(done, 0);</script>"),
                          {"--ie"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, Lines(std::vector<std::string>(9, "page")));
    EXPECT_TRUE(Has(run.err, "frames nest 8 deep at the most")) << run.err;
}

}  // namespace
}  // namespace vexlo::test
