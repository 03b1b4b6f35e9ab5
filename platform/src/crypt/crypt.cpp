// CryptoAPI subset: provider contexts and MD5 hashes on OpenSSL's EVP.
#include <windows.h>

#include <openssl/evp.h>

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "internal/handles.h"

namespace {

constexpr DWORD kMd5Size = 16;

struct FreeDigest {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

struct Hash {
    std::unique_ptr<EVP_MD_CTX, FreeDigest> digest;
    bool finished = false;
    BYTE value[kMd5Size] = {};
};

struct State {
    std::mutex mutex;
    std::set<HCRYPTPROV> providers;
    std::map<HCRYPTHASH, std::unique_ptr<Hash>> hashes;
    std::set<std::u16string> containers;  // key containers made in this process
    std::string failFunction;
    DWORD failError = 0;
    int failCount = 0;
};

State& Crypt() {
    static State state;
    return state;
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// True when the test hook makes this call fail; the caller returns FALSE.
bool Injected(State& s, const char* function) {
    if (s.failCount > 0 && s.failFunction == function) {
        --s.failCount;
        SetLastError(s.failError);
        return true;
    }
    return false;
}

bool KnownProvider(LPCWSTR name) {
    if (name == nullptr) {
        return true;
    }
    std::u16string n(name);
    return n == MS_DEF_PROV_W || n == MS_ENHANCED_PROV_W || n == MS_STRONG_PROV_W;
}

}  // namespace

W32API BOOL WINAPI CryptAcquireContextW(HCRYPTPROV* phProv, LPCWSTR szContainer, LPCWSTR szProvider,
                                        DWORD dwProvType, DWORD dwFlags) {
    State& s = Crypt();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (Injected(s, "CryptAcquireContextW")) {
        return FALSE;
    }
    const DWORD known = CRYPT_VERIFYCONTEXT | CRYPT_NEWKEYSET | CRYPT_DELETEKEYSET |
                        CRYPT_MACHINE_KEYSET | CRYPT_SILENT;
    if ((dwFlags & ~known) != 0) {
        return Fail(static_cast<DWORD>(NTE_BAD_FLAGS));
    }
    if (dwProvType != PROV_RSA_FULL) {
        return Fail(static_cast<DWORD>(NTE_PROV_TYPE_NOT_DEF));
    }
    if (!KnownProvider(szProvider)) {
        return Fail(static_cast<DWORD>(NTE_KEYSET_NOT_DEF));
    }
    std::u16string container = szContainer ? szContainer : u"";
    if (dwFlags & CRYPT_MACHINE_KEYSET) {
        container.insert(0, u"machine:");
    }
    if (dwFlags & CRYPT_DELETEKEYSET) {
        if (s.containers.erase(container) == 0) {
            return Fail(static_cast<DWORD>(NTE_BAD_KEYSET));
        }
        if (phProv) {
            *phProv = 0;
        }
        return TRUE;
    }
    if (phProv == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (dwFlags & CRYPT_VERIFYCONTEXT) {
        if (dwFlags & CRYPT_NEWKEYSET) {
            return Fail(static_cast<DWORD>(NTE_BAD_FLAGS));
        }
    } else if (dwFlags & CRYPT_NEWKEYSET) {
        if (!s.containers.insert(container).second) {
            return Fail(static_cast<DWORD>(NTE_EXISTS));
        }
    } else if (s.containers.count(container) == 0) {
        return Fail(static_cast<DWORD>(NTE_BAD_KEYSET));
    }
    HCRYPTPROV handle = w32::AllocateHandleValue();
    s.providers.insert(handle);
    *phProv = handle;
    return TRUE;
}

W32API BOOL WINAPI CryptReleaseContext(HCRYPTPROV hProv, DWORD dwFlags) {
    State& s = Crypt();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (Injected(s, "CryptReleaseContext")) {
        return FALSE;
    }
    if (s.providers.count(hProv) == 0) {
        return Fail(static_cast<DWORD>(NTE_BAD_UID));
    }
    if (dwFlags != 0) {
        return Fail(static_cast<DWORD>(NTE_BAD_FLAGS));
    }
    s.providers.erase(hProv);
    return TRUE;
}

W32API BOOL WINAPI CryptCreateHash(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTKEY hKey, DWORD dwFlags,
                                   HCRYPTHASH* phHash) {
    State& s = Crypt();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (Injected(s, "CryptCreateHash")) {
        return FALSE;
    }
    if (s.providers.count(hProv) == 0) {
        return Fail(static_cast<DWORD>(NTE_BAD_UID));
    }
    if (phHash == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (Algid != CALG_MD5) {
        return Fail(static_cast<DWORD>(NTE_BAD_ALGID));
    }
    if (hKey != 0) {
        return Fail(static_cast<DWORD>(NTE_BAD_KEY));
    }
    if (dwFlags != 0) {
        return Fail(static_cast<DWORD>(NTE_BAD_FLAGS));
    }
    auto hash = std::make_unique<Hash>();
    hash->digest.reset(EVP_MD_CTX_new());
    if (!hash->digest || EVP_DigestInit_ex(hash->digest.get(), EVP_md5(), nullptr) != 1) {
        return Fail(static_cast<DWORD>(NTE_NO_MEMORY));
    }
    HCRYPTHASH handle = w32::AllocateHandleValue();
    s.hashes[handle] = std::move(hash);
    *phHash = handle;
    return TRUE;
}

W32API BOOL WINAPI CryptHashData(HCRYPTHASH hHash, const BYTE* pbData, DWORD dwDataLen,
                                 DWORD dwFlags) {
    State& s = Crypt();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (Injected(s, "CryptHashData")) {
        return FALSE;
    }
    auto it = s.hashes.find(hHash);
    if (it == s.hashes.end()) {
        return Fail(static_cast<DWORD>(NTE_BAD_HASH));
    }
    if (dwFlags != 0) {
        return Fail(static_cast<DWORD>(NTE_BAD_FLAGS));
    }
    if (pbData == nullptr && dwDataLen != 0) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    Hash& hash = *it->second;
    if (hash.finished) {
        return Fail(static_cast<DWORD>(NTE_BAD_HASH_STATE));
    }
    if (dwDataLen != 0 && EVP_DigestUpdate(hash.digest.get(), pbData, dwDataLen) != 1) {
        return Fail(static_cast<DWORD>(NTE_FAIL));
    }
    return TRUE;
}

W32API BOOL WINAPI CryptGetHashParam(HCRYPTHASH hHash, DWORD dwParam, BYTE* pbData,
                                     DWORD* pdwDataLen, DWORD dwFlags) {
    State& s = Crypt();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (Injected(s, "CryptGetHashParam")) {
        return FALSE;
    }
    auto it = s.hashes.find(hHash);
    if (it == s.hashes.end()) {
        return Fail(static_cast<DWORD>(NTE_BAD_HASH));
    }
    if (dwFlags != 0) {
        return Fail(static_cast<DWORD>(NTE_BAD_FLAGS));
    }
    if (pdwDataLen == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    Hash& hash = *it->second;
    DWORD value = 0;
    const BYTE* source = nullptr;
    DWORD size = 0;
    switch (dwParam) {
        case HP_ALGID:
            value = CALG_MD5;
            source = reinterpret_cast<const BYTE*>(&value);
            size = sizeof value;
            break;
        case HP_HASHSIZE:
            value = kMd5Size;
            source = reinterpret_cast<const BYTE*>(&value);
            size = sizeof value;
            break;
        case HP_HASHVAL:
            if (pbData != nullptr && *pdwDataLen >= kMd5Size && !hash.finished) {
                unsigned int length = 0;
                if (EVP_DigestFinal_ex(hash.digest.get(), hash.value, &length) != 1 ||
                    length != kMd5Size) {
                    return Fail(static_cast<DWORD>(NTE_FAIL));
                }
                hash.finished = true;
            }
            source = hash.value;
            size = kMd5Size;
            break;
        default:
            return Fail(static_cast<DWORD>(NTE_BAD_TYPE));
    }
    if (pbData == nullptr) {
        *pdwDataLen = size;
        return TRUE;
    }
    if (*pdwDataLen < size) {
        *pdwDataLen = size;
        return Fail(ERROR_MORE_DATA);
    }
    for (DWORD i = 0; i < size; ++i) {
        pbData[i] = source[i];
    }
    *pdwDataLen = size;
    return TRUE;
}

W32API BOOL WINAPI CryptDestroyHash(HCRYPTHASH hHash) {
    State& s = Crypt();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (Injected(s, "CryptDestroyHash")) {
        return FALSE;
    }
    if (s.hashes.erase(hHash) == 0) {
        return Fail(static_cast<DWORD>(NTE_BAD_HASH));
    }
    return TRUE;
}

W32API void WINAPI W32SetCryptFailure(LPCSTR function, DWORD error, int count) {
    State& s = Crypt();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.failFunction = function ? function : "";
    s.failError = error;
    s.failCount = function ? count : 0;
}
