// The page's MD5 through the CryptoAPI.
#include <windows.h>

#include "agent/service/page_upload.h"

namespace vexlo {

namespace {

// A failed step that left no error code must still fail.
HRESULT LastErrorResult() {
    HRESULT result = HRESULT_FROM_WIN32(GetLastError());
    return FAILED(result) ? result : E_FAIL;
}

}  // namespace

Md5Digest::~Md5Digest() {
    if (hash) {
        CryptDestroyHash(hash);
    }
    if (provider) {
        CryptReleaseContext(provider, 0);
    }
}

HRESULT Md5Digest::Start() {
    if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) &&
        !CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET)) {
        provider = 0;
        return LastErrorResult();
    }
    if (!CryptCreateHash(provider, CALG_MD5, 0, 0, &hash)) {
        hash = 0;
        return LastErrorResult();
    }
    return S_OK;
}

HRESULT Md5Digest::Add(const BYTE* bytes, DWORD length) {
    return CryptHashData(hash, bytes, length, 0) ? S_OK : LastErrorResult();
}

HRESULT Md5Digest::Finish(char* text) {
    if (text == nullptr) {
        return E_POINTER;
    }
    BYTE digest[16] = {};
    DWORD digestSize = sizeof digest;
    if (!CryptGetHashParam(hash, HP_HASHVAL, digest, &digestSize, 0)) {
        return LastErrorResult();
    }
    static const char kHex[] = "0123456789abcdef";
    for (DWORD i = 0; i < digestSize && i < 16; ++i) {
        text[2 * i] = kHex[digest[i] >> 4];
        text[2 * i + 1] = kHex[digest[i] & 15];
    }
    return S_OK;
}

HRESULT ComputeMd5(const BYTE* bytes, DWORD length, char* text) {
    if (text == nullptr) {
        return E_POINTER;
    }
    Md5Digest digest;
    HRESULT result = digest.Start();
    if (SUCCEEDED(result)) {
        result = digest.Add(bytes, length);
    }
    return SUCCEEDED(result) ? digest.Finish(text) : result;
}

}  // namespace vexlo
