// The page's MD5 through the CryptoAPI.
#include <windows.h>

#include "agent/service/page_upload.h"

namespace vexlo {

namespace {

// Owners of the CryptoAPI handles: released on every path.
struct Provider {
    HCRYPTPROV handle = 0;
    ~Provider() {
        if (handle) {
            CryptReleaseContext(handle, 0);
        }
    }
};

struct HashObject {
    HCRYPTHASH handle = 0;
    ~HashObject() {
        if (handle) {
            CryptDestroyHash(handle);
        }
    }
};

// A failed step that left no error code must still fail.
HRESULT LastErrorResult() {
    HRESULT result = HRESULT_FROM_WIN32(GetLastError());
    return FAILED(result) ? result : E_FAIL;
}

}  // namespace

HRESULT ComputeMd5(const BYTE* bytes, DWORD length, char* text) {
    if (text == nullptr) {
        return E_POINTER;
    }
    Provider provider;
    if (!CryptAcquireContextW(&provider.handle, nullptr, nullptr, PROV_RSA_FULL,
                              CRYPT_VERIFYCONTEXT) &&
        !CryptAcquireContextW(&provider.handle, nullptr, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET)) {
        provider.handle = 0;
        return LastErrorResult();
    }
    HashObject hash;
    if (!CryptCreateHash(provider.handle, CALG_MD5, 0, 0, &hash.handle)) {
        hash.handle = 0;
        return LastErrorResult();
    }
    if (!CryptHashData(hash.handle, bytes, length, 0)) {
        return LastErrorResult();
    }
    BYTE digest[16] = {};
    DWORD digestSize = sizeof digest;
    if (!CryptGetHashParam(hash.handle, HP_HASHVAL, digest, &digestSize, 0)) {
        return LastErrorResult();
    }
    static const char kHex[] = "0123456789abcdef";
    for (DWORD i = 0; i < digestSize && i < 16; ++i) {
        text[2 * i] = kHex[digest[i] >> 4];
        text[2 * i + 1] = kHex[digest[i] & 15];
    }
    return S_OK;
}

}  // namespace vexlo
