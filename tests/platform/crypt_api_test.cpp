// The CryptoAPI stand-in: MD5 hashes, provider contexts, key containers,
// handles and the failure hook.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

std::string Hex(const BYTE* bytes, DWORD size) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (DWORD i = 0; i < size; ++i) {
        out += kHex[bytes[i] >> 4];
        out += kHex[bytes[i] & 15];
    }
    return out;
}

class CryptApi : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(
            CryptAcquireContextW(&provider_, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
    }
    void TearDown() override {
        W32SetCryptFailure(nullptr, 0, 0);
        EXPECT_TRUE(CryptReleaseContext(provider_, 0));
    }
    std::string Md5(const std::string& data) {
        HCRYPTHASH hash = 0;
        EXPECT_TRUE(CryptCreateHash(provider_, CALG_MD5, 0, 0, &hash));
        EXPECT_TRUE(CryptHashData(hash, reinterpret_cast<const BYTE*>(data.data()),
                                  static_cast<DWORD>(data.size()), 0));
        BYTE value[16];
        DWORD size = sizeof value;
        EXPECT_TRUE(CryptGetHashParam(hash, HP_HASHVAL, value, &size, 0));
        EXPECT_TRUE(CryptDestroyHash(hash));
        return Hex(value, size);
    }

    HCRYPTPROV provider_ = 0;
};

TEST_F(CryptApi, Rfc1321Vectors) {
    EXPECT_EQ(Md5(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Md5("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(Md5("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Md5("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(
        Md5("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
        "57edf4a22be3c955ac49da2e2107b67a");
}

TEST_F(CryptApi, DataInPiecesHashesAsAWhole) {
    HCRYPTHASH hash = 0;
    ASSERT_TRUE(CryptCreateHash(provider_, CALG_MD5, 0, 0, &hash));
    ASSERT_TRUE(CryptHashData(hash, reinterpret_cast<const BYTE*>("message "), 8, 0));
    ASSERT_TRUE(CryptHashData(hash, nullptr, 0, 0));
    ASSERT_TRUE(CryptHashData(hash, reinterpret_cast<const BYTE*>("digest"), 6, 0));
    BYTE value[16];
    DWORD size = sizeof value;
    ASSERT_TRUE(CryptGetHashParam(hash, HP_HASHVAL, value, &size, 0));
    EXPECT_EQ(Hex(value, size), "f96b697d7cb7938d525a2f31aaf161d0");
    // The value stays readable; more data does not go in any more.
    BYTE again[16];
    size = sizeof again;
    ASSERT_TRUE(CryptGetHashParam(hash, HP_HASHVAL, again, &size, 0));
    EXPECT_EQ(Hex(again, size), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_FALSE(CryptHashData(hash, reinterpret_cast<const BYTE*>("x"), 1, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_HASH_STATE));
    EXPECT_TRUE(CryptDestroyHash(hash));
}

TEST_F(CryptApi, HashParameters) {
    HCRYPTHASH hash = 0;
    ASSERT_TRUE(CryptCreateHash(provider_, CALG_MD5, 0, 0, &hash));
    DWORD value = 0, size = sizeof value;
    ASSERT_TRUE(CryptGetHashParam(hash, HP_HASHSIZE, reinterpret_cast<BYTE*>(&value), &size, 0));
    EXPECT_EQ(value, 16u);
    ASSERT_TRUE(CryptGetHashParam(hash, HP_ALGID, reinterpret_cast<BYTE*>(&value), &size, 0));
    EXPECT_EQ(value, static_cast<DWORD>(CALG_MD5));
    EXPECT_EQ(CALG_MD5, 0x8003);

    size = 0;
    ASSERT_TRUE(CryptGetHashParam(hash, HP_HASHVAL, nullptr, &size, 0));
    EXPECT_EQ(size, 16u);
    BYTE small[8];
    size = sizeof small;
    EXPECT_FALSE(CryptGetHashParam(hash, HP_HASHVAL, small, &size, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(size, 16u);
    // Asking for the size did not finish the hash.
    EXPECT_TRUE(CryptHashData(hash, reinterpret_cast<const BYTE*>("abc"), 3, 0));
    EXPECT_FALSE(CryptGetHashParam(hash, 0x77, small, &size, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_TYPE));
    EXPECT_TRUE(CryptDestroyHash(hash));
}

TEST_F(CryptApi, BadArgumentsAndHandles) {
    HCRYPTHASH hash = 0;
    EXPECT_FALSE(CryptCreateHash(provider_, 0x8004, 0, 0, &hash));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_ALGID));
    EXPECT_FALSE(CryptCreateHash(provider_, CALG_MD5, 0, 1, &hash));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_FLAGS));
    EXPECT_FALSE(CryptCreateHash(provider_ + 4, CALG_MD5, 0, 0, &hash));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_UID));
    EXPECT_FALSE(CryptHashData(12345, reinterpret_cast<const BYTE*>("x"), 1, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_HASH));
    EXPECT_FALSE(CryptDestroyHash(12345));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_HASH));

    ASSERT_TRUE(CryptCreateHash(provider_, CALG_MD5, 0, 0, &hash));
    EXPECT_TRUE(CryptDestroyHash(hash));
    EXPECT_FALSE(CryptDestroyHash(hash));  // gone
    EXPECT_LE(hash, 0xFFFFFFFFu);
}

TEST_F(CryptApi, ProviderTypeAndName) {
    HCRYPTPROV other = 0;
    EXPECT_FALSE(CryptAcquireContextW(&other, nullptr, nullptr, 24, CRYPT_VERIFYCONTEXT));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_PROV_TYPE_NOT_DEF));
    EXPECT_FALSE(CryptAcquireContextW(&other, nullptr, u"No Such Provider", PROV_RSA_FULL,
                                      CRYPT_VERIFYCONTEXT));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_KEYSET_NOT_DEF));
    ASSERT_TRUE(CryptAcquireContextW(&other, nullptr, MS_ENHANCED_PROV_W, PROV_RSA_FULL,
                                     CRYPT_VERIFYCONTEXT));
    EXPECT_NE(other, provider_);
    EXPECT_TRUE(CryptReleaseContext(other, 0));
    EXPECT_FALSE(CryptReleaseContext(other, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_UID));
}

TEST_F(CryptApi, KeyContainers) {
    HCRYPTPROV other = 0;
    const char16_t* name = u"vexlo-test-container";
    EXPECT_FALSE(CryptAcquireContextW(&other, name, nullptr, PROV_RSA_FULL, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_KEYSET));
    ASSERT_TRUE(CryptAcquireContextW(&other, name, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET));
    EXPECT_TRUE(CryptReleaseContext(other, 0));
    EXPECT_FALSE(CryptAcquireContextW(&other, name, nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_EXISTS));
    ASSERT_TRUE(CryptAcquireContextW(&other, name, nullptr, PROV_RSA_FULL, 0));
    EXPECT_TRUE(CryptReleaseContext(other, 0));
    EXPECT_TRUE(CryptAcquireContextW(&other, name, nullptr, PROV_RSA_FULL, CRYPT_DELETEKEYSET));
    EXPECT_FALSE(CryptAcquireContextW(&other, name, nullptr, PROV_RSA_FULL, 0));
}

TEST_F(CryptApi, FailureHookCountsDown) {
    W32SetCryptFailure("CryptCreateHash", ERROR_NOT_ENOUGH_MEMORY, 2);
    HCRYPTHASH hash = 0;
    EXPECT_FALSE(CryptCreateHash(provider_, CALG_MD5, 0, 0, &hash));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_FALSE(CryptCreateHash(provider_, CALG_MD5, 0, 0, &hash));
    ASSERT_TRUE(CryptCreateHash(provider_, CALG_MD5, 0, 0, &hash));
    EXPECT_TRUE(CryptDestroyHash(hash));
}

}  // namespace
