// Upload of one fax page to the web service (addDocumentToFax): the page goes
// as an MTOM attachment streamed from its file, with its MD5 and file name;
// the client is told the per cent sent, and a job cancelled meanwhile breaks
// the connection.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "agent/base/host.h"
#include "agent/base/work_items.h"
#include "agent/service/service_proxy.h"

namespace vexlo {

// The files that the runtime streams through the attachment callbacks of one
// call. Files that the runtime never closes (a call that fails before it
// streams them) are closed when the call's context goes.
struct AttachmentFiles {
    AttachmentFiles() = default;
    AttachmentFiles(const AttachmentFiles&) = delete;
    AttachmentFiles& operator=(const AttachmentFiles&) = delete;
    ~AttachmentFiles();
    void Add(FILE* file) { open.push_back(file); }
    // Forgets the file; true when it was one of ours.
    bool Remove(FILE* file);

    std::vector<FILE*> open;
};

// The runtime context's user pointer during an upload (on the caller's stack).
struct UploadContext : AttachmentFiles {
    UploadContext(IHost* h, int job) : host(h), jobId(job) {}
    IHost* host;
    int jobId;
};

// The upload progress, one record for the process: only the scan worker
// uploads, one page at a time.
struct UploadProgress {
    DWORD total = 0;  // the page's size as read for the MD5
    HWND client = nullptr;
    DWORD sent = 0;  // bytes the runtime asked for so far
    DWORD lastPercent = 0;
    bool aborted = false;
};
UploadProgress& CurrentUploadProgress();

// S_OK after the service accepted the page (state 5 sent); E_FAIL when the
// page file cannot be opened (nothing sent) or the upload failed or was
// refused (-4 sent); E_ABORT when the job was cancelled during the upload
// (nothing sent) or its connection was cut by CutUploadInFlight (nothing
// sent); the HRESULT of ComputeMd5 when the digest fails.
HRESULT UploadScannedItem(UploadItem item, IHost* host);

// The 32 lowercase hex digits of the MD5 of the bytes into a 33-byte buffer
// that the caller zeroed. E_POINTER for a null buffer; HRESULT_FROM_WIN32 of
// the last error when a CryptoAPI step fails.
HRESULT ComputeMd5(const BYTE* bytes, DWORD length, char* text);

// An MD5 fed in pieces: Start, then Add for each piece, then Finish writes
// the digest as ComputeMd5 does. Each step returns the CryptoAPI's failure
// as ComputeMd5 does.
class Md5Digest {
public:
    Md5Digest() = default;
    ~Md5Digest();
    Md5Digest(const Md5Digest&) = delete;
    Md5Digest& operator=(const Md5Digest&) = delete;

    HRESULT Start();
    HRESULT Add(const BYTE* bytes, DWORD length);
    HRESULT Finish(char* text);

private:
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
};

// Opens the page as the attachment's streaming handle (content type
// image/png, size from the file; chunked transfer when the size is unknown).
// -1 when the file cannot be opened.
int AttachFile(const char* path, ns1__xBinaryAttachment* attachment, struct soap* soap);

// The runtime's read callbacks for outgoing attachments.
void* OpenAttachmentForRead(struct soap* soap, void* handle, const char* id, const char* type,
                            const char* description);
size_t ReadAttachment(struct soap* soap, void* handle, char* buffer, size_t length);
// Closes an attachment file (also the write-close callback of the render call).
void CloseAttachment(struct soap* soap, void* handle);

}  // namespace vexlo
