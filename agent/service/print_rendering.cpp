// FetchPrintPages: a print command rendered by the web service into pages.
#include "agent/service/print_rendering.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "agent/base/data_folders.h"
#include "agent/service/render_flight.h"
#include "agent/service/service_call.h"
#include "agent/service/service_proxy.h"

namespace vexlo {

namespace {

// A name never given before may still exist (same millisecond, same rand):
// a few fresh names are tried before the page is given up.
constexpr int kNameAttempts = 8;

}  // namespace

void* OpenPageForWrite(struct soap* soap, void*, const char*, const char*, const char*,
                       enum soap_mime_encoding) {
    auto* files = static_cast<AttachmentFiles*>(soap->user);
    if (!files) {
        return nullptr;
    }
    auto* context = static_cast<RenderContext*>(files);
    SYSTEMTIME now = {};
    GetSystemTime(&now);
    std::u16string folder = GetPrintFolder();
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        char16_t name[MAX_PATH * 4] = {};
        if (swprintf_s(name, _countof(name), u"%s%c%u%u%u.png", folder.c_str(), kPathSeparator,
                       GetTickCount(), static_cast<unsigned>(now.wMilliseconds),
                       static_cast<unsigned>(std::rand())) < 0) {
            return nullptr;
        }
        // Exclusive create: an existing page is never overwritten.
        FILE* file = _wfopen(name, u"wbx");
        if (file) {
            context->pageFiles.push_back(name);
            context->Add(file);
            return file;
        }
        if (errno != EEXIST) {
            return nullptr;
        }
    }
    return nullptr;
}

int WritePage(struct soap* soap, void* handle, const char* buffer, size_t length) {
    auto* file = static_cast<FILE*>(handle);
    while (length > 0) {
        size_t written = std::fwrite(buffer, 1, length, file);
        if (written == 0) {
            soap->errnum = errno;
            return SOAP_EOF;
        }
        buffer += written;
        length -= written;
    }
    return SOAP_OK;
}

HRESULT FetchPrintPages(const std::u16string& apiKey, const std::u16string& printingRequest,
                        HWND client, IHost* host) {
    _ns1__renderForPrintingRequestElement request;
    request.apiKey = ToServiceText(apiKey);
    request.printingRequest = ToServiceText(printingRequest);

    // Declared before the proxy: page files that the runtime leaves open
    // are closed once the proxy has gone.
    RenderContext context(host);
    auto proxy = std::make_unique<MTOMServiceSOAP12BindingProxy>(SOAP_ENC_MTOM);
    PrepareServiceCall(*proxy);
    proxy->fmimewriteopen = OpenPageForWrite;
    proxy->fmimewriteclose = CloseAttachment;
    proxy->fmimewrite = WritePage;
    proxy->user = static_cast<AttachmentFiles*>(&context);

    std::string endpoint = ConfiguredEndpoint();
    _ns1__renderForPrintingResponseElement response;
    int result = SOAP_OK;
    bool cut = false;
    {
        // The agent's close cuts the call's connection, also before it is made.
        RenderFlight flight(*proxy);
        result = proxy->renderForPrinting(endpoint.empty() ? nullptr : endpoint.c_str(), nullptr,
                                          &request, response);
        cut = flight.WasCut();
    }
    if (result == SOAP_OK && response.result) {
        if (!context.pageFiles.empty()) {
            host->Log(kLogInfo, u"renderForPrinting succeded");
            host->SetPrintPages(context.pageFiles);
        }
        return S_OK;
    }
    host->Log(kLogInfo, u"renderForPrinting has failed soap error %i result %i", result, 0);
    if (cut) {
        // Ended by the agent's close: nobody is told any more.
    } else if (result == SOAP_OK) {
        std::u16string description =
            response.description ? FromServiceText(*response.description) : std::u16string();
        host->SendStateToClient(client, -6, 0, description.c_str());
    } else {
        host->SendStateToClient(client, -6, 0, nullptr);
    }
    // Rendered documents may be private: the pages of a render that failed
    // half way are not left behind.
    for (const std::u16string& page : context.pageFiles) {
        DeleteFileW(page.c_str());
    }
    return E_FAIL;
}

}  // namespace vexlo
