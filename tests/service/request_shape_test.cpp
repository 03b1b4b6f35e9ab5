// The requests as they go over the wire: element names and order, the nil
// page, attachment versus inline base64, string bytes, SOAP actions.
#include <gtest/gtest.h>

#include "canned_http_server.h"
#include "fax_service_process.h"
#include "service_client.h"

namespace vexlo::test {
namespace {

class RequestShape : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(service_.started()) << service_.ErrorOutput(); }

    FaxServiceProcess service_;
};

TEST_F(RequestShape, NullPageIsWrittenAsNilElementBeforeKeyAndMessageId) {
    auto proxy = NewProxy();
    _ns1__addDocumentToFaxRequestElement request;
    request.apiKey = "key-1";
    request.messageId = 77;
    _ns1__addDocumentToFaxResponseElement response;
    ASSERT_EQ(proxy->addDocumentToFax(service_.endpoint().c_str(), nullptr, &request, response),
              SOAP_OK);
    EXPECT_FALSE(response.result);

    std::string wire = service_.Captured(1);
    EXPECT_NE(wire.find("<ns1:addDocumentToFaxRequestElement><ns1:scanImage xsi:nil=\"true\"/>"
                        "<ns1:apiKey>key-1</ns1:apiKey><ns1:messageId>77</ns1:messageId>"
                        "</ns1:addDocumentToFaxRequestElement>"),
              std::string::npos)
        << wire;
    // Without attachments the message is plain SOAP 1.2, not multipart.
    EXPECT_NE(wire.find("Content-Type: application/soap+xml; charset=utf-8"), std::string::npos);
    EXPECT_EQ(wire.find("Content-Type: multipart/related"), std::string::npos);
    EXPECT_EQ(wire.find("SOAP-ENV:Header"), std::string::npos);
}

TEST_F(RequestShape, TypedPageGoesAsXopIncludeWithMimePart) {
    auto proxy = NewProxy();
    PageAttachment page(PatternBytes(3000), /*asMimeAttachment=*/true, "123.png");
    _ns1__addDocumentToFaxRequestElement request;
    request.scanImage = page.get();
    request.apiKey = "k";
    request.messageId = 1;
    _ns1__addDocumentToFaxResponseElement response;
    ASSERT_EQ(proxy->addDocumentToFax(service_.endpoint().c_str(), nullptr, &request, response),
              SOAP_OK);
    EXPECT_TRUE(response.result);

    std::string wire = service_.Captured(1);
    EXPECT_NE(wire.find("POST /services/vexloplugin HTTP/1.1"), std::string::npos);
    EXPECT_NE(wire.find("multipart/related"), std::string::npos);
    EXPECT_NE(wire.find("type=\"application/xop+xml\""), std::string::npos);
    EXPECT_NE(wire.find("start-info=\"application/soap+xml\""), std::string::npos);
    std::string element = "<ns1:scanImage ns1:md5=\"" + page.md5() +
                          "\" ns1:fileName=\"123.png\"><xop:Include "
                          "xmlns:xop=\"http://www.w3.org/2004/08/xop/include\" href=\"cid:";
    size_t at = wire.find(element);
    ASSERT_NE(at, std::string::npos) << wire.substr(0, 2000);
    size_t idStart = at + element.size();
    std::string cid = wire.substr(idStart, wire.find('"', idStart) - idStart);
    EXPECT_NE(wire.find("</ns1:scanImage><ns1:apiKey>k</ns1:apiKey>"), std::string::npos);

    // The MIME part: its headers, then the page's bytes unchanged.
    size_t part = wire.find("Content-ID: <" + cid + ">");
    ASSERT_NE(part, std::string::npos);
    std::string partHeaders =
        wire.substr(wire.rfind("\r\n--", part), part - wire.rfind("\r\n--", part));
    EXPECT_NE(partHeaders.find("Content-Type: image/png"), std::string::npos);
    EXPECT_NE(partHeaders.find("Content-Transfer-Encoding: binary"), std::string::npos);
    size_t bytesAt = wire.find("\r\n\r\n", part) + 4;
    EXPECT_EQ(wire.substr(bytesAt, page.bytes().size()), page.bytes());
}

TEST_F(RequestShape, UntypedPageGoesInlineAsBase64) {
    auto proxy = NewProxy();
    PageAttachment page("Man", /*asMimeAttachment=*/false, "a.png");
    _ns1__addDocumentToFaxRequestElement request;
    request.scanImage = page.get();
    request.apiKey = "k";
    _ns1__addDocumentToFaxResponseElement response;
    ASSERT_EQ(proxy->addDocumentToFax(service_.endpoint().c_str(), nullptr, &request, response),
              SOAP_OK);
    EXPECT_TRUE(response.result);

    std::string wire = service_.Captured(1);
    EXPECT_EQ(wire.find("Content-Type: multipart/related"), std::string::npos);
    EXPECT_EQ(wire.find("xop:Include"), std::string::npos);
    EXPECT_NE(wire.find("<ns1:scanImage ns1:md5=\"" + page.md5() +
                        "\" ns1:fileName=\"a.png\">TWFu</ns1:scanImage>"),
              std::string::npos);
}

TEST_F(RequestShape, Base64PadsTheLastGroup) {
    auto proxy = NewProxy();
    PageAttachment page(std::string("\xfb\xff", 2), /*asMimeAttachment=*/false);
    _ns1__addDocumentToFaxRequestElement request;
    request.scanImage = page.get();
    _ns1__addDocumentToFaxResponseElement response;
    ASSERT_EQ(proxy->addDocumentToFax(service_.endpoint().c_str(), nullptr, &request, response),
              SOAP_OK);
    EXPECT_NE(service_.Captured(1).find("\">+/8=</ns1:scanImage>"), std::string::npos);
}

TEST_F(RequestShape, StringBytesGoAsLatin1CharactersEscaped) {
    auto proxy = NewProxy();
    _ns1__renderForPrintingRequestElement request;
    request.apiKey = "a<b&c";
    request.printingRequest = "\xe9t\xe9";  // bytes of a single-byte code page
    _ns1__renderForPrintingResponseElement response;
    ASSERT_EQ(proxy->renderForPrinting(service_.endpoint().c_str(), nullptr, &request, response),
              SOAP_OK);
    std::string wire = service_.Captured(1);
    EXPECT_NE(wire.find("<ns1:renderForPrintingRequestElement><ns1:apiKey>a&lt;b&amp;c"
                        "</ns1:apiKey><ns1:printingRequest>\xc3\xa9t\xc3\xa9"
                        "</ns1:printingRequest></ns1:renderForPrintingRequestElement>"),
              std::string::npos)
        << wire;
    // The service reads the same bytes back: its refusal names the command.
    ASSERT_NE(response.description, nullptr);
    EXPECT_EQ(response.description->find("Bad print command"), 0u);
}

TEST_F(RequestShape, NullActionSendsTheOperationName) {
    auto proxy = NewProxy();
    // The proxy keeps the pointer, not a copy: the string must outlive the calls.
    const std::string endpoint = service_.endpoint();
    _ns1__addDocumentToFaxRequestElement upload;
    _ns1__addDocumentToFaxResponseElement uploadResponse;
    ASSERT_EQ(proxy->addDocumentToFax(endpoint.c_str(), nullptr, &upload, uploadResponse), SOAP_OK);
    _ns1__renderForPrintingRequestElement render;
    render.printingRequest = "pages=0";
    _ns1__renderForPrintingResponseElement renderResponse;
    ASSERT_EQ(proxy->renderForPrinting(nullptr, nullptr, &render, renderResponse), SOAP_OK);
    _ns1__renderForPrintingResponseElement explicitResponse;
    ASSERT_EQ(proxy->renderForPrinting(nullptr, "urn:custom", &render, explicitResponse), SOAP_OK);

    EXPECT_NE(service_.Captured(1).find("action=\"addDocumentToFax\""), std::string::npos);
    EXPECT_NE(service_.Captured(2).find("action=\"renderForPrinting\""), std::string::npos);
    EXPECT_NE(service_.Captured(3).find("action=\"urn:custom\""), std::string::npos);
}

TEST_F(RequestShape, SendWithoutReadingDeliversTheRequest) {
    auto proxy = NewProxy();
    _ns1__addDocumentToFaxRequestElement request;
    request.apiKey = "fire-and-forget";
    request.messageId = 5;
    EXPECT_EQ(proxy->send_addDocumentToFax(service_.endpoint().c_str(), nullptr, &request),
              SOAP_OK);
    EXPECT_EQ(proxy->soap_close_socket(), SOAP_OK);
    auto lines = service_.WaitForCallLines(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("key=fire-and-forget messageId=5"), std::string::npos);
}

}  // namespace
}  // namespace vexlo::test
