// The print rendering call (renderForPrinting): the web service renders a
// print command into PNG pages, which arrive as MTOM attachments and are
// streamed straight into files in the Print folder.
#pragma once

#include <windows.h>

#include <deque>
#include <string>

#include "agent/base/host.h"
#include "agent/service/page_upload.h"

namespace vexlo {

// The runtime context's user pointer during a render call: the page files
// written so far, in the order in which their attachments arrived.
struct RenderContext : AttachmentFiles {
    explicit RenderContext(IHost* h) : host(h) {}
    IHost* host;
    std::deque<std::u16string> pageFiles;
};

// S_OK when the service rendered the command (IHost::SetPrintPages has been
// called when pages came back); E_FAIL when the call failed or the service
// refused it (state -6 sent).
HRESULT FetchPrintPages(const std::u16string& apiKey, const std::u16string& printingRequest,
                        HWND client, IHost* host);

// The runtime's write callbacks for incoming attachments. OpenPageForWrite
// gives the open page file as the attachment's handle, or null; WritePage
// gives 0, or -1 with errno as the context's error number.
void* OpenPageForWrite(struct soap* soap, void* handle, const char* id, const char* type,
                       const char* description, enum soap_mime_encoding encoding);
int WritePage(struct soap* soap, void* handle, const char* buffer, size_t length);

}  // namespace vexlo
