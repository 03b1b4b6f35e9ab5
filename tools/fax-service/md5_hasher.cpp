#include "md5_hasher.h"

namespace faxservice {

Md5Hasher::Md5Hasher() : ctx_(EVP_MD_CTX_new()) {
    ok_ = ctx_ && EVP_DigestInit_ex(ctx_.get(), EVP_md5(), nullptr) == 1;
}

bool Md5Hasher::Update(const void* data, size_t size) {
    ok_ = ok_ && EVP_DigestUpdate(ctx_.get(), data, size) == 1;
    return ok_;
}

std::string Md5Hasher::FinishHex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!ok_ || EVP_DigestFinal_ex(ctx_.get(), digest, &length) != 1) {
        ok_ = false;
        return {};
    }
    ok_ = false;  // finished: no further updates
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}

std::string Md5Hex(const void* data, size_t size) {
    Md5Hasher hasher;
    hasher.Update(data, size);
    return hasher.FinishHex();
}

}  // namespace faxservice
