// CryptoAPI (advapi32) subset of the stand-in: a provider context and MD5
// hashes, computed with OpenSSL's EVP MD5. Key containers exist only in the
// process that made them; no key operations are offered.
#pragma once

#include "w32/types.h"

typedef ULONG_PTR HCRYPTPROV;
typedef ULONG_PTR HCRYPTKEY;
typedef ULONG_PTR HCRYPTHASH;
typedef unsigned int ALG_ID;

// Provider types.
#define PROV_RSA_FULL 1

// CryptAcquireContext flags.
#define CRYPT_VERIFYCONTEXT 0xF0000000u
#define CRYPT_NEWKEYSET 0x00000008
#define CRYPT_DELETEKEYSET 0x00000010
#define CRYPT_MACHINE_KEYSET 0x00000020
#define CRYPT_SILENT 0x00000040

// Algorithms.
#define ALG_CLASS_HASH (4 << 13)
#define ALG_TYPE_ANY 0
#define ALG_SID_MD5 3
#define CALG_MD5 (ALG_CLASS_HASH | ALG_TYPE_ANY | ALG_SID_MD5)

// CryptGetHashParam parameters.
#define HP_ALGID 0x0001
#define HP_HASHVAL 0x0002
#define HP_HASHSIZE 0x0004

// Provider names.
#define MS_DEF_PROV_W u"Microsoft Base Cryptographic Provider v1.0"
#define MS_ENHANCED_PROV_W u"Microsoft Enhanced Cryptographic Provider v1.0"
#define MS_STRONG_PROV_W u"Microsoft Strong Cryptographic Provider"

// Errors (GetLastError values; they are HRESULTs already).
#define NTE_BAD_UID ((HRESULT)0x80090001L)
#define NTE_BAD_HASH ((HRESULT)0x80090002L)
#define NTE_BAD_KEY ((HRESULT)0x80090003L)
#define NTE_BAD_LEN ((HRESULT)0x80090004L)
#define NTE_BAD_ALGID ((HRESULT)0x80090008L)
#define NTE_BAD_FLAGS ((HRESULT)0x80090009L)
#define NTE_BAD_TYPE ((HRESULT)0x8009000AL)
#define NTE_BAD_HASH_STATE ((HRESULT)0x8009000CL)
#define NTE_NO_MEMORY ((HRESULT)0x8009000EL)
#define NTE_EXISTS ((HRESULT)0x8009000FL)
#define NTE_BAD_KEYSET ((HRESULT)0x80090016L)
#define NTE_PROV_TYPE_NOT_DEF ((HRESULT)0x80090017L)
#define NTE_KEYSET_NOT_DEF ((HRESULT)0x80090019L)
#define NTE_FAIL ((HRESULT)0x80090020L)

// szContainer null names the user's default container. Without
// CRYPT_VERIFYCONTEXT the container must exist (NTE_BAD_KEYSET otherwise);
// CRYPT_NEWKEYSET creates it (NTE_EXISTS when it is there already);
// CRYPT_DELETEKEYSET removes it and gives no context.
W32API BOOL WINAPI CryptAcquireContextW(HCRYPTPROV* phProv, LPCWSTR szContainer, LPCWSTR szProvider,
                                        DWORD dwProvType, DWORD dwFlags);
W32API BOOL WINAPI CryptReleaseContext(HCRYPTPROV hProv, DWORD dwFlags);
// Only CALG_MD5, without a key.
W32API BOOL WINAPI CryptCreateHash(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTKEY hKey, DWORD dwFlags,
                                   HCRYPTHASH* phHash);
// Fails with NTE_BAD_HASH_STATE once the value has been read.
W32API BOOL WINAPI CryptHashData(HCRYPTHASH hHash, const BYTE* pbData, DWORD dwDataLen,
                                 DWORD dwFlags);
// HP_HASHVAL finishes the hash; a null pbData asks for the size; a buffer too
// small fails with ERROR_MORE_DATA and the size needed in *pdwDataLen.
W32API BOOL WINAPI CryptGetHashParam(HCRYPTHASH hHash, DWORD dwParam, BYTE* pbData,
                                     DWORD* pdwDataLen, DWORD dwFlags);
W32API BOOL WINAPI CryptDestroyHash(HCRYPTHASH hHash);

// Test hook of the stand-in (no Windows counterpart): the next `count` calls
// of the CryptoAPI function named `function` (e.g. "CryptHashData") fail
// with `error` as their last error, without doing anything. A null name
// clears the hook.
W32API void WINAPI W32SetCryptFailure(LPCSTR function, DWORD error, int count);
