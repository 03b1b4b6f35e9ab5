// FetchPrintPages against the local fax service: pages streamed into the
// Print folder in arrival order, refusals, failures, log lines.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "protocol/records.h"
#include "agent/base/data_folders.h"
#include "agent/service/print_rendering.h"
#include "agent/service/render_flight.h"
#include "agent_data.h"
#include "canned_http_server.h"
#include "fax_service_process.h"
#include "recording_host.h"
#include "service_client.h"

namespace vexlo::test {
namespace {

const HWND kClient = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x10088));

class PrintRendering : public ::testing::Test {
protected:
    void StartService(std::vector<std::string> args = {}) {
        service_ = std::make_unique<FaxServiceProcess>(std::move(args));
        ASSERT_TRUE(service_->started()) << service_->ErrorOutput();
        data_.SetSoapServer(service_->endpoint());
    }
    HRESULT Fetch(const std::u16string& command) {
        return FetchPrintPages(u"print-key", command, kClient, &host_);
    }

    AgentDataFolder data_;
    RecordingHost host_;
    std::unique_ptr<FaxServiceProcess> service_;
};

TEST_F(PrintRendering, ThreePagesLandInThePrintFolderInArrivalOrder) {
    StartService();
    int descriptors = OpenDescriptorCount();
    EXPECT_EQ(Fetch(u"sizes=100x10,200x20,300x30"), S_OK);
    EXPECT_TRUE(host_.states().empty());

    auto calls = host_.printPageCalls();
    ASSERT_EQ(calls.size(), 1u);
    ASSERT_EQ(calls[0].size(), 3u);
    const std::string folder = Narrow(GetPrintFolder()) + "/";
    // <Print folder>/<digits>.png
    auto isPageName = [&folder](const std::string& path) {
        if (path.rfind(folder, 0) != 0 || path.size() <= folder.size() + 4 ||
            path.compare(path.size() - 4, 4, ".png") != 0) {
            return false;
        }
        std::string digits = path.substr(folder.size(), path.size() - folder.size() - 4);
        return digits.find_first_not_of("0123456789") == std::string::npos;
    };
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        std::string path = Narrow(calls[0][i]);
        EXPECT_TRUE(isPageName(path)) << path;
        std::string png = ReadFileBytes(path);
        EXPECT_EQ(PngWidth(png), static_cast<int>(100 * (i + 1)));
        EXPECT_EQ(PngHeight(png), static_cast<int>(10 * (i + 1)));
    }
    EXPECT_NE(calls[0][0], calls[0][1]);
    EXPECT_NE(calls[0][1], calls[0][2]);
    EXPECT_EQ(host_.logLines(), std::vector<std::u16string>{u"3 renderForPrinting succeded"});
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    auto lines = service_->WaitForCallLines(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("key=print-key command=sizes=100x10,200x20,300x30 pages=3"),
              std::string::npos);
}

TEST_F(PrintRendering, NoPagesIsSuccessWithoutHandOver) {
    StartService();
    EXPECT_EQ(Fetch(u"pages=0"), S_OK);
    EXPECT_TRUE(host_.printPageCalls().empty());
    EXPECT_TRUE(host_.logLines().empty());
    EXPECT_TRUE(host_.states().empty());
}

TEST_F(PrintRendering, RefusalSendsTheDescriptionAndLogsZeroes) {
    StartService();
    EXPECT_EQ(Fetch(u"colour=red"), E_FAIL);
    auto states = host_.states();
    ASSERT_EQ(states.size(), 1u);
    EXPECT_EQ(states[0].client, kClient);
    EXPECT_EQ(states[0].state, vexlo::kPrintRenderFailed);
    EXPECT_EQ(states[0].info, 0);
    ASSERT_TRUE(states[0].text.has_value());
    EXPECT_EQ(*states[0].text, u"Bad print command: unknown key \"colour\"");
    EXPECT_EQ(host_.logLines(),
              std::vector<std::u16string>{u"3 renderForPrinting has failed soap error 0 result 0"});
    EXPECT_TRUE(host_.printPageCalls().empty());
}

TEST_F(PrintRendering, TheCommandTravelsAsUtf8Characters) {
    StartService({"--refuse=\xd0\x9e\xd1\x82\xd0\xba\xd0\xb0\xd0\xb7"});
    EXPECT_LT(Fetch(u"sizes=100x10 \u00ab\u0444\u00bb"), 0);
    std::string wire = service_->Captured(1);
    EXPECT_NE(wire.find("<ns1:printingRequest>sizes=100x10 \xc2\xab\xd1\x84\xc2\xbb"
                        "</ns1:printingRequest>"),
              std::string::npos)
        << wire.substr(0, 1500);
    auto states = host_.states();
    ASSERT_FALSE(states.empty());
    ASSERT_TRUE(states.back().text.has_value());
    EXPECT_EQ(*states.back().text, u"\u041e\u0442\u043a\u0430\u0437");
}

TEST_F(PrintRendering, RefusalWithoutDescriptionSendsEmptyText) {
    StartService({"--refuse"});
    EXPECT_EQ(Fetch(u"pages=1"), E_FAIL);
    auto states = host_.states();
    ASSERT_EQ(states.size(), 1u);
    ASSERT_TRUE(states[0].text.has_value());
    EXPECT_EQ(*states[0].text, u"");
}

TEST_F(PrintRendering, UnreachableServiceLogsTheRuntimeError) {
    data_.SetSoapServer("http://127.0.0.1:" + std::to_string(UnusedPort()) +
                        "/services/vexloplugin");
    EXPECT_EQ(Fetch(u"pages=1"), E_FAIL);
    auto states = host_.states();
    ASSERT_EQ(states.size(), 1u);
    EXPECT_EQ(states[0].state, vexlo::kPrintRenderFailed);
    EXPECT_FALSE(states[0].text.has_value());
    EXPECT_EQ(host_.logLines(), std::vector<std::u16string>{
                                    u"3 renderForPrinting has failed soap error 28 result 0"});
}

TEST_F(PrintRendering, FaultSendsFailureWithoutText) {
    StartService({"--fault=SOAP-ENV:Sender"});
    EXPECT_EQ(Fetch(u"pages=1"), E_FAIL);
    auto states = host_.states();
    ASSERT_EQ(states.size(), 1u);
    EXPECT_FALSE(states[0].text.has_value());
    EXPECT_EQ(host_.logLines(),
              std::vector<std::u16string>{u"3 renderForPrinting has failed soap error 1 result 0"});
}

TEST_F(PrintRendering, ResponseCutInsideAPageFailsAndClosesItsFile) {
    // A real three-page answer, cut in the middle of the second page.
    FaxServiceProcess real;
    ASSERT_TRUE(real.started());
    std::string request =
        "POST /services/vexloplugin HTTP/1.1\r\nHost: x\r\n"
        "Content-Type: application/soap+xml; charset=utf-8\r\nConnection: close\r\n";
    std::string envelope = SoapEnvelope(
        "<ns1:renderForPrintingRequestElement><ns1:apiKey>k</ns1:apiKey><ns1:printingRequest>"
        "pages=3;width=400;height=400</ns1:printingRequest></ns1:renderForPrintingRequestElement>");
    std::string answer = SendRaw(
        real.port(),
        request + "Content-Length: " + std::to_string(envelope.size()) + "\r\n\r\n" + envelope,
        5000);
    size_t secondPage = answer.find("\x89PNG", answer.find("\x89PNG") + 1);
    ASSERT_NE(secondPage, std::string::npos);

    int descriptors = OpenDescriptorCount();
    {
        CannedHttpServer server;
        server.Push(answer.substr(0, secondPage + 100));
        data_.SetSoapServer(server.endpoint());
        EXPECT_EQ(Fetch(u"pages=3"), E_FAIL);
    }  // the server's own sockets go with it
    EXPECT_EQ(host_.states().size(), 1u);
    EXPECT_TRUE(host_.printPageCalls().empty());
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    // The first page, written whole before the cut, is not left behind.
    std::filesystem::path folder(Narrow(GetPrintFolder()));
    EXPECT_TRUE(!std::filesystem::exists(folder) || std::filesystem::is_empty(folder));
}

TEST_F(PrintRendering, ACutBeforeTheCallEndsItWithoutConnecting) {
    StartService();
    CutRenderCalls();
    EXPECT_EQ(Fetch(u"pages=1"), E_FAIL);
    AllowRenderCalls();
    // A call the agent's close ended tells nobody.
    EXPECT_TRUE(host_.states().empty());
    EXPECT_TRUE(host_.printPageCalls().empty());
    EXPECT_EQ(Fetch(u"pages=1"), S_OK);  // allowed again
    EXPECT_EQ(host_.printPageCalls().size(), 1u);
}

TEST_F(PrintRendering, ACutEndsACallThatWaitsOnASilentService) {
    StartService({"--stall=60000"});
    auto began = std::chrono::steady_clock::now();
    std::thread cut([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        CutRenderCalls();
    });
    EXPECT_EQ(Fetch(u"pages=2"), E_FAIL);
    cut.join();
    AllowRenderCalls();
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(30));
    EXPECT_TRUE(host_.states().empty());
}

}  // namespace
}  // namespace vexlo::test
