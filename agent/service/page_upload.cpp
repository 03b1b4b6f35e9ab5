// UploadScannedItem: one fax page to the web service.
#include "agent/service/page_upload.h"

#include <windows.h>

#include <algorithm>
#include <memory>

#include "agent/service/service_call.h"
#include "agent/service/service_proxy.h"
#include "agent/service/upload_flight.h"
#include "framework/raii.h"

namespace vexlo {

namespace {

// Reads of 64 KiB: with 1 KiB reads the 5,120 system calls of a 5 MB page
// cost more than the MD5 itself.
constexpr DWORD kReadChunk = 64 * 1024;

// The page's bytes, read with CreateFileW/ReadFile as the MD5 needs them;
// false when the file cannot be opened. A read error ends the reading.
// Reads go straight into the one buffer, sized from the file.
bool ReadPage(const std::u16string& path, std::vector<BYTE>& bytes) {
    fw::unique_hfile file(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    DWORD size = GetFileSize(file.get(), nullptr);
    bytes.resize(size != INVALID_FILE_SIZE ? size : 0);
    size_t used = 0;
    BYTE spill[4096];  // for bytes beyond the size read (a file still growing)
    for (;;) {
        bool inPlace = used < bytes.size();
        BYTE* target = inPlace ? bytes.data() + used : spill;
        DWORD room = inPlace ? static_cast<DWORD>(std::min<size_t>(kReadChunk, bytes.size() - used))
                             : static_cast<DWORD>(sizeof spill);
        DWORD got = 0;
        if (!ReadFile(file.get(), target, room, &got, nullptr) || got == 0) {
            break;
        }
        if (!inPlace) {
            bytes.insert(bytes.end(), spill, spill + got);
        }
        used += got;
    }
    bytes.resize(used);
    return true;
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
    {
        std::vector<BYTE> bytes;
        if (!ReadPage(item.file, bytes)) {
            return E_FAIL;
        }
        total = static_cast<DWORD>(bytes.size());
        HRESULT digest = ComputeMd5(bytes.data(), total, md5Text);
        if (FAILED(digest)) {
            return digest;
        }
        // The bytes go now: the upload streams the page from its file.
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

    std::string path = ToServiceText(item.file);
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
