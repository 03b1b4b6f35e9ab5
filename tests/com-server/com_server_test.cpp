// The framework's DLL module through the test server's exports, and the
// whole way end to end: the server registered by the registration tool into
// the session, created by its CLSID in another process and called through
// IDispatch by name.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "framework/com_ptr.h"
#include "framework/raii.h"
#include "registry_dump.h"
#include "server_entry.h"
#include "support/child_process.h"
#include "support/temp_dir.h"
#include "test_server.h"

namespace {

using vexlo::test::Wide;

std::string Dump(const std::u16string& path) {
    return vexlo::regsvr::DumpRegistry(*vexlo::regsvr::ParseRegistryPath(path));
}

const std::u16string kClassKey = std::u16string(u"CLSID\\") + kGreeterClsid;

std::string Registered(const std::string& root) {
    const std::string key = root + "\\CLSID\\{7B1C3D2E-4F50-4B6C-9D8E-0F1A2B3C4D03}";
    return "[" + key +
           "]\n@=\"Greeter Class\"\n\"AppID\"=\"{7B1C3D2E-4F50-4B6C-9D8E-0F1A2B3C4D04}\"\n" + "[" +
           key + "\\InprocServer32]\n@=\"" + TEST_SERVER +
           "\"\n\"ThreadingModel\"=\"Apartment\"\n" + "[" + key +
           "\\ProgID]\n@=\"Test.Greeter.1\"\n" + "[" + key + "\\Programmable]\n" + "[" + key +
           "\\TypeLib]\n@=\"{7B1C3D2E-4F50-4B6C-9D8E-0F1A2B3C4D01}\"\n" + "[" + key +
           "\\VersionIndependentProgID]\n@=\"Test.Greeter\"\n";
}

int RunProgram(std::vector<std::string> arguments,
               const std::map<std::string, std::string>& env = {}) {
    return vexlo::test::Spawn(arguments, env).Wait(std::chrono::seconds(30));
}

class ComServer : public ::testing::Test {
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override {
        RunProgram({REGSVR, "/u", TEST_SERVER});
        RegDeleteTreeW(HKEY_CURRENT_USER, (u"Software\\Classes\\" + kClassKey).c_str());
        CoFreeUnusedLibraries();
        CoUninitialize();
    }
    std::string Client() {
        vexlo::test::TempDir folder;
        int status = RunProgram(
            {COM_CLIENT, "{7B1C3D2E-4F50-4B6C-9D8E-0F1A2B3C4D03}", folder.native("answer")});
        std::string answer = vexlo::test::ReadFileBytes(folder.path() / "answer");
        return (status == 0 ? "" : "failed: ") + answer;
    }
};

TEST_F(ComServer, RegisteredByTheToolCreatedAndCalledByNameFromAnotherProcess) {
    ASSERT_EQ(0, RunProgram({REGSVR, TEST_SERVER}));
    EXPECT_EQ(Registered("HKCR"), Dump(u"HKCR\\" + kClassKey));
    EXPECT_EQ(Registered("HKLM\\Software\\Classes"),
              Dump(u"HKLM\\Software\\Classes\\" + kClassKey));
    EXPECT_EQ(
        "[HKCR\\Test.Greeter]\n@=\"Greeter class\"\n"
        "[HKCR\\Test.Greeter\\CLSID]\n@=\"{7B1C3D2E-4F50-4B6C-9D8E-0F1A2B3C4D03}\"\n"
        "[HKCR\\Test.Greeter\\CurVer]\n@=\"Test.Greeter.1\"\n",
        Dump(u"HKCR\\Test.Greeter"));

    // The type library is registered per machine beside the class.
    EXPECT_NE("",
              Dump(u"HKLM\\Software\\Classes\\TypeLib\\{7B1C3D2E-4F50-4B6C-9D8E-0F1A2B3C4D01}"));

    EXPECT_EQ("Hello, Vexlo|42", Client());

    // Registering again gives the same keys.
    ASSERT_EQ(0, RunProgram({REGSVR, TEST_SERVER}));
    EXPECT_EQ(Registered("HKCR"), Dump(u"HKCR\\" + kClassKey));

    ASSERT_EQ(0, RunProgram({REGSVR, "/u", TEST_SERVER}));
    EXPECT_EQ("", Dump(u"HKCR\\" + kClassKey));
    EXPECT_EQ("", Dump(u"HKCR\\Test.Greeter"));
    EXPECT_EQ("", Dump(u"HKCR\\TypeLib\\{7B1C3D2E-4F50-4B6C-9D8E-0F1A2B3C4D01}"));
    EXPECT_NE("", Dump(u"HKCR\\CLSID"));              // never removed
    EXPECT_EQ("failed: error 0x80040154", Client());  // REGDB_E_CLASSNOTREG
}

TEST_F(ComServer, DllInstallWithUserRegistersForTheCurrentUserOnly) {
    const std::map<std::string, std::string> readOnly = {{"W32_REGISTRY_MACHINE_READONLY", "1"}};
    // Without administrator rights, per-machine registration fails and is undone.
    EXPECT_EQ(1, RunProgram({REGSVR, TEST_SERVER}, readOnly));
    EXPECT_EQ(1, RunProgram({REGSVR, "/n", "/i:users", TEST_SERVER}, readOnly));
    EXPECT_EQ("", Dump(u"HKCR\\" + kClassKey));

    ASSERT_EQ(0, RunProgram({REGSVR, "/n", "/i:USER", TEST_SERVER}, readOnly));
    EXPECT_EQ(Registered("HKCU\\Software\\Classes"),
              Dump(u"HKCU\\Software\\Classes\\" + kClassKey));
    EXPECT_EQ("", Dump(u"HKLM\\Software\\Classes\\" + kClassKey));
    // The switch sends the type library to the user's registration too.
    EXPECT_NE("",
              Dump(u"HKCU\\Software\\Classes\\TypeLib\\{7B1C3D2E-4F50-4B6C-9D8E-0F1A2B3C4D01}"));
    EXPECT_EQ("",
              Dump(u"HKLM\\Software\\Classes\\TypeLib\\{7B1C3D2E-4F50-4B6C-9D8E-0F1A2B3C4D01}"));
    EXPECT_EQ("Hello, Vexlo|42", Client());

    ASSERT_EQ(0, RunProgram({REGSVR, "/u", "/n", "/i:user", TEST_SERVER}, readOnly));
    EXPECT_EQ("", Dump(u"HKCR\\" + kClassKey));
    EXPECT_EQ("", Dump(u"HKCR\\TypeLib\\{7B1C3D2E-4F50-4B6C-9D8E-0F1A2B3C4D01}"));
}

TEST_F(ComServer, TheModulesExportsAnswerAsTheFrameworkDoes) {
    fw::unique_hmodule server(LoadLibraryA(TEST_SERVER));
    ASSERT_TRUE(server);
    auto getClassObject =
        reinterpret_cast<LPFNGETCLASSOBJECT>(GetProcAddress(server.get(), "DllGetClassObject"));
    auto canUnloadNow =
        reinterpret_cast<LPFNCANUNLOADNOW>(GetProcAddress(server.get(), "DllCanUnloadNow"));
    ASSERT_NE(nullptr, getClassObject);
    ASSERT_NE(nullptr, canUnloadNow);
    for (const char* name : {"DllRegisterServer", "DllUnregisterServer", "DllInstall"}) {
        EXPECT_NE(nullptr, GetProcAddress(server.get(), name)) << name;
    }

    EXPECT_EQ(E_POINTER, getClassObject(CLSID_Greeter, IID_IClassFactory, nullptr));
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, getClassObject(IID_IGreeter, IID_IClassFactory, &none));
    EXPECT_EQ(nullptr, none);

    fw::CComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, getClassObject(CLSID_Greeter, IID_PPV_ARGS(&factory)));
    fw::CComPtr<IClassFactory> again;
    ASSERT_EQ(S_OK, getClassObject(CLSID_Greeter, IID_PPV_ARGS(&again)));
    EXPECT_EQ(factory.p, again.p);  // created once, cached
    // A factory held holds no lock; a lock asked for does.
    EXPECT_EQ(S_OK, canUnloadNow());
    ASSERT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(S_FALSE, canUnloadNow());
    ASSERT_EQ(S_OK, factory->LockServer(FALSE));

    // Unregistered, the object still dispatches through its own type library.
    fw::CComPtr<IGreeter> greeter;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_PPV_ARGS(&greeter)));
    EXPECT_EQ(S_FALSE, canUnloadNow());
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"add")};
    ASSERT_EQ(S_OK, greeter->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
    EXPECT_EQ(2, id);
    IUnknown* outer = greeter;
    void* aggregated = nullptr;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(outer, IID_IUnknown, &aggregated));
    greeter.Release();
    EXPECT_EQ(S_OK, canUnloadNow());

    char16_t name[32];
    EXPECT_EQ(11, LoadStringW(server.get(), IDS_PROJNAME, name, 32));
    EXPECT_EQ(u"Test.Server", std::u16string(name));
}

TEST_F(ComServer, AnUnloadedServerIsLoadedAgainAndStillDispatches) {
    ASSERT_EQ(0, RunProgram({REGSVR, TEST_SERVER}));
    for (int round = 0; round < 2; ++round) {
        fw::CComPtr<IDispatch> object;
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_Greeter, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_PPV_ARGS(&object)));
        DISPID id = 0;
        LPOLESTR names[] = {const_cast<LPOLESTR>(u"Add")};
        ASSERT_EQ(S_OK, object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
        VARIANTARG args[2];
        args[0].vt = VT_I4;
        args[0].lVal = 1;
        args[1].vt = VT_I4;
        args[1].lVal = round;
        DISPPARAMS params = {args, nullptr, 2, 0};
        VARIANT sum;
        VariantInit(&sum);
        ASSERT_EQ(S_OK, object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                       &sum, nullptr, nullptr));
        EXPECT_EQ(round + 1, sum.lVal);
        object.Release();
        CoFreeUnusedLibraries();
        EXPECT_EQ(nullptr, GetModuleHandleW(Wide(TEST_SERVER).c_str()));
    }
}

}  // namespace
