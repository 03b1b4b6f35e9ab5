// The registrar: a description registered and unregistered, compared key by
// key with what the registry then holds.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "framework/raii.h"
#include "framework/registrar.h"
#include "registry_dump.h"
#include "support/temp_dir.h"

namespace {

using vexlo::test::Wide;

std::string Dump(const char* path) {
    return vexlo::regsvr::DumpRegistry(*vexlo::regsvr::ParseRegistryPath(Wide(path)));
}

// The shape of a COM server's description: a ProgID, a class key removed
// before it is written, a key never removed, values with replacements.
const char16_t kScript[] =
    uR"(
HKCR
{
    Test.Registrar.1 = s 'Registrar class'
    {
        CLSID = s '%CLSID%'
    }
    NoRemove CLSID
    {
        ForceRemove %CLSID% = s 'Registrar Class'
        {
            ProgID = s 'Test.Registrar.1'
            ForceRemove Programmable
            InprocServer32 = s '%MODULE%'
            {
                val ThreadingModel = s 'Apartment'
            }
            val AppID = s '%APPID%'
            val Flags = d '0x1F'
            val Blob = b '00ff10'
        }
    }
}
HKLM
{
    NoRemove Software
    {
        NoRemove RegistrarTest
        {
            Setting = s '100%% sure'
        }
    }
}
)";

const char kRegistered[] =
    "[HKCR\\CLSID\\{11111111-2222-3333-4444-555555555555}]\n"
    "@=\"Registrar Class\"\n"
    "\"AppID\"=\"{APP}\"\n"
    "\"Blob\"=hex(3):00,ff,10\n"
    "\"Flags\"=dword:0000001f\n"
    "[HKCR\\CLSID\\{11111111-2222-3333-4444-555555555555}\\InprocServer32]\n"
    "@=\"/opt/it's {odd} %MODULE% path.so\"\n"
    "\"ThreadingModel\"=\"Apartment\"\n"
    "[HKCR\\CLSID\\{11111111-2222-3333-4444-555555555555}\\ProgID]\n"
    "@=\"Test.Registrar.1\"\n"
    "[HKCR\\CLSID\\{11111111-2222-3333-4444-555555555555}\\Programmable]\n";

fw::CRegistrar MakeRegistrar() {
    fw::CRegistrar registrar;
    registrar.AddReplacement(u"CLSID", u"{11111111-2222-3333-4444-555555555555}");
    registrar.AddReplacement(u"APPID", u"{APP}");
    // Replaced text is taken as it is: quotes, braces and percent signs stay text.
    registrar.AddReplacement(u"Module", u"/opt/it's {odd} %MODULE% path.so");
    return registrar;
}

void Clean() {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"Software\\Classes\\CLSID");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"Software\\Classes\\Test.Registrar.1");
    RegDeleteTreeW(HKEY_CURRENT_USER, u"Software\\Classes\\CLSID");
    RegDeleteTreeW(HKEY_CURRENT_USER, u"Software\\Classes\\Test.Registrar.1");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"Software\\RegistrarTest");
}

class Registrar : public ::testing::Test {
protected:
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }
};

TEST_F(Registrar, RegistersKeyByKeyAndTwiceGivesTheSame) {
    fw::CRegistrar registrar = MakeRegistrar();
    // A stale subkey of the class is removed by the ForceRemove.
    fw::unique_hkey stale;
    ASSERT_EQ(
        ERROR_SUCCESS,
        RegCreateKeyExW(HKEY_CLASSES_ROOT, u"CLSID\\{11111111-2222-3333-4444-555555555555}\\Stale",
                        0, nullptr, 0, KEY_WRITE, nullptr, stale.put(), nullptr));
    ASSERT_EQ(S_OK, registrar.StringRegister(kScript));
    EXPECT_EQ(kRegistered, Dump("HKCR\\CLSID\\{11111111-2222-3333-4444-555555555555}"));
    EXPECT_EQ(
        "[HKCR\\Test.Registrar.1]\n@=\"Registrar class\"\n"
        "[HKCR\\Test.Registrar.1\\CLSID]\n@=\"{11111111-2222-3333-4444-555555555555}\"\n",
        Dump("HKCR\\Test.Registrar.1"));
    EXPECT_EQ(
        "[HKLM\\Software\\RegistrarTest]\n[HKLM\\Software\\RegistrarTest\\Setting]\n"
        "@=\"100% sure\"\n",
        Dump("HKLM\\Software\\RegistrarTest"));
    // Per machine: the machine's classes hold it, the user's do not.
    EXPECT_NE("", Dump("HKLM\\Software\\Classes\\Test.Registrar.1"));
    EXPECT_EQ("", Dump("HKCU\\Software\\Classes\\Test.Registrar.1"));

    ASSERT_EQ(S_OK, registrar.StringRegister(kScript));
    EXPECT_EQ(kRegistered, Dump("HKCR\\CLSID\\{11111111-2222-3333-4444-555555555555}"));
}

TEST_F(Registrar, UnregistersWhatItWroteAndKeepsWhatItMustNotRemove) {
    fw::CRegistrar registrar = MakeRegistrar();
    fw::unique_hkey other;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, u"CLSID\\{Another}", 0, nullptr, 0,
                                             KEY_WRITE, nullptr, other.put(), nullptr));
    ASSERT_EQ(S_OK, registrar.StringRegister(kScript));
    // Someone else's value in the ProgID key goes with it; someone else's
    // key under the machine's settings keeps its parent.
    fw::unique_hkey foreign;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\RegistrarTest\\Setting\\Foreign", 0,
                              nullptr, 0, KEY_WRITE, nullptr, foreign.put(), nullptr));

    ASSERT_EQ(S_OK, registrar.StringUnregister(kScript));
    EXPECT_EQ("[HKCR\\CLSID]\n[HKCR\\CLSID\\{Another}]\n", Dump("HKCR\\CLSID"));
    EXPECT_EQ("", Dump("HKCR\\Test.Registrar.1"));
    EXPECT_EQ(
        "[HKLM\\Software\\RegistrarTest]\n[HKLM\\Software\\RegistrarTest\\Setting]\n"
        "[HKLM\\Software\\RegistrarTest\\Setting\\Foreign]\n",
        Dump("HKLM\\Software\\RegistrarTest"));
    // Unregistering what is not there is no failure.
    EXPECT_EQ(S_OK, registrar.StringUnregister(kScript));
}

TEST_F(Registrar, PerUserRegistrationWritesTheUsersClassesOnly) {
    fw::CRegistrar registrar = MakeRegistrar();
    registrar.SetPerUser(true);
    const char16_t classesOnly[] =
        u"HKCR { NoRemove CLSID { ForceRemove %CLSID% = s 'Registrar Class' } }";
    W32SetMachineRegistryReadOnly(TRUE);
    HRESULT hr = registrar.StringRegister(classesOnly);
    W32SetMachineRegistryReadOnly(FALSE);
    ASSERT_EQ(S_OK, hr);
    EXPECT_EQ(
        "[HKCU\\Software\\Classes\\CLSID\\{11111111-2222-3333-4444-555555555555}]\n"
        "@=\"Registrar Class\"\n",
        Dump("HKCU\\Software\\Classes\\CLSID\\{11111111-2222-3333-4444-555555555555}"));
    EXPECT_EQ("", Dump("HKLM\\Software\\Classes\\CLSID\\{11111111-2222-3333-4444-555555555555}"));
    ASSERT_EQ(S_OK, registrar.StringUnregister(classesOnly));
    EXPECT_EQ("", Dump("HKCR\\CLSID\\{11111111-2222-3333-4444-555555555555}"));

    // Without per-user registration, the read-only machine refuses it.
    registrar.SetPerUser(false);
    W32SetMachineRegistryReadOnly(TRUE);
    hr = registrar.StringRegister(classesOnly);
    W32SetMachineRegistryReadOnly(FALSE);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), hr);
}

TEST_F(Registrar, ADescriptionThatDoesNotReadChangesNothing) {
    fw::CRegistrar registrar = MakeRegistrar();
    const char16_t* broken[] = {
        u"HKCR { Key = s 'unterminated }",
        u"HKCR { Key = s '%UNKNOWN%' }",
        u"HKXX { Key }",
        u"HKCR { Key { val = s 'x' }",
        u"HKCR { Key = d 'notanumber' }",
        u"HKCR { Key = b 'abc' }",
        u"HKCR { Key = q 'x' }",
        u"HKCR { Written = s 'x' } HKCR { Broken = ",
    };
    for (const char16_t* script : broken) {
        EXPECT_EQ(E_INVALIDARG, registrar.StringRegister(script));
    }
    EXPECT_EQ("", Dump("HKCR\\Written"));
    EXPECT_EQ("", Dump("HKCR\\Key"));
}

TEST_F(Registrar, DeleteMarkRemovesAtRegistrationOnly) {
    fw::CRegistrar registrar;
    fw::unique_hkey old;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, u"Test.Registrar.1\\Old\\Deep", 0,
                                             nullptr, 0, KEY_WRITE, nullptr, old.put(), nullptr));
    const char16_t script[] = u"HKCR { NoRemove Test.Registrar.1 { Delete Old } }";
    ASSERT_EQ(S_OK, registrar.StringRegister(script));
    EXPECT_EQ("[HKCR\\Test.Registrar.1]\n", Dump("HKCR\\Test.Registrar.1"));
    ASSERT_EQ(S_OK, registrar.StringUnregister(script));
    EXPECT_EQ("[HKCR\\Test.Registrar.1]\n", Dump("HKCR\\Test.Registrar.1"));
}

}  // namespace
