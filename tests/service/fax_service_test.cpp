// The local fax service itself: command line, connections, time-outs, the
// pages folder and hostile requests.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "canned_http_server.h"
#include "fax_service_process.h"
#include "service_client.h"

namespace vexlo::test {
namespace {

bool UploadOk(FaxServiceProcess& service, const std::string& fileName = "ok.png") {
    auto proxy = NewProxy();
    PageAttachment page(PatternBytes(2000), true, fileName);
    _ns1__addDocumentToFaxRequestElement request;
    request.scanImage = page.get();
    request.apiKey = "k";
    _ns1__addDocumentToFaxResponseElement response;
    return proxy->addDocumentToFax(service.endpoint().c_str(), nullptr, &request, response) ==
               SOAP_OK &&
           response.result;
}

std::string HttpPost(int port, const std::string& body, const std::string& contentType,
                     const std::string& path = "/services/vexloplugin") {
    return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
           "\r\nContent-Type: " + contentType +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
           body;
}

TEST(FaxServiceCommandLine, HelpDescribesTheOptions) {
    std::string output;
    EXPECT_EQ(RunFaxServiceOnce({"--help"}, output), 0);
    for (const char* option : {"--port", "--pages", "--api-key", "--recv-timeout", "--send-timeout",
                               "--refuse", "--fault", "--stall", "--drop-after", "--slow-read",
                               "--raw-response", "--log", "pages=3"}) {
        EXPECT_NE(output.find(option), std::string::npos) << option;
    }
}

TEST(FaxServiceCommandLine, BadOptionsEndWithStatus2) {
    std::string output;
    EXPECT_EQ(RunFaxServiceOnce({"--port=70000"}, output), 2);
    EXPECT_EQ(RunFaxServiceOnce({"--no-such-option"}, output), 2);
    EXPECT_EQ(RunFaxServiceOnce({"--fault-on=everything"}, output), 2);
    EXPECT_EQ(RunFaxServiceOnce({"stray"}, output), 2);
}

TEST(FaxServiceCommandLine, PortInUseEndsWithStatus1) {
    FaxServiceProcess first;
    ASSERT_TRUE(first.started());
    FaxServiceProcess second({}, first.port());
    EXPECT_FALSE(second.started());
    EXPECT_NE(second.ErrorOutput().find("cannot listen"), std::string::npos);
}

TEST(FaxServiceLifecycle, StopsCleanlyOnSigterm) {
    FaxServiceProcess service;
    ASSERT_TRUE(service.started());
    EXPECT_TRUE(UploadOk(service));
    EXPECT_EQ(service.Stop(), 0);
}

TEST(FaxServiceConnections, KeepAliveServesSeveralCallsOnOneConnection) {
    FaxServiceProcess service;
    ASSERT_TRUE(service.started());
    MTOMServiceSOAP12BindingProxy proxy(SOAP_IO_KEEPALIVE | SOAP_ENC_MTOM);
    proxy.recv_timeout = 10;
    for (int i = 0; i < 3; ++i) {
        _ns1__renderForPrintingRequestElement request;
        request.printingRequest = "pages=1;width=20;height=20";
        _ns1__renderForPrintingResponseElement response;
        ASSERT_EQ(proxy.renderForPrinting(service.endpoint().c_str(), nullptr, &request, response),
                  SOAP_OK);
        EXPECT_EQ(response.pages.size(), 1u);
    }
    auto lines = service.WaitForCallLines(3);
    ASSERT_EQ(lines.size(), 3u);
    for (const auto& line : lines) {
        EXPECT_NE(line.find("connection=1 "), std::string::npos) << line;
    }
}

TEST(FaxServiceConnections, ServesManyClientsAtOnce) {
    FaxServiceProcess service({"--stall=50"});
    ASSERT_TRUE(service.started());
    constexpr int kClients = 8, kCalls = 4;
    std::atomic<int> accepted{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            for (int i = 0; i < kCalls; ++i) {
                auto proxy = NewProxy();
                PageAttachment page(PatternBytes(20000, c * 100 + i), true,
                                    "c" + std::to_string(c) + "-" + std::to_string(i) + ".png");
                _ns1__addDocumentToFaxRequestElement request;
                request.scanImage = page.get();
                _ns1__addDocumentToFaxResponseElement response;
                if (proxy->addDocumentToFax(service.endpoint().c_str(), nullptr, &request,
                                            response) == SOAP_OK &&
                    response.result) {
                    ++accepted;
                }
            }
        });
    }
    for (auto& t : clients) {
        t.join();
    }
    EXPECT_EQ(accepted.load(), kClients * kCalls);
    EXPECT_EQ(service.PageFiles().size(), static_cast<size_t>(kClients * kCalls));
    EXPECT_EQ(service.WaitForCallLines(kClients * kCalls).size(),
              static_cast<size_t>(kClients * kCalls));
}

TEST(FaxServiceConnections, SilentClientIsDroppedAfterTheReceiveTimeout) {
    FaxServiceProcess service({"--recv-timeout=1"});
    ASSERT_TRUE(service.started());
    bool connected = false;
    auto start = std::chrono::steady_clock::now();
    SendRaw(service.port(), "", 8000, &connected);
    EXPECT_TRUE(connected);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(UploadOk(service));
}

TEST(FaxServicePages, HostileFileNamesStayInThePagesFolder) {
    FaxServiceProcess service;
    ASSERT_TRUE(service.started());
    ASSERT_TRUE(UploadOk(service, "../../escape.png"));
    ASSERT_TRUE(UploadOk(service, "C:\\Users\\x\\Processed\\123.png"));
    ASSERT_TRUE(UploadOk(service, "..."));
    ASSERT_TRUE(UploadOk(service, "name with blanks;&.png"));
    EXPECT_EQ(service.PageFiles(), (std::vector<std::string>{"1-escape.png", "2-123.png", "3-page",
                                                             "4-name_with_blanks__.png"}));
}

TEST(FaxServicePages, PageLargerThanTheLimitIsRefused) {
    FaxServiceProcess service({"--max-page-bytes=10000"});
    ASSERT_TRUE(service.started());
    auto proxy = NewProxy();
    PageAttachment page(PatternBytes(50000), true);
    _ns1__addDocumentToFaxRequestElement request;
    request.scanImage = page.get();
    _ns1__addDocumentToFaxResponseElement response;
    int result = proxy->addDocumentToFax(service.endpoint().c_str(), nullptr, &request, response);
    EXPECT_TRUE(result != SOAP_OK || !response.result);
    EXPECT_TRUE(service.PageFiles().empty());
    EXPECT_TRUE(UploadOk(service));
}

TEST(FaxServicePages, OtherPathIsNotFound) {
    FaxServiceProcess service;
    ASSERT_TRUE(service.started());
    auto proxy = NewProxy();
    _ns1__addDocumentToFaxRequestElement request;
    _ns1__addDocumentToFaxResponseElement response;
    std::string endpoint = "http://127.0.0.1:" + std::to_string(service.port()) + "/other";
    EXPECT_EQ(proxy->addDocumentToFax(endpoint.c_str(), nullptr, &request, response), 404);
}

TEST(FaxServiceHostileRequests, ServiceSurvivesAndKeepsServing) {
    FaxServiceProcess service;
    ASSERT_TRUE(service.started());
    const int port = service.port();
    const std::string soap = "application/soap+xml; charset=utf-8";
    std::string deep;
    for (int i = 0; i < 50000; ++i) {
        deep += "<a>";
    }
    const std::string boundary = "b0";
    std::string mime =
        "--" + boundary + "\r\nContent-Type: application/xop+xml\r\nContent-ID: <root>\r\n\r\n" +
        SoapEnvelope(
            "<ns1:addDocumentToFaxRequestElement><ns1:scanImage ns1:md5=\"x\">"
            "<xop:Include xmlns:xop=\"http://www.w3.org/2004/08/xop/include\" "
            "href=\"cid:ghost\"/></ns1:scanImage></ns1:addDocumentToFaxRequestElement>") +
        "\r\n--" + boundary + "\r\nContent-ID: <other>\r\n\r\nxyz\r\n--" + boundary + "--\r\n";
    const std::vector<std::string> attacks = {
        "garbage\r\n\r\n\x01\x02\x03",
        "POST /services/vexloplugin HTTP/1.1\r\nContent-Length: 99999999999999\r\n\r\n<x",
        "POST /services/vexloplugin HTTP/1.1\r\nContent-Length: -1\r\n\r\n",
        "POST /services/vexloplugin HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"
        "FFFFFFFFFFFFFFFF\r\nabc",
        HttpPost(port, SoapEnvelope(deep), soap),
        HttpPost(port,
                 SoapEnvelope("<ns1:addDocumentToFaxRequestElement><ns1:messageId>"
                              "123456789012</ns1:messageId>"),
                 soap),
        HttpPost(port,
                 SoapEnvelope("<ns1:addDocumentToFaxRequestElement><ns1:scanImage>"
                              "!!!not base64!!!</ns1:scanImage>"
                              "</ns1:addDocumentToFaxRequestElement>"),
                 soap),
        HttpPost(port, mime, "multipart/related; boundary=\"wrong\"; type=\"application/xop+xml\""),
        HttpPost(port, mime,
                 "multipart/related; boundary=\"" + boundary + "\"; type=\"application/xop+xml\""),
        HttpPost(port, SoapEnvelope("<ns1:unknownOperation/>"), soap),
        HttpPost(port, "", soap),
        std::string(200000, 'A') + "\r\n\r\n",
        "GET / HTTP/1.1\r\n\r\n",
    };
    // Truncations of a real upload request.
    std::vector<std::string> truncated;
    {
        FaxServiceProcess recorder;
        ASSERT_TRUE(UploadOk(recorder));
        std::string real = recorder.Captured(1);
        ASSERT_FALSE(real.empty());
        for (size_t cut = 1; cut < real.size(); cut += real.size() / 25 + 1) {
            truncated.push_back(real.substr(0, cut));
        }
    }
    // All at once, as a hostile client would.
    std::vector<std::thread> clients;
    for (const auto& attack : attacks) {
        clients.emplace_back([port, &attack] { SendRaw(port, attack, 3000); });
    }
    for (const auto& attack : truncated) {
        clients.emplace_back([port, &attack] { SendRaw(port, attack, 300); });
    }
    for (auto& client : clients) {
        client.join();
    }
    EXPECT_TRUE(UploadOk(service));
    EXPECT_TRUE(service.PageFiles().size() == 1u);
    // Each broken request got its log line too.
    bool sawFailure = false;
    for (const auto& line : service.CallLines()) {
        sawFailure |= line.rfind("request-failed ", 0) == 0;
    }
    EXPECT_TRUE(sawFailure);
    EXPECT_EQ(service.Stop(), 0);
}

}  // namespace
}  // namespace vexlo::test
