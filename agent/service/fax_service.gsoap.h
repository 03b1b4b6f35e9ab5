// The fax web service as the agent and the local fax service speak it. The
// message classes, the client proxy MTOMServiceSOAP12BindingProxy and the
// server class MTOMServiceSOAP12BindingService are generated from this file
// by soapcpp2 at build time (SOAP 1.2, document/literal, MTOM); nothing that
// soapcpp2 writes is committed.
//
// Namespace of the service (prefix ns1):
//     http://vexlo.local/ws/generated/vexloplugin
// Built-in endpoint, used when the soap-server setting is empty; the local
// fax service (tools/fax-service) listens there by default:
//     http://127.0.0.1:18480/services/vexloplugin
//
// This is a gSOAP interface header, not C++: it is read by soapcpp2 only.

//gsoap ns1 service name: MTOMServiceSOAP12Binding
//gsoap ns1 service type: MTOMServicePortType
//gsoap ns1 service port: http://127.0.0.1:18480/services/vexloplugin
//gsoap ns1 service namespace: http://vexlo.local/ws/generated/vexloplugin
//gsoap ns1 service transport: http://www.w3.org/2003/05/soap/bindings/HTTP/
//gsoap ns1 schema namespace: http://vexlo.local/ws/generated/vexloplugin
//gsoap ns1 schema elementForm: qualified
//gsoap ns1 schema attributeForm: qualified

#import "stl.h"

// Binary content: an MTOM attachment (xop:Include) when id or type is set,
// inline base64 otherwise. For a streamed attachment __ptr is the handle that
// the attachment callbacks understand, not bytes.
class xsd__base64Binary {
public:
    unsigned char* __ptr;
    int __size;
    char* id;
    char* type;
    char* options;
    struct soap* soap;
};

// A page: binary simple content (named __item, as the generator requires for
// simple content beside attributes) with the page's MD5 and file name.
class ns1__xBinaryAttachment {
public:
    xsd__base64Binary __item;
    @std::string* md5 0;
    @std::string* fileName 0;
    struct soap* soap;
};

class _ns1__addDocumentToFaxRequestElement {
public:
    // Required and nillable: a null page is written as <ns1:scanImage xsi:nil="true"/>.
    ns1__xBinaryAttachment* scanImage nullptr 1;
    std::string apiKey 1;
    int messageId 1;
    struct soap* soap;
};

class _ns1__addDocumentToFaxResponseElement {
public:
    bool result 1;
    std::string* description 0;
    int* documentId 0;
    struct soap* soap;
};

class _ns1__renderForPrintingRequestElement {
public:
    std::string apiKey 1;
    std::string printingRequest 1;
    struct soap* soap;
};

class _ns1__renderForPrintingResponseElement {
public:
    bool result 1;
    std::string* description 0;
    std::vector<ns1__xBinaryAttachment*> pages 0;
    struct soap* soap;
};

//gsoap ns1 service method-protocol: addDocumentToFax SOAP
//gsoap ns1 service method-style: addDocumentToFax document
//gsoap ns1 service method-encoding: addDocumentToFax literal
//gsoap ns1 service method-action: addDocumentToFax addDocumentToFax
int __ns1__addDocumentToFax(
    _ns1__addDocumentToFaxRequestElement* ns1__addDocumentToFaxRequestElement,
    _ns1__addDocumentToFaxResponseElement& ns1__addDocumentToFaxResponseElement);

//gsoap ns1 service method-protocol: renderForPrinting SOAP
//gsoap ns1 service method-style: renderForPrinting document
//gsoap ns1 service method-encoding: renderForPrinting literal
//gsoap ns1 service method-action: renderForPrinting renderForPrinting
int __ns1__renderForPrinting(
    _ns1__renderForPrintingRequestElement* ns1__renderForPrintingRequestElement,
    _ns1__renderForPrintingResponseElement& ns1__renderForPrintingResponseElement);
