// In-process servers as COM finds them: through the registry's
// InprocServer32 key, loaded on first use, kept while DllCanUnloadNow says
// so; and string tables read with LoadStringW.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "framework/com_ptr.h"
#include "framework/raii.h"
#include "plain_server.h"
#include "registry_dump.h"
#include "server_entry.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace {

class ComThread {
public:
    ComThread() { CoInitialize(nullptr); }
    ~ComThread() { CoUninitialize(); }
};

bool Loaded() {
    return GetModuleHandleW(vexlo::test::Wide(PLAIN_SERVER).c_str()) != nullptr;
}

class InprocServer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK,
                  vexlo::regsvr::CallServerEntry(PLAIN_SERVER, vexlo::regsvr::Entry::Register));
    }
    void TearDown() override {
        vexlo::regsvr::CallServerEntry(PLAIN_SERVER, vexlo::regsvr::Entry::Unregister);
        CoFreeUnusedLibraries();
    }
    ComThread com;
};

TEST_F(InprocServer, AThreadWithoutCoInitializeGetsNotInitialized) {
    HRESULT created = S_OK, classObject = S_OK;
    std::thread([&] {
        void* object = reinterpret_cast<void*>(1);
        created = CoCreateInstance(CLSID_PlainServer, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IPlainThing, &object);
        EXPECT_EQ(nullptr, object);
        classObject = CoGetClassObject(CLSID_PlainServer, CLSCTX_INPROC_SERVER, nullptr,
                                       IID_IClassFactory, &object);
    }).join();
    EXPECT_EQ(CO_E_NOTINITIALIZED, created);
    EXPECT_EQ(CO_E_NOTINITIALIZED, classObject);
}

TEST_F(InprocServer, IsFoundThroughTheRegistryAndKeptWhileInUse) {
    fw::CComPtr<IPlainThing> thing;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_PlainServer, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_PPV_ARGS(&thing)));
    EXPECT_EQ(42, thing->Twice(21));
    // DllCanUnloadNow answers S_FALSE while the object lives.
    CoFreeUnusedLibraries();
    EXPECT_TRUE(Loaded());
    EXPECT_EQ(10, thing->Twice(5));
    thing.Release();
    CoFreeUnusedLibraries();
    EXPECT_FALSE(Loaded());

    // Found and loaded again on the next creation; a server lock keeps it.
    fw::CComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK,
              CoGetClassObject(CLSID_PlainServer, CLSCTX_ALL, nullptr, IID_PPV_ARGS(&factory)));
    ASSERT_EQ(S_OK, factory->LockServer(TRUE));
    CoFreeUnusedLibraries();
    EXPECT_TRUE(Loaded());
    ASSERT_EQ(S_OK, factory->LockServer(FALSE));
    factory.Release();
    CoFreeUnusedLibraries();
    EXPECT_FALSE(Loaded());
}

TEST_F(InprocServer, ClassesThatCannotBeServedAnswerAsCom) {
    void* object = nullptr;
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(CLSID_PlainServer, nullptr, CLSCTX_LOCAL_SERVER,
                                                    IID_IPlainThing, &object));
    EXPECT_EQ(E_NOINTERFACE, CoCreateInstance(CLSID_PlainServer, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);

    // A registration whose library is missing, and one without a path.
    fw::unique_hkey key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_CLASSES_ROOT,
                              u"CLSID\\{6A0B2C1D-3E4F-4A5B-8C7D-9E0F1A2B3C4D}\\InprocServer32", 0,
                              nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr));
    const char16_t missing[] = u"/nonexistent/libmissing.so";
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(missing),
                             sizeof missing));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND),
              CoCreateInstance(CLSID_PlainServer, nullptr, CLSCTX_INPROC_SERVER, IID_IPlainThing,
                               &object));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueW(key.get(), nullptr));
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              CoCreateInstance(CLSID_PlainServer, nullptr, CLSCTX_INPROC_SERVER, IID_IPlainThing,
                               &object));
    vexlo::regsvr::CallServerEntry(PLAIN_SERVER, vexlo::regsvr::Entry::Unregister);
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              CoCreateInstance(CLSID_PlainServer, nullptr, CLSCTX_INPROC_SERVER, IID_IPlainThing,
                               &object));
}

// The whole way across processes: the registration tool registers the
// server into the session, another process creates it by its CLSID.
TEST_F(InprocServer, RegisteredByTheToolAndCreatedByAnotherProcess) {
    vexlo::regsvr::CallServerEntry(PLAIN_SERVER, vexlo::regsvr::Entry::Unregister);
    auto run = [](std::vector<std::string> arguments) {
        return vexlo::test::Spawn(arguments).Wait(std::chrono::seconds(30));
    };
    vexlo::test::TempDir folder;
    auto client = [&] {
        int status = run({PLAIN_CLIENT, folder.native("answer")});
        return std::to_string(status) + ":" + vexlo::test::ReadFileBytes(folder.path() / "answer");
    };
    EXPECT_EQ("1:error 0x80040154", client());  // REGDB_E_CLASSNOTREG

    ASSERT_EQ(0, run({REGSVR, PLAIN_SERVER}));
    EXPECT_EQ(std::string("[HKCR\\CLSID\\{6A0B2C1D-3E4F-4A5B-8C7D-9E0F1A2B3C4D}]\n"
                          "[HKCR\\CLSID\\{6A0B2C1D-3E4F-4A5B-8C7D-9E0F1A2B3C4D}\\InprocServer32]\n"
                          "@=\"") +
                  PLAIN_SERVER + "\"\n",
              vexlo::regsvr::DumpRegistry(*vexlo::regsvr::ParseRegistryPath(
                  u"HKCR\\CLSID\\{6A0B2C1D-3E4F-4A5B-8C7D-9E0F1A2B3C4D}")));
    EXPECT_EQ("0:42", client());

    ASSERT_EQ(0, run({REGSVR, "/u", PLAIN_SERVER}));
    EXPECT_EQ("1:error 0x80040154", client());
}

TEST(StringTable, LoadStringWReadsTheModulesBlocks) {
    fw::unique_hmodule module(LoadLibraryA(PLAIN_SERVER));
    ASSERT_TRUE(module);
    char16_t buffer[64];
    EXPECT_EQ(12, LoadStringW(module.get(), kPlainNameId, buffer, 64));
    EXPECT_EQ(u"Plain.Server", std::u16string(buffer));
    EXPECT_EQ(13, LoadStringW(module.get(), kPlainOtherId, buffer, 64));
    EXPECT_EQ(u"Другая строка", std::u16string(buffer));
    // Cut to the buffer, always terminated.
    EXPECT_EQ(5, LoadStringW(module.get(), kPlainNameId, buffer, 6));
    EXPECT_EQ(u"Plain", std::u16string(buffer));
    // A zero-sized buffer receives a pointer to the resource's own text.
    const char16_t* text = nullptr;
    EXPECT_EQ(12, LoadStringW(module.get(), kPlainNameId, reinterpret_cast<LPWSTR>(&text), 0));
    EXPECT_EQ(u"Plain.Server", std::u16string(text, 12));
    // Missing strings: in a present block and in a missing one.
    EXPECT_EQ(0, LoadStringW(module.get(), kPlainNameId + 1, buffer, 64));
    EXPECT_EQ(u"", std::u16string(buffer));
    EXPECT_EQ(0, LoadStringW(module.get(), 5000, buffer, 64));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND), GetLastError());
}

}  // namespace
