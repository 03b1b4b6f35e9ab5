// The proxy against broken and hostile responses: it must fail the call
// cleanly (no crash, no hang, no runaway allocation).
#include <gtest/gtest.h>

#include <random>

#include "canned_http_server.h"
#include "service_client.h"

namespace vexlo::test {
namespace {

const std::string kBoundary = "==part-boundary==";

// A render response with one MTOM page, well formed.
std::string MtomRenderResponse(const std::string& boundaryInHeader = kBoundary) {
    std::string root = SoapEnvelope(
        "<ns1:renderForPrintingResponseElement><ns1:result>true</ns1:result>"
        "<ns1:pages><xop:Include xmlns:xop=\"http://www.w3.org/2004/08/xop/include\" "
        "href=\"cid:page1\"/></ns1:pages></ns1:renderForPrintingResponseElement>");
    std::string body = "--" + kBoundary +
                       "\r\nContent-Type: application/xop+xml; charset=utf-8; "
                       "type=\"application/soap+xml\"\r\nContent-Transfer-Encoding: binary\r\n"
                       "Content-ID: <root>\r\n\r\n" +
                       root + "\r\n--" + kBoundary +
                       "\r\nContent-Type: image/png\r\nContent-Transfer-Encoding: binary\r\n"
                       "Content-ID: <page1>\r\n\r\n" +
                       PatternBytes(5000) + "\r\n--" + kBoundary + "--\r\n";
    return "HTTP/1.1 200 OK\r\nContent-Type: multipart/related; boundary=\"" + boundaryInHeader +
           "\"; type=\"application/xop+xml\"; start=\"<root>\"; "
           "start-info=\"application/soap+xml\"\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

class HostileResponse : public ::testing::Test {
protected:
    int Render(const std::string& answer) {
        server_.Push(answer);
        auto proxy = NewProxy();
        proxy->recv_timeout = 3;
        _ns1__renderForPrintingRequestElement request;
        _ns1__renderForPrintingResponseElement response;
        int result =
            proxy->renderForPrinting(server_.endpoint().c_str(), nullptr, &request, response);
        pages_ = response.pages.size();
        if (pages_ == 1 && response.pages[0]) {
            firstPageSize_ = response.pages[0]->__item.__size;
        }
        return result;
    }

    CannedHttpServer server_;
    size_t pages_ = 0;
    int firstPageSize_ = -1;
};

TEST_F(HostileResponse, WellFormedMtomResponseReadsItsPage) {
    ASSERT_EQ(Render(MtomRenderResponse()), SOAP_OK);
    EXPECT_EQ(pages_, 1u);
    EXPECT_EQ(firstPageSize_, 5000);
}

TEST_F(HostileResponse, WrongBoundaryFails) {
    EXPECT_NE(Render(MtomRenderResponse("no-such-boundary")), SOAP_OK);
}

TEST_F(HostileResponse, IncludeOfMissingPartDoesNotCrash) {
    std::string answer = MtomRenderResponse();
    answer.replace(answer.find("cid:page1"), 9, "cid:ghost");
    int result = Render(answer);
    if (result == SOAP_OK) {
        ASSERT_EQ(pages_, 1u);
    }
}

TEST_F(HostileResponse, EmptyAnswerFails) {
    EXPECT_NE(Render(""), SOAP_OK);
}

TEST_F(HostileResponse, GarbageFails) {
    EXPECT_NE(Render("\x01\x02garbage\r\n\r\n\xff\xfe"), SOAP_OK);
    EXPECT_NE(Render("HTTP/1.1 200 OK\r\nContent-Type: application/soap+xml\r\n\r\n<<<>>>&&&"),
              SOAP_OK);
}

TEST_F(HostileResponse, HttpErrorWithoutSoapFails) {
    EXPECT_NE(Render("HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/html\r\n"
                     "Content-Length: 9\r\n\r\n<h1>x</h1>"),
              SOAP_OK);
}

TEST_F(HostileResponse, HugeDeclaredLengthFails) {
    std::string envelope = SoapEnvelope("<ns1:renderForPrintingResponseElement>");
    EXPECT_NE(Render("HTTP/1.1 200 OK\r\nContent-Type: application/soap+xml\r\n"
                     "Content-Length: 99999999999999999\r\n\r\n" +
                     envelope),
              SOAP_OK);
    EXPECT_NE(Render("HTTP/1.1 200 OK\r\nContent-Type: application/soap+xml\r\n"
                     "Content-Length: -5\r\n\r\n" +
                     envelope),
              SOAP_OK);
}

TEST_F(HostileResponse, HugeChunkSizeFails) {
    EXPECT_NE(Render("HTTP/1.1 200 OK\r\nContent-Type: application/soap+xml\r\n"
                     "Transfer-Encoding: chunked\r\n\r\nFFFFFFFFFFFFFFFF\r\n<?xml"),
              SOAP_OK);
}

TEST_F(HostileResponse, DeepNestingFails) {
    std::string deep;
    for (int i = 0; i < 100000; ++i) {
        deep += "<a>";
    }
    EXPECT_NE(Render(SoapResponse("<ns1:renderForPrintingResponseElement>" + deep)), SOAP_OK);
}

TEST_F(HostileResponse, HugeBase64PageIsReadOrRefusedButNeverOverruns) {
    std::string base64(4 * 1024 * 1024, 'A');
    base64 += "=";  // bad padding in the middle of nowhere
    int result = Render(SoapResponse(
        "<ns1:renderForPrintingResponseElement><ns1:result>true</ns1:result><ns1:pages>" + base64 +
        "</ns1:pages></ns1:renderForPrintingResponseElement>"));
    if (result == SOAP_OK) {
        EXPECT_EQ(pages_, 1u);
        EXPECT_LE(firstPageSize_, 3 * 1024 * 1024);
    }
}

TEST_F(HostileResponse, EveryTruncationFailsCleanly) {
    std::string full = MtomRenderResponse();
    for (size_t cut = 0; cut < full.size(); cut += 97) {
        SCOPED_TRACE(cut);
        EXPECT_NE(Render(full.substr(0, cut)), SOAP_OK);
    }
}

TEST_F(HostileResponse, RandomByteDamageNeverCrashes) {
    std::string full = MtomRenderResponse();
    std::mt19937 random(12345);
    int failures = 0;
    for (int round = 0; round < 150; ++round) {
        std::string damaged = full;
        int flips = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < flips; ++i) {
            damaged[random() % damaged.size()] = static_cast<char>(random());
        }
        failures += Render(damaged) != SOAP_OK;
    }
    // Damage in the page bytes is harmless; damage in the framing is not.
    EXPECT_GT(failures, 0);
}

}  // namespace
}  // namespace vexlo::test
