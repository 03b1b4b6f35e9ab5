// How the proxy reads responses: optional and missing fields, child order,
// unknown children, booleans, integers, nil, faults, empty bodies, pages.
#include <gtest/gtest.h>

#include "canned_http_server.h"
#include "fax_service_process.h"
#include "service_client.h"
#include "support/temp_dir.h"

namespace vexlo::test {
namespace {

const std::string kUploadOpen = "<ns1:addDocumentToFaxResponseElement>";
const std::string kUploadClose = "</ns1:addDocumentToFaxResponseElement>";

class ResponseReading : public ::testing::Test {
protected:
    // Calls addDocumentToFax against a server that answers with `children`
    // inside the response element.
    int Upload(const std::string& children) {
        server_.Push(SoapResponse(kUploadOpen + children + kUploadClose));
        return UploadRaw();
    }
    int UploadRaw() {
        proxy_ = NewProxy();
        _ns1__addDocumentToFaxRequestElement request;
        return proxy_->addDocumentToFax(server_.endpoint().c_str(), nullptr, &request, response_);
    }
    int Render(const std::string& body) {
        server_.Push(SoapResponse(body));
        proxy_ = NewProxy();
        _ns1__renderForPrintingRequestElement request;
        return proxy_->renderForPrinting(server_.endpoint().c_str(), nullptr, &request, render_);
    }

    CannedHttpServer server_;
    std::unique_ptr<MTOMServiceSOAP12BindingProxy> proxy_;
    _ns1__addDocumentToFaxResponseElement response_;
    _ns1__renderForPrintingResponseElement render_;
};

TEST_F(ResponseReading, AllFieldsRead) {
    ASSERT_EQ(Upload("<ns1:result>true</ns1:result><ns1:description>stored</ns1:description>"
                     "<ns1:documentId>42</ns1:documentId>"),
              SOAP_OK);
    EXPECT_TRUE(response_.result);
    ASSERT_NE(response_.description, nullptr);
    EXPECT_EQ(*response_.description, "stored");
    ASSERT_NE(response_.documentId, nullptr);
    EXPECT_EQ(*response_.documentId, 42);
}

TEST_F(ResponseReading, BooleanSpellings) {
    ASSERT_EQ(Upload("<ns1:result>1</ns1:result>"), SOAP_OK);
    EXPECT_TRUE(response_.result);
    ASSERT_EQ(Upload("<ns1:result>0</ns1:result>"), SOAP_OK);
    EXPECT_FALSE(response_.result);
    ASSERT_EQ(Upload("<ns1:result>false</ns1:result>"), SOAP_OK);
    EXPECT_FALSE(response_.result);
}

TEST_F(ResponseReading, BadBooleanIsTypeError) {
    EXPECT_EQ(Upload("<ns1:result>yes</ns1:result>"), SOAP_TYPE);
    EXPECT_EQ(Upload("<ns1:result>2</ns1:result>"), SOAP_TYPE);
}

TEST_F(ResponseReading, IntegerOutOfRangeIsTypeError) {
    EXPECT_EQ(Upload("<ns1:result>true</ns1:result><ns1:documentId>99999999999</ns1:documentId>"),
              SOAP_TYPE);
}

TEST_F(ResponseReading, MissingFieldsKeepTheirDefaults) {
    ASSERT_EQ(Upload(""), SOAP_OK);
    EXPECT_FALSE(response_.result);
    EXPECT_EQ(response_.description, nullptr);
    EXPECT_EQ(response_.documentId, nullptr);
}

TEST_F(ResponseReading, ChildrenInAnyOrder) {
    ASSERT_EQ(Upload("<ns1:description>late</ns1:description><ns1:result>true</ns1:result>"),
              SOAP_OK);
    EXPECT_TRUE(response_.result);
    ASSERT_NE(response_.description, nullptr);
    EXPECT_EQ(*response_.description, "late");
}

TEST_F(ResponseReading, UnknownChildIsSkippedWhole) {
    ASSERT_EQ(Upload("<ns1:extra a=\"1\"><deep><ns1:result>false</ns1:result></deep></ns1:extra>"
                     "<ns1:result>true</ns1:result>"),
              SOAP_OK);
    EXPECT_TRUE(response_.result);
}

TEST_F(ResponseReading, DuplicateChildIsSkipped) {
    ASSERT_EQ(Upload("<ns1:result>true</ns1:result><ns1:result>false</ns1:result>"), SOAP_OK);
    EXPECT_TRUE(response_.result);
}

TEST_F(ResponseReading, EnvelopeNamespaceChildInsideResponseFails) {
    EXPECT_NE(Upload("<SOAP-ENV:Body/><ns1:result>true</ns1:result>"), SOAP_OK);
}

TEST_F(ResponseReading, NilDescriptionReadsAsAbsent) {
    ASSERT_EQ(Upload("<ns1:result>false</ns1:result><ns1:description xsi:nil=\"true\"/>"), SOAP_OK);
    EXPECT_EQ(response_.description, nullptr);
}

TEST_F(ResponseReading, Latin1BytesComeBackFromUtf8) {
    ASSERT_EQ(Upload("<ns1:description>caf\xc3\xa9 &amp; co</ns1:description>"), SOAP_OK);
    ASSERT_NE(response_.description, nullptr);
    EXPECT_EQ(*response_.description, "caf\xe9 & co");
}

// The 2.8.124 runtime reads an HTTP 200 answer with an empty body as an
// empty response: the call succeeds and the response keeps its defaults,
// which the callers take as a refusal without description.
TEST_F(ResponseReading, EmptyBodyLeavesTheDefaults) {
    server_.Push(SoapResponse(""));
    EXPECT_EQ(UploadRaw(), SOAP_OK);
    EXPECT_FALSE(response_.result);
    EXPECT_EQ(response_.description, nullptr);
    EXPECT_EQ(response_.documentId, nullptr);
}

// Another element and no fault: the runtime makes a Sender fault record and
// returns the HTTP status as the error.
TEST_F(ResponseReading, OtherElementInBodyFailsWithTheHttpStatus) {
    server_.Push(SoapResponse("<ns1:somethingElse/>"));
    EXPECT_EQ(UploadRaw(), 200);
    EXPECT_FALSE(response_.result);
    ASSERT_NE(proxy_->soap_fault(), nullptr);
}

TEST_F(ResponseReading, RenderPagesInlineInDocumentOrder) {
    ASSERT_EQ(Render("<ns1:renderForPrintingResponseElement><ns1:result>true</ns1:result>"
                     "<ns1:pages ns1:fileName=\"1\">TWFu</ns1:pages>"
                     "<ns1:pages ns1:md5=\"x\">TWE=</ns1:pages>"
                     "<ns1:pages>TQ==</ns1:pages></ns1:renderForPrintingResponseElement>"),
              SOAP_OK);
    ASSERT_EQ(render_.pages.size(), 3u);
    auto text = [](ns1__xBinaryAttachment* page) {
        return std::string(reinterpret_cast<char*>(page->__item.__ptr),
                           static_cast<size_t>(page->__item.__size));
    };
    EXPECT_EQ(text(render_.pages[0]), "Man");
    EXPECT_EQ(text(render_.pages[1]), "Ma");
    EXPECT_EQ(text(render_.pages[2]), "M");
    ASSERT_NE(render_.pages[0]->fileName, nullptr);
    EXPECT_EQ(*render_.pages[0]->fileName, "1");
    EXPECT_EQ(render_.pages[0]->md5, nullptr);
    ASSERT_NE(render_.pages[1]->md5, nullptr);
    EXPECT_EQ(*render_.pages[1]->md5, "x");
}

TEST_F(ResponseReading, RenderWithoutPagesReadsEmpty) {
    ASSERT_EQ(Render("<ns1:renderForPrintingResponseElement><ns1:result>true</ns1:result>"
                     "</ns1:renderForPrintingResponseElement>"),
              SOAP_OK);
    EXPECT_TRUE(render_.result);
    EXPECT_TRUE(render_.pages.empty());
}

TEST_F(ResponseReading, NilPageAddsANullEntry) {
    ASSERT_EQ(Render("<ns1:renderForPrintingResponseElement><ns1:result>true</ns1:result>"
                     "<ns1:pages>TWFu</ns1:pages><ns1:pages xsi:nil=\"true\"/>"
                     "</ns1:renderForPrintingResponseElement>"),
              SOAP_OK);
    ASSERT_EQ(render_.pages.size(), 2u);
    EXPECT_NE(render_.pages[0], nullptr);
    EXPECT_EQ(render_.pages[1], nullptr);
}

TEST_F(ResponseReading, WrongTypeOnBinaryIsTypeError) {
    EXPECT_EQ(Render("<ns1:renderForPrintingResponseElement><ns1:result>true</ns1:result>"
                     "<ns1:pages xsi:type=\"xsd:string\">TWFu</ns1:pages>"
                     "</ns1:renderForPrintingResponseElement>"),
              SOAP_TYPE);
}

TEST_F(ResponseReading, MustUnderstandHeaderFails) {
    std::string envelope =
        "<?xml version=\"1.0\"?><SOAP-ENV:Envelope "
        "xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\" "
        "xmlns:ns1=\"http://vexlo.local/ws/generated/vexloplugin\"><SOAP-ENV:Header>"
        "<ns1:critical SOAP-ENV:mustUnderstand=\"true\">x</ns1:critical></SOAP-ENV:Header>"
        "<SOAP-ENV:Body>" +
        kUploadOpen + "<ns1:result>true</ns1:result>" + kUploadClose +
        "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
    server_.Push("HTTP/1.1 200 OK\r\nContent-Type: application/soap+xml\r\nContent-Length: " +
                 std::to_string(envelope.size()) + "\r\n\r\n" + envelope);
    EXPECT_EQ(UploadRaw(), SOAP_MUSTUNDERSTAND);
}

// Faults from the real service, by code.
class FaultCodes : public ::testing::TestWithParam<std::pair<const char*, int>> {};

TEST_P(FaultCodes, MapToRuntimeErrors) {
    FaxServiceProcess service({std::string("--fault=") + GetParam().first});
    ASSERT_TRUE(service.started()) << service.ErrorOutput();
    auto proxy = NewProxy();
    _ns1__addDocumentToFaxRequestElement request;
    _ns1__addDocumentToFaxResponseElement response;
    EXPECT_EQ(proxy->addDocumentToFax(service.endpoint().c_str(), nullptr, &request, response),
              GetParam().second);
    EXPECT_FALSE(response.result);
    ASSERT_NE(proxy->soap_fault_string(), nullptr);
    EXPECT_STREQ(proxy->soap_fault_string(), "Injected fault");
}

INSTANTIATE_TEST_SUITE_P(Service, FaultCodes,
                         ::testing::Values(std::make_pair("SOAP-ENV:Sender", SOAP_CLI_FAULT),
                                           std::make_pair("SOAP-ENV:Receiver", SOAP_SVR_FAULT),
                                           std::make_pair("ns1:Busy", SOAP_FAULT)));

TEST(RawResponse, ServiceAnswersCannedBytesVerbatim) {
    TempDir dir;
    WriteFileBytes(
        dir.native("answer.http"),
        SoapResponse(kUploadOpen +
                     "<ns1:result>true</ns1:result><ns1:documentId>777</ns1:documentId>" +
                     kUploadClose));
    FaxServiceProcess service({"--raw-response=" + dir.native("answer.http")});
    ASSERT_TRUE(service.started()) << service.ErrorOutput();
    auto proxy = NewProxy();
    _ns1__addDocumentToFaxRequestElement request;
    _ns1__addDocumentToFaxResponseElement response;
    ASSERT_EQ(proxy->addDocumentToFax(service.endpoint().c_str(), nullptr, &request, response),
              SOAP_OK);
    EXPECT_TRUE(response.result);
    ASSERT_NE(response.documentId, nullptr);
    EXPECT_EQ(*response.documentId, 777);
    auto lines = service.WaitForCallLines(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("injected=raw-response"), std::string::npos);
}

}  // namespace
}  // namespace vexlo::test
