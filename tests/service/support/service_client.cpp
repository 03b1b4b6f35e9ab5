#include "service_client.h"

#include <openssl/evp.h>
#include <sys/socket.h>

namespace vexlo::test {

std::unique_ptr<MTOMServiceSOAP12BindingProxy> NewProxy() {
    auto proxy = std::make_unique<MTOMServiceSOAP12BindingProxy>(SOAP_ENC_MTOM);
    proxy->recv_timeout = 10;
    proxy->send_timeout = 10;
    proxy->socket_flags = MSG_NOSIGNAL;
    return proxy;
}

PageAttachment::PageAttachment(std::string bytes, bool asMimeAttachment, std::string fileName)
    : bytes_(std::move(bytes)), md5_(Md5Hex(bytes_)), fileName_(std::move(fileName)) {
    attachment_.soap_default(nullptr);
    attachment_.__item.__ptr = reinterpret_cast<unsigned char*>(bytes_.data());
    attachment_.__item.__size = static_cast<int>(bytes_.size());
    attachment_.__item.type = asMimeAttachment ? type_.data() : nullptr;
    attachment_.md5 = &md5_;
    attachment_.fileName = &fileName_;
}

std::string Md5Hex(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr);
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}

std::string PatternBytes(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    unsigned state = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = static_cast<char>(state >> 16);
    }
    return bytes;
}

namespace {
int PngDimension(const std::string& png, size_t offset) {
    static const char kSignature[] = "\x89PNG\r\n\x1a\n";
    if (png.size() < 24 || png.compare(0, 8, kSignature, 8) != 0 ||
        png.compare(12, 4, "IHDR") != 0) {
        return 0;
    }
    auto byte = [&](size_t i) { return static_cast<unsigned char>(png[offset + i]); };
    return static_cast<int>(byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3));
}
}  // namespace

int PngWidth(const std::string& png) {
    return PngDimension(png, 16);
}
int PngHeight(const std::string& png) {
    return PngDimension(png, 20);
}

}  // namespace vexlo::test
