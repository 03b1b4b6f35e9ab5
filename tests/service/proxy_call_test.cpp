// Calls through the proxy to the real local fax service: endpoints,
// transport failures, time-outs and the service's answers.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "canned_http_server.h"
#include "fax_service_process.h"
#include "service_client.h"

namespace vexlo::test {
namespace {

int Upload(MTOMServiceSOAP12BindingProxy& proxy, const char* endpoint, PageAttachment* page,
           _ns1__addDocumentToFaxResponseElement& response, const std::string& key = "key") {
    _ns1__addDocumentToFaxRequestElement request;
    request.scanImage = page ? page->get() : nullptr;
    request.apiKey = key;
    request.messageId = 9;
    return proxy.addDocumentToFax(endpoint, nullptr, &request, response);
}

std::string PageText(ns1__xBinaryAttachment* page) {
    return std::string(reinterpret_cast<char*>(page->__item.__ptr),
                       static_cast<size_t>(page->__item.__size));
}

TEST(ProxyEndpoint, NothingListeningIsTcpError) {
    std::string endpoint =
        "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/services/vexloplugin";
    auto proxy = NewProxy();
    _ns1__addDocumentToFaxResponseElement response;
    EXPECT_EQ(Upload(*proxy, endpoint.c_str(), nullptr, response), SOAP_TCP_ERROR);
    EXPECT_FALSE(response.result);
}

TEST(ProxyEndpoint, SecondCallWithoutEndpointReusesTheFirst) {
    FaxServiceProcess service;
    ASSERT_TRUE(service.started()) << service.ErrorOutput();
    std::string endpoint = service.endpoint();
    auto proxy = NewProxy();
    EXPECT_EQ(proxy->soap_endpoint, nullptr);
    _ns1__addDocumentToFaxResponseElement first, second;
    ASSERT_EQ(Upload(*proxy, endpoint.c_str(), nullptr, first), SOAP_OK);
    ASSERT_EQ(Upload(*proxy, nullptr, nullptr, second), SOAP_OK);
    EXPECT_EQ(proxy->soap_endpoint, endpoint.c_str());
    EXPECT_EQ(service.WaitForCallLines(2).size(), 2u);
}

TEST(ProxyEndpoint, FreshProxyWithoutEndpointCallsTheBuiltInOne) {
    // The service's default port is the built-in endpoint's. Another test
    // may hold it for a moment; give up only when it stays taken.
    std::unique_ptr<FaxServiceProcess> service;
    for (int attempt = 0; attempt < 50; ++attempt) {
        service = std::make_unique<FaxServiceProcess>(std::vector<std::string>{}, 18480);
        if (service->started()) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    auto proxy = NewProxy();
    _ns1__addDocumentToFaxResponseElement response;
    int result = Upload(*proxy, nullptr, nullptr, response, "built-in");
    EXPECT_STREQ(proxy->soap_endpoint, kBuiltInServiceEndpoint);
    if (!service->started()) {
        GTEST_SKIP() << "port 18480 is taken by another program";
    }
    EXPECT_EQ(result, SOAP_OK);
    auto lines = service->WaitForCallLines(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("key=built-in"), std::string::npos);
}

TEST(ProxyEndpoint, SeveralEndpointsAreTriedInOrder) {
    FaxServiceProcess service;
    ASSERT_TRUE(service.started()) << service.ErrorOutput();
    std::string endpoints = "http://127.0.0.1:" + std::to_string(UnusedPort()) +
                            "/services/vexloplugin " + service.endpoint();
    auto proxy = NewProxy();
    _ns1__addDocumentToFaxResponseElement response;
    EXPECT_EQ(Upload(*proxy, endpoints.c_str(), nullptr, response), SOAP_OK);
}

TEST(ProxyTransport, StallLongerThanReceiveTimeoutFails) {
    FaxServiceProcess service({"--stall=3000"});
    ASSERT_TRUE(service.started()) << service.ErrorOutput();
    auto proxy = NewProxy();
    proxy->recv_timeout = 1;
    _ns1__addDocumentToFaxResponseElement response;
    auto start = std::chrono::steady_clock::now();
    EXPECT_NE(Upload(*proxy, service.endpoint().c_str(), nullptr, response), SOAP_OK);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2900));
}

TEST(ProxyTransport, ShortStallIsWaitedFor) {
    FaxServiceProcess service({"--stall=300"});
    ASSERT_TRUE(service.started()) << service.ErrorOutput();
    auto proxy = NewProxy();
    PageAttachment page(PatternBytes(1000), true);
    _ns1__addDocumentToFaxResponseElement response;
    EXPECT_EQ(Upload(*proxy, service.endpoint().c_str(), &page, response), SOAP_OK);
    EXPECT_TRUE(response.result);
}

TEST(ProxyTransport, ConnectionDroppedMidRequestFails) {
    FaxServiceProcess service({"--drop-after=600"});
    ASSERT_TRUE(service.started()) << service.ErrorOutput();
    auto proxy = NewProxy();
    PageAttachment page(PatternBytes(2 * 1024 * 1024), true);
    _ns1__addDocumentToFaxResponseElement response;
    EXPECT_NE(Upload(*proxy, service.endpoint().c_str(), &page, response), SOAP_OK);
    EXPECT_FALSE(response.result);
    std::vector<std::string> calls = service.WaitForCallLines(1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].rfind("request-failed ", 0), 0u) << calls[0];
    EXPECT_TRUE(service.PageFiles().empty());
}

TEST(ProxyTransport, ConnectionDroppedAtOnceFails) {
    FaxServiceProcess service({"--drop-after=0"});
    ASSERT_TRUE(service.started()) << service.ErrorOutput();
    auto proxy = NewProxy();
    _ns1__addDocumentToFaxResponseElement response;
    EXPECT_NE(Upload(*proxy, service.endpoint().c_str(), nullptr, response), SOAP_OK);
}

TEST(ProxyTransport, SlowReadingServiceStillGetsThePage) {
    FaxServiceProcess service({"--slow-read=400000"});
    ASSERT_TRUE(service.started()) << service.ErrorOutput();
    auto proxy = NewProxy();
    PageAttachment page(PatternBytes(100000), true, "slow.png");
    _ns1__addDocumentToFaxResponseElement response;
    ASSERT_EQ(Upload(*proxy, service.endpoint().c_str(), &page, response), SOAP_OK);
    EXPECT_TRUE(response.result);
}

TEST(ProxyAnswers, AcceptedPageHasDocumentIdAndIsStored) {
    FaxServiceProcess service;
    ASSERT_TRUE(service.started()) << service.ErrorOutput();
    auto proxy = NewProxy();
    PageAttachment page(PatternBytes(100000), true, "123.png");
    _ns1__addDocumentToFaxResponseElement response;
    ASSERT_EQ(Upload(*proxy, service.endpoint().c_str(), &page, response), SOAP_OK);
    ASSERT_TRUE(response.result);
    ASSERT_NE(response.documentId, nullptr);
    auto files = service.PageFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0], std::to_string(*response.documentId) + "-123.png");
    EXPECT_EQ(ReadFileBytes(service.pagesDir() + "/" + files[0]), page.bytes());
    auto lines = service.WaitForCallLines(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("addDocumentToFax connection=1 key=key messageId=9 bytes=100000 "
                            "md5=ok result=true"),
              std::string::npos)
        << lines[0];
}

TEST(ProxyAnswers, Md5MismatchIsRefusedWithDescription) {
    FaxServiceProcess service;
    ASSERT_TRUE(service.started()) << service.ErrorOutput();
    auto proxy = NewProxy();
    PageAttachment page(PatternBytes(5000), true);
    page.set_md5(Md5Hex("other bytes"));
    _ns1__addDocumentToFaxResponseElement response;
    ASSERT_EQ(Upload(*proxy, service.endpoint().c_str(), &page, response), SOAP_OK);
    EXPECT_FALSE(response.result);
    ASSERT_NE(response.description, nullptr);
    EXPECT_EQ(*response.description, "MD5 checksum does not match the page");
    EXPECT_EQ(response.documentId, nullptr);
    EXPECT_TRUE(service.PageFiles().empty());
    auto lines = service.WaitForCallLines(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("md5=bad result=false"), std::string::npos);
}

TEST(ProxyAnswers, UppercaseMd5IsAccepted) {
    FaxServiceProcess service;
    ASSERT_TRUE(service.started()) << service.ErrorOutput();
    auto proxy = NewProxy();
    PageAttachment page(PatternBytes(700), true);
    std::string upper = page.md5();
    for (auto& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    page.set_md5(upper);
    _ns1__addDocumentToFaxResponseElement response;
    ASSERT_EQ(Upload(*proxy, service.endpoint().c_str(), &page, response), SOAP_OK);
    EXPECT_TRUE(response.result);
}

TEST(ProxyAnswers, UnknownKeyIsRefused) {
    FaxServiceProcess service({"--api-key=good", "--api-key=also-good"});
    ASSERT_TRUE(service.started()) << service.ErrorOutput();
    auto proxy = NewProxy();
    PageAttachment page(PatternBytes(700), true);
    const std::string endpoint = service.endpoint();
    _ns1__addDocumentToFaxResponseElement refused, accepted;
    ASSERT_EQ(Upload(*proxy, endpoint.c_str(), &page, refused, "bad"), SOAP_OK);
    EXPECT_FALSE(refused.result);
    ASSERT_NE(refused.description, nullptr);
    EXPECT_EQ(*refused.description, "Unknown API key");
    ASSERT_EQ(Upload(*proxy, nullptr, &page, accepted, "also-good"), SOAP_OK);
    EXPECT_TRUE(accepted.result);
}

TEST(ProxyAnswers, RefusalWithAndWithoutDescription) {
    FaxServiceProcess withText({"--refuse=Fax line busy"});
    FaxServiceProcess withoutText({"--refuse"});
    ASSERT_TRUE(withText.started() && withoutText.started());
    auto proxy = NewProxy();
    PageAttachment page(PatternBytes(700), true);
    _ns1__addDocumentToFaxResponseElement a, b;
    ASSERT_EQ(Upload(*proxy, withText.endpoint().c_str(), &page, a), SOAP_OK);
    EXPECT_FALSE(a.result);
    ASSERT_NE(a.description, nullptr);
    EXPECT_EQ(*a.description, "Fax line busy");
    ASSERT_EQ(Upload(*proxy, withoutText.endpoint().c_str(), &page, b), SOAP_OK);
    EXPECT_FALSE(b.result);
    EXPECT_EQ(b.description, nullptr);
}

TEST(ProxyAnswers, FaultOnOneOperationLeavesTheOther) {
    FaxServiceProcess service({"--fault=SOAP-ENV:Receiver", "--fault-on=renderForPrinting"});
    ASSERT_TRUE(service.started()) << service.ErrorOutput();
    auto proxy = NewProxy();
    const std::string endpoint = service.endpoint();
    _ns1__addDocumentToFaxResponseElement upload;
    EXPECT_EQ(Upload(*proxy, endpoint.c_str(), nullptr, upload), SOAP_OK);
    _ns1__renderForPrintingRequestElement request;
    request.printingRequest = "pages=1";
    _ns1__renderForPrintingResponseElement render;
    EXPECT_EQ(proxy->renderForPrinting(nullptr, nullptr, &request, render), SOAP_SVR_FAULT);
}

TEST(ProxyAnswers, RenderReturnsNumberedPagesInOrder) {
    FaxServiceProcess service;
    ASSERT_TRUE(service.started()) << service.ErrorOutput();
    auto proxy = NewProxy();
    _ns1__renderForPrintingRequestElement request;
    request.apiKey = "key";
    request.printingRequest = "sizes=300x200,400x100,50x60";
    _ns1__renderForPrintingResponseElement response;
    ASSERT_EQ(proxy->renderForPrinting(service.endpoint().c_str(), nullptr, &request, response),
              SOAP_OK);
    ASSERT_TRUE(response.result);
    ASSERT_EQ(response.pages.size(), 3u);
    const int sizes[3][2] = {{300, 200}, {400, 100}, {50, 60}};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        ASSERT_NE(response.pages[i], nullptr);
        std::string png = PageText(response.pages[i]);
        EXPECT_EQ(PngWidth(png), sizes[i][0]);
        EXPECT_EQ(PngHeight(png), sizes[i][1]);
        ASSERT_NE(response.pages[i]->md5, nullptr);
        EXPECT_EQ(*response.pages[i]->md5, Md5Hex(png));
        ASSERT_NE(response.pages[i]->fileName, nullptr);
        EXPECT_EQ(*response.pages[i]->fileName, "page-" + std::to_string(i + 1) + ".png");
        ASSERT_NE(response.pages[i]->__item.type, nullptr);
        EXPECT_STREQ(response.pages[i]->__item.type, "image/png");
    }
}

TEST(ProxyAnswers, RenderOfSameSizeShowsEachPageNumber) {
    FaxServiceProcess service;
    ASSERT_TRUE(service.started()) << service.ErrorOutput();
    auto proxy = NewProxy();
    _ns1__renderForPrintingRequestElement request;
    request.printingRequest = "pages=3;width=1678;height=600";
    _ns1__renderForPrintingResponseElement response;
    ASSERT_EQ(proxy->renderForPrinting(service.endpoint().c_str(), nullptr, &request, response),
              SOAP_OK);
    ASSERT_EQ(response.pages.size(), 3u);
    // Same size, different numbers drawn: different images.
    EXPECT_NE(PageText(response.pages[0]), PageText(response.pages[1]));
    EXPECT_NE(PageText(response.pages[1]), PageText(response.pages[2]));
    EXPECT_EQ(PngWidth(PageText(response.pages[2])), 1678);
    EXPECT_EQ(PngHeight(PageText(response.pages[2])), 600);
}

TEST(ProxyAnswers, RenderWithNoPagesSucceedsEmpty) {
    FaxServiceProcess service;
    ASSERT_TRUE(service.started()) << service.ErrorOutput();
    auto proxy = NewProxy();
    _ns1__renderForPrintingRequestElement request;
    request.printingRequest = "pages=0";
    _ns1__renderForPrintingResponseElement response;
    ASSERT_EQ(proxy->renderForPrinting(service.endpoint().c_str(), nullptr, &request, response),
              SOAP_OK);
    EXPECT_TRUE(response.result);
    EXPECT_TRUE(response.pages.empty());
}

TEST(ProxyAnswers, BadPrintCommandsAreRefused) {
    FaxServiceProcess service;
    ASSERT_TRUE(service.started()) << service.ErrorOutput();
    auto proxy = NewProxy();
    for (const char* command :
         {"", "pages=51", "width=0", "colour=red", "pages", "sizes=10x", "pages=2;sizes=5x5",
          "height=7001", "pages=-1", "sizes=5000x7000,1x1,abc"}) {
        SCOPED_TRACE(command);
        _ns1__renderForPrintingRequestElement request;
        request.printingRequest = command;
        _ns1__renderForPrintingResponseElement response;
        ASSERT_EQ(proxy->renderForPrinting(service.endpoint().c_str(), nullptr, &request, response),
                  SOAP_OK);
        EXPECT_FALSE(response.result);
        ASSERT_NE(response.description, nullptr);
        EXPECT_EQ(response.description->rfind("Bad print command: ", 0), 0u);
        EXPECT_TRUE(response.pages.empty());
    }
}

TEST(ProxyAnswers, CommandKeysIgnoreCaseAndBlanks) {
    FaxServiceProcess service;
    ASSERT_TRUE(service.started()) << service.ErrorOutput();
    auto proxy = NewProxy();
    _ns1__renderForPrintingRequestElement request;
    request.printingRequest = " PAGES = 2 ; Width=40;height= 30 ;";
    _ns1__renderForPrintingResponseElement response;
    ASSERT_EQ(proxy->renderForPrinting(service.endpoint().c_str(), nullptr, &request, response),
              SOAP_OK);
    ASSERT_TRUE(response.result);
    ASSERT_EQ(response.pages.size(), 2u);
    EXPECT_EQ(PngWidth(PageText(response.pages[1])), 40);
}

}  // namespace
}  // namespace vexlo::test
