// UploadScannedItem: one fax page to the web service.
#include "agent/service/page_upload.h"

#include <windows.h>

#include <algorithm>
#include <memory>

#include "agent/service/service_call.h"
#include "agent/service/service_proxy.h"
#include "agent/service/upload_flight.h"
#include "framework/raii.h"
#include "framework/text.h"

namespace vexlo {

namespace {

// Reads of 64 KiB: with 1 KiB reads the 5,120 system calls of a 5 MB page
// cost more than the MD5 itself.
constexpr DWORD kReadChunk = 64 * 1024;

// The page's MD5 and size, read with CreateFileW/ReadFile a chunk at a time
// into one small buffer: the page is never held whole. E_FAIL when the file
// cannot be opened; a read error ends the reading; the digest's failure as
// it comes.
HRESULT DigestPage(const std::u16string& path, DWORD* total, char* md5Text) {
    fw::unique_hfile file(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return E_FAIL;
    }
    Md5Digest digest;
    HRESULT result = digest.Start();
    if (FAILED(result)) {
        return result;
    }
    std::unique_ptr<BYTE[]> chunk(new BYTE[kReadChunk]);
    *total = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), chunk.get(), kReadChunk, &got, nullptr) || got == 0) {
            break;
        }
        result = digest.Add(chunk.get(), got);
        if (FAILED(result)) {
            return result;
        }
        *total += got;
    }
    return digest.Finish(md5Text);
}

std::u16string FileNamePart(const std::u16string& path) {
    size_t separator = path.rfind(kPathSeparator);
    return separator == std::u16string::npos ? path : path.substr(separator + 1);
}

}  // namespace

HRESULT UploadScannedItem(UploadItem item, IHost* host) {
    _ns1__addDocumentToFaxRequestElement request;
    request.apiKey = ToServiceText(item.apiKey);
    request.messageId = item.messageId;

    DWORD total = 0;
    char md5Text[33] = {};
    HRESULT digest = DigestPage(item.file, &total, md5Text);
    if (FAILED(digest)) {
        return digest;  // the upload streams the page from its file later
    }

    std::string md5 = md5Text;
    std::string fileName = ToServiceText(FileNamePart(item.file));
    ns1__xBinaryAttachment attachment;
    attachment.md5 = &md5;
    attachment.fileName = &fileName;

    UploadProgress& progress = CurrentUploadProgress();
    progress = UploadProgress{};
    progress.total = total;
    progress.client = item.client;

    // Declared before the proxy, so that the page file (should the runtime
    // not have closed it) is closed after the proxy has gone.
    UploadContext context(host, item.jobId);
    auto proxy = std::make_unique<MTOMServiceSOAP12BindingProxy>(SOAP_ENC_MTOM);
    PrepareServiceCall(*proxy);
    proxy->fmimereadopen = OpenAttachmentForRead;
    proxy->fmimeread = ReadAttachment;
    proxy->fmimereadclose = CloseAttachment;
    proxy->user = static_cast<AttachmentFiles*>(&context);
    UploadFlight flight(*proxy);  // the agent's shutdown may cut it

    // A file name for the C runtime: in the ANSI code page, unlike the text
    // that goes on the wire.
    std::string path = fw::FromWide(CP_ACP, item.file);
    AttachFile(path.c_str(), &attachment, proxy.get());
    request.scanImage = &attachment;

    std::string endpoint = ConfiguredEndpoint();
    _ns1__addDocumentToFaxResponseElement response;
    int result = proxy->addDocumentToFax(endpoint.empty() ? nullptr : endpoint.c_str(), nullptr,
                                         &request, response);
    if (result == SOAP_OK && response.result) {
        host->SendStateToClient(item.client, 5, 0, nullptr);
        return S_OK;
    }
    if (result == SOAP_OK) {
        std::u16string description =
            response.description ? FromServiceText(*response.description) : std::u16string();
        host->SendStateToClient(item.client, -4, 0, description.c_str());
        return E_FAIL;
    }
    if (progress.aborted || flight.WasCut()) {
        return E_ABORT;
    }
    host->SendStateToClient(item.client, -4, 0, nullptr);
    return E_FAIL;
}

}  // namespace vexlo
