// Streaming a page file as an outgoing attachment, with progress and cancel.
#include <sys/stat.h>

#include <cstdio>

#include "agent/service/page_upload.h"
#include "agent/service/service_proxy.h"

namespace vexlo {

AttachmentFiles::~AttachmentFiles() {
    for (FILE* file : open) {
        std::fclose(file);
    }
}

bool AttachmentFiles::Remove(FILE* file) {
    for (auto it = open.begin(); it != open.end(); ++it) {
        if (*it == file) {
            open.erase(it);
            return true;
        }
    }
    return false;
}

UploadProgress& CurrentUploadProgress() {
    static UploadProgress progress;
    return progress;
}

int AttachFile(const char* path, ns1__xBinaryAttachment* attachment, struct soap* soap) {
    FILE* file = std::fopen(path, "rb");
    if (!file) {
        std::fprintf(stderr, "Cannot open file %s\n", path);
        soap->error = -1;
        return -1;
    }
    if (auto* files = static_cast<AttachmentFiles*>(soap->user)) {
        files->Add(file);
    }
    struct stat info {};
    long long size = 0;
    if (fstat(fileno(file), &info) == 0 && info.st_size > 0) {
        size = info.st_size;
    }
    if (size <= 0) {
        // No length to announce: the attachment goes chunked.
        soap->omode |= SOAP_IO_CHUNK;
        size = 0;
    }
    attachment->__item.__ptr = reinterpret_cast<unsigned char*>(file);
    attachment->__item.__size = static_cast<int>(size);
    attachment->__item.id = nullptr;
    attachment->__item.type = const_cast<char*>("image/png");
    attachment->__item.options = nullptr;
    return 0;
}

void* OpenAttachmentForRead(struct soap*, void* handle, const char*, const char*, const char*) {
    // The attachment's data handle is the open file already.
    return handle;
}

size_t ReadAttachment(struct soap* soap, void* handle, char* buffer, size_t length) {
    auto* files = static_cast<AttachmentFiles*>(soap->user);
    if (!files) {
        return 0;
    }
    auto* context = static_cast<UploadContext*>(files);
    UploadProgress& progress = CurrentUploadProgress();
    if (context->host->IsCancelled(context->jobId)) {
        progress.aborted = true;
        soap_force_closesock(soap);
        return 0;
    }
    // Counted as asked for, which in chunked mode may pass the total; a per
    // cent above 100 is never sent.
    progress.sent += static_cast<DWORD>(length);
    if (progress.total > 0) {
        auto percent = static_cast<DWORD>(static_cast<unsigned long long>(progress.sent) * 100 /
                                          progress.total);
        if (percent > progress.lastPercent && percent <= 100) {
            progress.lastPercent = percent;
            context->host->SendStateToClient(progress.client, 4, static_cast<int>(percent),
                                             nullptr);
        }
    }
    return std::fread(buffer, 1, length, static_cast<FILE*>(handle));
}

void CloseAttachment(struct soap* soap, void* handle) {
    auto* file = static_cast<FILE*>(handle);
    auto* files = static_cast<AttachmentFiles*>(soap->user);
    // A file that is not ours (or was closed already) is left alone.
    if (file && (!files || files->Remove(file))) {
        std::fclose(file);
    }
}

}  // namespace vexlo
