// The two operations of the fax service, defined on the generated service
// class. Both run after the whole request, attachments included, was read.
#include <strings.h>

#include <cstring>
#include <string>

#include "connection.h"
#include "md5_hasher.h"
#include "page_renderer.h"
#include "print_command.h"
#include "soapMTOMServiceSOAP12BindingService.h"

using faxservice::Connection;
using faxservice::IncomingPage;

namespace {

constexpr const char* kServicePath = "/services/vexloplugin";
constexpr int kNotFound = 404;

std::string* NewString(struct soap* soap, const std::string& text) {
    std::string* s = soap_new_std__string(soap);
    if (s) {
        *s = text;
    }
    return s;
}

bool IsServicePath(const char* path) {
    size_t length = std::strlen(kServicePath);
    return std::strncmp(path, kServicePath, length) == 0 &&
           (path[length] == '\0' || path[length] == '?');
}

// Applies the answer faults of the plan. Returns -1 when the call goes on,
// else the result the operation must return; `outcome` names what was done.
int InjectAnswerFault(struct soap* soap, Connection& connection, const char* operation,
                      std::string& outcome) {
    auto& state = connection.state();
    const auto& faults = state.options.faults;
    if (!state.FaultsApplyTo(operation)) {
        return -1;
    }
    if (faults.stallMs > 0 && !connection.Stall()) {
        outcome = "injected=stall-interrupted";
        return SOAP_STOP;
    }
    if (!faults.rawResponseFile.empty()) {
        outcome = "injected=raw-response";
        soap->fsend(soap, state.rawResponse.data(), state.rawResponse.size());
        soap->keep_alive = 0;
        return SOAP_STOP;
    }
    if (!faults.faultCode.empty()) {
        outcome = "injected=fault code=" + faults.faultCode;
        *soap_faultcode(soap) = soap_strdup(soap, faults.faultCode.c_str());
        *soap_faultstring(soap) = soap_strdup(soap, faults.faultReason.c_str());
        return SOAP_FAULT;
    }
    if (!IsServicePath(soap->path)) {
        outcome = "error=no-such-path path=" + faxservice::LogSafe(soap->path);
        return kNotFound;
    }
    return -1;
}

bool KeyAccepted(const faxservice::ServiceOptions& options, const std::string& key) {
    if (options.apiKeys.empty()) {
        return true;
    }
    for (const auto& accepted : options.apiKeys) {
        if (accepted == key) {
            return true;
        }
    }
    return false;
}

// The file name under which a page is kept: the base name of what the client
// sent, reduced to harmless characters.
std::string SafeFileName(const std::string* fileName) {
    std::string name = fileName ? *fileName : "";
    size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos) {
        name.erase(0, slash + 1);
    }
    if (name.size() > 100) {
        name.erase(0, name.size() - 100);
    }
    for (char& c : name) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '.' || c == '-' || c == '_';
        if (!plain) {
            c = '_';
        }
    }
    if (name.empty() || name.find_first_not_of('.') == std::string::npos) {
        name = "page";
    }
    return name;
}

std::string Quoted(const std::string* text) {
    return text ? "\"" + faxservice::LogSafe(*text) + "\"" : std::string("-");
}

// One service call's frame: its log line, the injected answer faults, and the
// connection's clean-up (the pages it streamed, the call's end) however the
// call returns.
class CallScope {
public:
    CallScope(struct soap* soap, const char* operation)
        : connection(Connection::Of(soap)),
          state(connection.state()),
          line(std::string(operation) + " connection=" + std::to_string(connection.number())),
          soap(soap),
          operation(operation) {}
    ~CallScope() {
        connection.ForgetPages();
        connection.CallDone();
    }
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

    // The answer of a fault injected into this call (logged), or -1 to go on.
    int InjectedFault() {
        std::string outcome;
        int injected = InjectAnswerFault(soap, connection, operation, outcome);
        if (injected >= 0) {
            Log(" " + outcome);
        }
        return injected;
    }
    // Whether the service is told to refuse this call.
    bool Refused() const { return state.options.faults.refuse && state.FaultsApplyTo(operation); }
    void Log(const std::string& rest) { state.log.Write(line + rest); }

    Connection& connection;
    faxservice::ServiceState& state;
    std::string line;  // what the call asked, its outcome is added

private:
    struct soap* soap;
    const char* operation;
};

// The bytes of a page that a broken renderer sends: text, no image.
std::vector<unsigned char> NotAnImage(int number) {
    std::string text = "page " + std::to_string(number) + " is not an image\n";
    return {text.begin(), text.end()};
}

}  // namespace

int MTOMServiceSOAP12BindingService::addDocumentToFax(
    _ns1__addDocumentToFaxRequestElement* request,
    _ns1__addDocumentToFaxResponseElement& response) {
    CallScope call(this, "addDocumentToFax");
    Connection& connection = call.connection;
    auto& state = call.state;
    std::string outcome;
    if (request) {
        call.line += " key=" + faxservice::LogSafe(request->apiKey) +
                     " messageId=" + std::to_string(request->messageId);
    }
    if (int injected = call.InjectedFault(); injected >= 0) {
        return injected;
    }

    response.result = false;
    std::string refusal;
    std::string md5State = "none";
    int64_t bytes = 0;
    ns1__xBinaryAttachment* image = request ? request->scanImage : nullptr;

    // The page: streamed into a file already, or inline bytes to store now.
    std::unique_ptr<IncomingPage> inlinePage;
    IncomingPage* page = nullptr;
    if (image && image->__item.__ptr) {
        page = connection.FindPage(image->__item.__ptr);
        if (!page) {
            inlinePage =
                IncomingPage::Create(state.options.pagesDir, state.nextIncomingPage.fetch_add(1),
                                     state.options.maxPageBytes);
            if (inlinePage && image->__item.__size >= 0) {
                inlinePage->Write(image->__item.__ptr, static_cast<size_t>(image->__item.__size));
                inlinePage->Finish();
            }
            page = inlinePage.get();
        }
    }
    if (page) {
        bytes = page->bytes();
    }

    if (call.Refused()) {
        outcome = "injected=refuse";
        if (state.options.faults.refuseDescription) {
            response.description = NewString(this, *state.options.faults.refuseDescription);
        }
    } else if (!request || !KeyAccepted(state.options, request->apiKey)) {
        refusal = "Unknown API key";
    } else if (!page) {
        refusal = "No page in the request";
    } else if (!page->complete()) {
        refusal = "The page could not be stored";
    } else if (!image->md5) {
        refusal = "The page has no MD5 checksum";
    } else if (strcasecmp(image->md5->c_str(), page->md5().c_str()) != 0) {
        md5State = "bad";
        refusal = "MD5 checksum does not match the page";
    } else {
        md5State = "ok";
        int documentId = state.nextDocumentId.fetch_add(1);
        std::string finalPath = state.options.pagesDir + "/" + std::to_string(documentId) + "-" +
                                SafeFileName(image->fileName);
        if (page->Keep(finalPath)) {
            response.result = true;
            response.documentId = static_cast<int*>(soap_malloc(this, sizeof(int)));
            if (response.documentId) {
                *response.documentId = documentId;
            }
            outcome = "documentId=" + std::to_string(documentId) +
                      " file=" + faxservice::LogSafe(finalPath, 200);
        } else {
            refusal = "The page could not be stored";
        }
    }
    if (!refusal.empty()) {
        response.description = NewString(this, refusal);
    }

    call.Log(" bytes=" + std::to_string(bytes) + " md5=" + md5State + " result=" +
             (response.result ? "true" : "false") + (outcome.empty() ? "" : " " + outcome) +
             " description=" + Quoted(response.description));
    return SOAP_OK;
}

int MTOMServiceSOAP12BindingService::renderForPrinting(
    _ns1__renderForPrintingRequestElement* request,
    _ns1__renderForPrintingResponseElement& response) {
    CallScope call(this, "renderForPrinting");
    auto& state = call.state;
    std::string outcome;
    if (request) {
        call.line += " key=" + faxservice::LogSafe(request->apiKey) +
                     " command=" + faxservice::LogSafe(request->printingRequest);
    }
    if (int injected = call.InjectedFault(); injected >= 0) {
        return injected;
    }

    response.result = false;
    std::string refusal;
    int64_t bytes = 0;
    std::string error;
    if (call.Refused()) {
        outcome = "injected=refuse";
        if (state.options.faults.refuseDescription) {
            response.description = NewString(this, *state.options.faults.refuseDescription);
        }
    } else if (!request || !KeyAccepted(state.options, request->apiKey)) {
        refusal = "Unknown API key";
    } else if (auto sizes = faxservice::ParsePrintCommand(request->printingRequest, error)) {
        response.result = true;
        int number = 0;
        for (const auto& size : *sizes) {
            ++number;
            std::vector<unsigned char> png =
                size.broken ? NotAnImage(number)
                            : faxservice::RenderPage(number, size.width, size.height);
            auto* attachment = soap_new_ns1__xBinaryAttachment(this);
            auto* bytesCopy = static_cast<unsigned char*>(soap_malloc(this, png.size()));
            if (png.empty() || !attachment || !bytesCopy) {
                response.result = false;
                response.pages.clear();
                refusal = "The pages could not be rendered";
                break;
            }
            std::memcpy(bytesCopy, png.data(), png.size());
            attachment->__item.__ptr = bytesCopy;
            attachment->__item.__size = static_cast<int>(png.size());
            attachment->__item.type = soap_strdup(this, "image/png");
            attachment->fileName = NewString(this, "page-" + std::to_string(number) + ".png");
            attachment->md5 = NewString(this, faxservice::Md5Hex(png.data(), png.size()));
            response.pages.push_back(attachment);
            bytes += static_cast<int64_t>(png.size());
        }
    } else {
        refusal = "Bad print command: " + error;
    }
    if (!refusal.empty()) {
        response.description = NewString(this, refusal);
    }

    call.Log(" pages=" + std::to_string(response.pages.size()) + " bytes=" + std::to_string(bytes) +
             " result=" + (response.result ? "true" : "false") +
             (outcome.empty() ? "" : " " + outcome) +
             " description=" + Quoted(response.description));
    return SOAP_OK;
}
