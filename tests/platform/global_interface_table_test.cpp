// The Global Interface Table: one per process whatever the number of
// creations, references kept and handed out as COM counts them, the errors,
// and threads registering and fetching at once.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "support/com_objects.h"

namespace {

class GlobalInterfaceTable : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
    void TearDown() override {
        W32FailGlobalInterfaceTableCreation(S_OK);
        CoUninitialize();
    }

    static IGlobalInterfaceTable* Create(DWORD context) {
        IGlobalInterfaceTable* table = nullptr;
        EXPECT_EQ(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, context,
                                   IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&table)),
                  S_OK);
        return table;
    }
};

TEST_F(GlobalInterfaceTable, OnePerProcessWhateverTheContext) {
    IGlobalInterfaceTable* first = Create(CLSCTX_ALL);
    IGlobalInterfaceTable* second = Create(CLSCTX_INPROC_SERVER);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    // Releasing every reference does not destroy it: a cookie outlives them.
    auto* object = new test_support::CountedDispatch;
    DWORD cookie = 0;
    ASSERT_EQ(first->RegisterInterfaceInGlobal(object, IID_IDispatch, &cookie), S_OK);
    first->Release();
    second->Release();
    IGlobalInterfaceTable* third = Create(CLSCTX_ALL);
    IDispatch* fetched = nullptr;
    EXPECT_EQ(
        third->GetInterfaceFromGlobal(cookie, IID_IDispatch, reinterpret_cast<void**>(&fetched)),
        S_OK);
    EXPECT_EQ(fetched, object);
    fetched->Release();
    EXPECT_EQ(third->RevokeInterfaceFromGlobal(cookie), S_OK);
    third->Release();
    object->Release();
}

TEST_F(GlobalInterfaceTable, KeepsAReferenceUntilRevoked) {
    IGlobalInterfaceTable* table = Create(CLSCTX_ALL);
    bool destroyed = false;
    auto* object = new test_support::CountedDispatch(&destroyed);
    DWORD cookie = 0;
    ASSERT_EQ(table->RegisterInterfaceInGlobal(object, IID_IDispatch, &cookie), S_OK);
    EXPECT_NE(cookie, 0u);
    EXPECT_EQ(object->Count(), 2u);

    IDispatch* fetched = nullptr;
    ASSERT_EQ(
        table->GetInterfaceFromGlobal(cookie, IID_IDispatch, reinterpret_cast<void**>(&fetched)),
        S_OK);
    EXPECT_EQ(object->Count(), 3u);  // a new reference for the caller
    fetched->Release();

    object->Release();  // the table's reference keeps it alive
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(table->RevokeInterfaceFromGlobal(cookie), S_OK);
    EXPECT_TRUE(destroyed);
    table->Release();
}

TEST_F(GlobalInterfaceTable, RefusesNullsAndUnknownCookies) {
    IGlobalInterfaceTable* table = Create(CLSCTX_ALL);
    DWORD cookie = 77;
    EXPECT_EQ(table->RegisterInterfaceInGlobal(nullptr, IID_IDispatch, &cookie), E_INVALIDARG);
    EXPECT_EQ(cookie, 0u);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(table->GetInterfaceFromGlobal(0, IID_IDispatch, &out), E_INVALIDARG);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(table->GetInterfaceFromGlobal(0xDEAD, IID_IDispatch, &out), E_INVALIDARG);
    EXPECT_EQ(table->RevokeInterfaceFromGlobal(0xDEAD), E_INVALIDARG);
    // An object without the interface asked for is not registered.
    auto* plain = new test_support::PlainUnknown;
    EXPECT_EQ(table->RegisterInterfaceInGlobal(plain, IID_IDispatch, &cookie), E_NOINTERFACE);
    EXPECT_EQ(plain->Count(), 1u);
    plain->Release();
    // A revoked cookie is unknown.
    auto* object = new test_support::CountedDispatch;
    ASSERT_EQ(table->RegisterInterfaceInGlobal(object, IID_IDispatch, &cookie), S_OK);
    EXPECT_EQ(table->RevokeInterfaceFromGlobal(cookie), S_OK);
    EXPECT_EQ(table->RevokeInterfaceFromGlobal(cookie), E_INVALIDARG);
    object->Release();
    table->Release();
}

TEST_F(GlobalInterfaceTable, CreationCanBeMadeToFail) {
    W32FailGlobalInterfaceTableCreation(E_OUTOFMEMORY);
    IGlobalInterfaceTable* table = reinterpret_cast<IGlobalInterfaceTable*>(1);
    EXPECT_EQ(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_ALL,
                               IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&table)),
              E_OUTOFMEMORY);
    EXPECT_EQ(table, nullptr);
    W32FailGlobalInterfaceTableCreation(S_OK);
    table = Create(CLSCTX_ALL);
    EXPECT_NE(table, nullptr);
    table->Release();
}

TEST_F(GlobalInterfaceTable, AnyThreadGetsTheSameObject) {
    IGlobalInterfaceTable* table = Create(CLSCTX_ALL);
    auto* object = new test_support::CountedDispatch;
    constexpr int kThreads = 4;
    constexpr int kRounds = 200;
    std::vector<std::thread> threads;
    std::vector<int> failures(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            IGlobalInterfaceTable* own = Create(CLSCTX_INPROC_SERVER);
            for (int i = 0; i < kRounds; ++i) {
                DWORD cookie = 0;
                IDispatch* fetched = nullptr;
                if (own->RegisterInterfaceInGlobal(object, IID_IDispatch, &cookie) != S_OK ||
                    own->GetInterfaceFromGlobal(cookie, IID_IDispatch,
                                                reinterpret_cast<void**>(&fetched)) != S_OK ||
                    fetched != object) {
                    ++failures[t];
                }
                if (fetched != nullptr) {
                    fetched->Release();
                }
                own->RevokeInterfaceFromGlobal(cookie);
            }
            own->Release();
            CoUninitialize();
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int count : failures) {
        EXPECT_EQ(count, 0);
    }
    EXPECT_EQ(object->Count(), 1u);
    object->Release();
    table->Release();
}

}  // namespace
