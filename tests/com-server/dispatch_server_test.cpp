// A server built on the framework, registered by the tool with its type
// library, created by its CLSID in another process of the session and called
// through IDispatch by name; in this process, its module's lock count keeps
// it loaded while an object lives.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "dispatch_server.h"
#include "framework/com_ptr.h"
#include "framework/variant.h"
#include "server_entry.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace {

bool Loaded() {
    return GetModuleHandleW(vexlo::test::Wide(DISPATCH_SERVER).c_str()) != nullptr;
}

std::u16string Text(HKEY root, const std::u16string& keyName) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, keyName.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return u"missing";
    }
    char16_t buffer[512] = {};
    DWORD size = sizeof(buffer) - sizeof(char16_t);
    LONG status =
        RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? std::u16string(buffer) : u"missing";
}

int RunProgram(const std::vector<std::string>& arguments) {
    return vexlo::test::Spawn(arguments).Wait(std::chrono::seconds(30));
}

TEST(DispatchServer, RegisteredByTheToolAndCalledByNameFromAnotherProcess) {
    vexlo::test::TempDir folder;
    auto client = [&] {
        int status = RunProgram({DISPATCH_CLIENT, folder.native("answer")});
        return std::to_string(status) + ":" + vexlo::test::ReadFileBytes(folder.path() / "answer");
    };
    EXPECT_EQ("1:error 0x80040154", client());  // REGDB_E_CLASSNOTREG
    ASSERT_EQ(0, RunProgram({REGSVR, DISPATCH_SERVER}));
    EXPECT_EQ(
        Text(HKEY_CLASSES_ROOT, u"TypeLib\\{6A0B2C1D-3E4F-4A5B-8C7D-9E0F1A2B3C52}\\1.0\\0\\win32"),
        vexlo::test::Wide(DISPATCH_SERVER));
    EXPECT_EQ(Text(HKEY_CLASSES_ROOT, u"Interface\\{6A0B2C1D-3E4F-4A5B-8C7D-9E0F1A2B3C51}"),
              u"IDispatchThing");
    EXPECT_EQ("0:Dispatch.Server 42", client());
    ASSERT_EQ(0, RunProgram({REGSVR, "/u", DISPATCH_SERVER}));
    EXPECT_EQ(Text(HKEY_CLASSES_ROOT, u"TypeLib\\{6A0B2C1D-3E4F-4A5B-8C7D-9E0F1A2B3C52}"),
              u"missing");
    EXPECT_EQ("1:error 0x80040154", client());
}

TEST(DispatchServer, ObjectsHoldTheModuleAndWorkBeforeTheLibraryIsRegistered) {
    CoInitialize(nullptr);
    // Only the class is written: dispatch falls back on the module's own library.
    ASSERT_EQ(S_OK,
              vexlo::regsvr::CallServerEntry(DISPATCH_SERVER, vexlo::regsvr::Entry::Register));
    ASSERT_EQ(S_OK, UnRegisterTypeLib(LIBID_DispatchServerLib, 1, 0, 0, SYS_WIN32));
    {
        fw::CComPtr<IDispatch> object;
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_DispatchServer, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_PPV_ARGS(&object)));
        LPOLESTR name = const_cast<LPOLESTR>(u"twice");
        DISPID id = DISPID_UNKNOWN;
        ASSERT_EQ(S_OK, object->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id));
        fw::CComVariant argument(static_cast<LONG>(5));
        fw::CComVariant result;
        DISPPARAMS params = {&argument, nullptr, 1, 0};
        ASSERT_EQ(S_OK, object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                       &result, nullptr, nullptr));
        EXPECT_EQ(result.lVal, 10);
        CoFreeUnusedLibraries();
        EXPECT_TRUE(Loaded());  // the object holds a lock on its module
    }
    CoFreeUnusedLibraries();
    EXPECT_FALSE(Loaded());
    vexlo::regsvr::CallServerEntry(DISPATCH_SERVER, vexlo::regsvr::Entry::Unregister);
    CoUninitialize();
}

}  // namespace
