// Helpers for calling the fax service through the generated proxy.
#pragma once

#include <memory>
#include <string>

#include "agent/service/service_proxy.h"

namespace vexlo::test {

// A proxy in MTOM mode as the agent makes it, with a receive time-out so a
// failing test cannot hang and MSG_NOSIGNAL so a dropped connection cannot
// raise SIGPIPE. On the heap: the context is large.
std::unique_ptr<MTOMServiceSOAP12BindingProxy> NewProxy();

// A page held in memory for a request: bytes, md5 and fileName attributes,
// sent as an MTOM attachment (with a content type) or inline base64.
class PageAttachment {
public:
    PageAttachment(std::string bytes, bool asMimeAttachment, std::string fileName = "page.png");
    ns1__xBinaryAttachment* get() { return &attachment_; }
    const std::string& bytes() const { return bytes_; }
    const std::string& md5() const { return md5_; }
    void set_md5(std::string md5) { md5_ = std::move(md5); }

private:
    std::string bytes_;
    std::string md5_;
    std::string fileName_;
    std::string type_ = "image/png";
    ns1__xBinaryAttachment attachment_;
};

std::string Md5Hex(const std::string& bytes);
// A byte string of the given size with a recognisable pattern.
std::string PatternBytes(size_t size, unsigned seed = 1);
// Pixel size from a PNG's header; 0 when the bytes are no PNG.
int PngWidth(const std::string& png);
int PngHeight(const std::string& png);

}  // namespace vexlo::test
