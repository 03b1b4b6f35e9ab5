// Incremental MD5 (OpenSSL EVP) giving the lowercase hex digest.
#pragma once

#include <openssl/evp.h>

#include <cstddef>
#include <memory>
#include <string>

namespace faxservice {

class Md5Hasher {
public:
    Md5Hasher();
    // False when the digest could not be set up or updated.
    bool Update(const void* data, size_t size);
    // The 32 lowercase hex digits; empty after a failure.
    std::string FinishHex();

private:
    struct Free {
        void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
    };
    std::unique_ptr<EVP_MD_CTX, Free> ctx_;
    bool ok_ = false;
};

std::string Md5Hex(const void* data, size_t size);

}  // namespace faxservice
