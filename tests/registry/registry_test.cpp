// The registry as the system relies on it: the calls' answers and errors,
// names without regard to case, the merged classes view, the read-only
// machine hive, and one registry for every process and thread of a session.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "framework/raii.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace {

using fw::unique_hkey;

// Each test works under a key of its own name, so tests do not meet.
std::u16string TestKey(const std::u16string& under = u"Software\\RegistryTest\\") {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return under + vexlo::test::Wide(info->name());
}

unique_hkey Create(HKEY root, const std::u16string& name, REGSAM access = KEY_ALL_ACCESS) {
    unique_hkey key;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, name.c_str(), 0, nullptr, 0, access, nullptr,
                                             key.put(), nullptr));
    return key;
}

LONG SetText(HKEY key, const char16_t* name, const std::u16string& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
}

LONG SetDword(HKEY key, const char16_t* name, DWORD value) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value);
}

// The text of a REG_SZ value, or the error as text.
std::u16string Text(HKEY root, const std::u16string& keyName, const char16_t* name) {
    unique_hkey key;
    LONG status = RegOpenKeyExW(root, keyName.c_str(), 0, KEY_READ, key.put());
    char16_t buffer[256] = {};
    DWORD size = sizeof(buffer) - sizeof(char16_t);
    if (status == ERROR_SUCCESS) {
        status = RegQueryValueExW(key.get(), name, nullptr, nullptr,
                                  reinterpret_cast<BYTE*>(buffer), &size);
    }
    return status == ERROR_SUCCESS ? std::u16string(buffer)
                                   : u"error " + vexlo::test::Wide(std::to_string(status));
}

std::vector<std::u16string> Subkeys(HKEY key) {
    std::vector<std::u16string> names;
    for (DWORD i = 0;; ++i) {
        char16_t name[256];
        DWORD length = 256;
        LONG status = RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) {
            EXPECT_EQ(ERROR_NO_MORE_ITEMS, status);
            return names;
        }
        names.emplace_back(name, length);
    }
}

LONG Open(HKEY root, const std::u16string& name, REGSAM access, unique_hkey& key) {
    return RegOpenKeyExW(root, name.c_str(), 0, access, key.put());
}

class ReadOnlyMachine {
public:
    ReadOnlyMachine() { W32SetMachineRegistryReadOnly(TRUE); }
    ~ReadOnlyMachine() { W32SetMachineRegistryReadOnly(FALSE); }
};

TEST(Registry, ValuesRoundTripByTypeAndNamesIgnoreCase) {
    std::u16string name = TestKey();
    unique_hkey key = Create(HKEY_CURRENT_USER, name);
    ASSERT_EQ(ERROR_SUCCESS, SetText(key.get(), nullptr, u"default"));
    ASSERT_EQ(ERROR_SUCCESS, SetText(key.get(), u"Path", u"/opt/server.so"));
    ASSERT_EQ(ERROR_SUCCESS, SetDword(key.get(), u"NoExplorer", 1));
    ASSERT_EQ(ERROR_SUCCESS, SetText(key.get(), u"PATH", u"/opt/other.so"));  // the same value

    std::u16string upper = name;
    for (auto& c : upper) {
        c = (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
    }
    EXPECT_EQ(u"default", Text(HKEY_CURRENT_USER, upper, nullptr));
    EXPECT_EQ(u"default", Text(HKEY_CURRENT_USER, upper, u""));
    EXPECT_EQ(u"/opt/other.so", Text(HKEY_CURRENT_USER, name, u"path"));

    DWORD type = 0, value = 0, size = sizeof value;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key.get(), u"noexplorer", nullptr, &type,
                                              reinterpret_cast<BYTE*>(&value), &size));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(1u, value);
    EXPECT_EQ(4u, size);

    // The value keeps the case it was first written with.
    char16_t valueName[32];
    DWORD length = 32;
    ASSERT_EQ(ERROR_SUCCESS,
              RegEnumValueW(key.get(), 1, valueName, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(u"Path", std::u16string(valueName, length));
    DWORD values = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               &values, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(3u, values);
}

TEST(Registry, SizesAndMissingThingsAnswerAsWindows) {
    std::u16string name = TestKey();
    unique_hkey key = Create(HKEY_CURRENT_USER, name);
    ASSERT_EQ(ERROR_SUCCESS, SetText(key.get(), u"Text", u"0123456789"));  // 22 bytes

    DWORD size = 0;
    DWORD type = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key.get(), u"Text", nullptr, &type, nullptr, &size));
    EXPECT_EQ(22u, size);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);

    BYTE small[8];
    size = sizeof small;
    EXPECT_EQ(ERROR_MORE_DATA,
              RegQueryValueExW(key.get(), u"Text", nullptr, nullptr, small, &size));
    EXPECT_EQ(22u, size);
    EXPECT_EQ(ERROR_INVALID_PARAMETER,
              RegQueryValueExW(key.get(), u"Text", nullptr, nullptr, small, nullptr));
    size = sizeof small;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegQueryValueExW(key.get(), u"Missing", nullptr, nullptr, small, &size));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegQueryValueExW(key.get(), nullptr, nullptr, nullptr, small, &size));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueW(key.get(), u"Missing"));

    unique_hkey missing;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              Open(HKEY_CURRENT_USER, name + u"\\Missing", KEY_READ, missing));
    EXPECT_FALSE(missing);
    EXPECT_EQ(ERROR_BAD_PATHNAME, Open(HKEY_CURRENT_USER, u"\\Software", KEY_READ, missing));
    EXPECT_EQ(ERROR_INVALID_HANDLE,
              RegSetValueExW(reinterpret_cast<HKEY>(0x1234), u"x", 0, REG_SZ, nullptr, 0));
    HKEY closed = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, name.c_str(), 0, KEY_READ, &closed));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(closed));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(closed));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_LOCAL_MACHINE));
}

TEST(Registry, HandlesAllowOnlyTheRightsTheyWereOpenedWith) {
    std::u16string name = TestKey();
    Create(HKEY_CURRENT_USER, name + u"\\Sub");
    struct Case {
        REGSAM access;
        LONG set, query, enumerate, create;
    } cases[] = {
        {KEY_READ, ERROR_ACCESS_DENIED, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_ACCESS_DENIED},
        {KEY_WRITE, ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, ERROR_SUCCESS},
        {KEY_QUERY_VALUE, ERROR_ACCESS_DENIED, ERROR_SUCCESS, ERROR_ACCESS_DENIED,
         ERROR_ACCESS_DENIED},
        {KEY_ALL_ACCESS, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.access);
        unique_hkey key;
        ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_CURRENT_USER, name, c.access, key));
        EXPECT_EQ(c.set, SetDword(key.get(), u"v", 1));
        DWORD size = 0;
        LONG query = RegQueryValueExW(key.get(), u"v", nullptr, nullptr, nullptr, &size);
        EXPECT_EQ(c.query, query == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : query);
        char16_t buffer[16];
        DWORD length = 16;
        EXPECT_EQ(c.enumerate,
                  RegEnumKeyExW(key.get(), 0, buffer, &length, nullptr, nullptr, nullptr, nullptr));
        unique_hkey sub;
        EXPECT_EQ(c.create, RegCreateKeyExW(key.get(), u"Made", 0, nullptr, 0, KEY_READ, nullptr,
                                            sub.put(), nullptr));
    }
}

TEST(Registry, EnumerationIsOrderedWithoutCaseAndEndsWithNoMoreItems) {
    std::u16string name = TestKey();
    unique_hkey key = Create(HKEY_CURRENT_USER, name);
    for (const char16_t* sub : {u"beta", u"Alpha", u"gamma", u"ALPHA\\Inner", u"Delta"}) {
        Create(key.get(), sub);
    }
    EXPECT_EQ((std::vector<std::u16string>{u"Alpha", u"beta", u"Delta", u"gamma"}),
              Subkeys(key.get()));
    char16_t small[3];
    DWORD length = 3;
    EXPECT_EQ(ERROR_MORE_DATA,
              RegEnumKeyExW(key.get(), 0, small, &length, nullptr, nullptr, nullptr, nullptr));
    DWORD subkeys = 0, longest = 0;
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, &longest, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(4u, subkeys);
    EXPECT_EQ(5u, longest);
    DWORD disposition = 0;
    unique_hkey again;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(key.get(), u"BETA", 0, nullptr, 0, KEY_READ, nullptr,
                                             again.put(), &disposition));
    EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(key.get(), u"Epsilon", 0, nullptr, 0, KEY_READ,
                                             nullptr, again.put(), &disposition));
    EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
}

TEST(Registry, DeleteRules) {
    std::u16string name = TestKey();
    unique_hkey key = Create(HKEY_CURRENT_USER, name);
    Create(key.get(), u"Parent\\Child");
    unique_hkey parent = Create(key.get(), u"Parent");
    ASSERT_EQ(ERROR_SUCCESS, SetText(parent.get(), u"kept", u"x"));

    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(key.get(), u"Parent"));  // has a subkey
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyW(key.get(), u"Nothing"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(key.get(), u"parent\\CHILD"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(key.get(), u"Parent"));
    // A handle to a deleted key answers so, even once the name is made again.
    EXPECT_EQ(ERROR_KEY_DELETED, SetText(parent.get(), u"kept", u"y"));
    Create(key.get(), u"Parent");
    EXPECT_EQ(ERROR_KEY_DELETED, SetText(parent.get(), u"kept", u"y"));

    Create(key.get(), u"Tree\\A\\B\\C");
    unique_hkey tree = Create(key.get(), u"Tree");
    ASSERT_EQ(ERROR_SUCCESS, SetText(tree.get(), u"v", u"x"));
    // A null subkey empties the key and keeps it.
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeW(tree.get(), nullptr));
    EXPECT_TRUE(Subkeys(tree.get()).empty());
    EXPECT_EQ(u"error 2", Text(key.get(), u"Tree", u"v"));
    Create(key.get(), u"Tree\\A\\B");
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeW(key.get(), u"Tree"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteTreeW(key.get(), u"Tree"));
    EXPECT_EQ((std::vector<std::u16string>{u"Parent"}), Subkeys(key.get()));
    // Windows' predefined keys are never deleted.
    EXPECT_NE(ERROR_SUCCESS, RegDeleteKeyW(HKEY_CURRENT_USER, u""));

    unique_hkey readOnly;
    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_CURRENT_USER, name, KEY_READ, readOnly));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteTreeW(readOnly.get(), u"Parent"));
}

TEST(Registry, ClassesRootMergesPerUserOverPerMachine) {
    std::u16string clsid = TestKey(u"CLSID\\");
    unique_hkey machine = Create(HKEY_LOCAL_MACHINE, u"Software\\Classes\\" + clsid);
    ASSERT_EQ(ERROR_SUCCESS, SetText(machine.get(), nullptr, u"machine"));
    Create(machine.get(), u"InprocServer32");
    Create(machine.get(), u"MachineOnly");

    // Only the machine has it: the view shows the machine's key.
    EXPECT_EQ(u"machine", Text(HKEY_CLASSES_ROOT, clsid, nullptr));

    unique_hkey user = Create(HKEY_CURRENT_USER, u"Software\\Classes\\" + clsid);
    Create(user.get(), u"InprocServer32");
    Create(user.get(), u"UserOnly");
    // The per-user key is there: its values win, its subkeys join the machine's.
    EXPECT_EQ(u"error 2", Text(HKEY_CLASSES_ROOT, clsid, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, SetText(user.get(), nullptr, u"user"));
    EXPECT_EQ(u"user", Text(HKEY_CLASSES_ROOT, clsid, nullptr));
    unique_hkey merged;
    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_CLASSES_ROOT, clsid, KEY_ALL_ACCESS, merged));
    EXPECT_EQ((std::vector<std::u16string>{u"InprocServer32", u"MachineOnly", u"UserOnly"}),
              Subkeys(merged.get()));

    // A value written through the view goes to the per-user key that exists;
    // a new key goes to the machine's classes.
    ASSERT_EQ(ERROR_SUCCESS, SetText(merged.get(), u"AppID", u"{app}"));
    EXPECT_EQ(u"{app}", Text(HKEY_CURRENT_USER, u"Software\\Classes\\" + clsid, u"AppID"));
    EXPECT_EQ(u"error 2", Text(HKEY_LOCAL_MACHINE, u"Software\\Classes\\" + clsid, u"AppID"));
    Create(merged.get(), u"NewKey");
    unique_hkey probe;
    EXPECT_EQ(ERROR_SUCCESS, Open(HKEY_LOCAL_MACHINE, u"Software\\Classes\\" + clsid + u"\\NewKey",
                                  KEY_READ, probe));
    EXPECT_EQ(
        ERROR_FILE_NOT_FOUND,
        Open(HKEY_CURRENT_USER, u"Software\\Classes\\" + clsid + u"\\NewKey", KEY_READ, probe));

    // Deleting through the view takes the per-user key; the machine's shows again.
    ASSERT_EQ(ERROR_SUCCESS,
              RegDeleteTreeW(HKEY_CURRENT_USER, (u"Software\\Classes\\" + clsid).c_str()));
    EXPECT_EQ(u"machine", Text(HKEY_CLASSES_ROOT, clsid, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_CLASSES_ROOT, clsid.c_str()));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Open(HKEY_CLASSES_ROOT, clsid, KEY_READ, probe));
}

TEST(Registry, ReadOnlyMachineRefusesWritesAsForAUserWithoutAdministratorRights) {
    std::u16string name = TestKey();
    std::u16string clsid = TestKey(u"CLSID\\");
    Create(HKEY_LOCAL_MACHINE, name);
    Create(HKEY_CURRENT_USER, u"Software\\Classes\\" + clsid);
    ReadOnlyMachine readOnly;

    unique_hkey key;
    EXPECT_EQ(ERROR_SUCCESS, Open(HKEY_LOCAL_MACHINE, name, KEY_READ, key));
    EXPECT_EQ(ERROR_ACCESS_DENIED, Open(HKEY_LOCAL_MACHINE, name, KEY_READ | KEY_WRITE, key));
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegCreateKeyExW(HKEY_LOCAL_MACHINE, (name + u"\\New").c_str(), 0, nullptr, 0,
                              KEY_READ | KEY_WRITE, nullptr, key.put(), nullptr));
    EXPECT_EQ(ERROR_ACCESS_DENIED, SetDword(HKEY_LOCAL_MACHINE, u"v", 1));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(HKEY_LOCAL_MACHINE, name.c_str()));
    // The classes view: a new key would go to the machine; a per-user key takes values.
    EXPECT_EQ(ERROR_ACCESS_DENIED,
              RegCreateKeyExW(HKEY_CLASSES_ROOT, TestKey(u"NewClass\\").c_str(), 0, nullptr, 0,
                              KEY_WRITE, nullptr, key.put(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_CLASSES_ROOT, clsid, KEY_WRITE, key));
    EXPECT_EQ(ERROR_SUCCESS, SetText(key.get(), nullptr, u"per user"));
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, name.c_str(), 0, nullptr, 0,
                                             KEY_WRITE, nullptr, key.put(), nullptr));
}

TEST(Registry, AnotherProcessReadsWhatThisOneWroteAndTheReverse) {
    std::u16string name = TestKey();
    unique_hkey key = Create(HKEY_LOCAL_MACHINE, name);
    ASSERT_EQ(ERROR_SUCCESS, SetText(key.get(), u"Greeting", u"hello"));
    std::string keyName(name.begin(), name.end());

    auto run = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), REGISTRY_PEER);
        return vexlo::test::Spawn(arguments).Wait(std::chrono::seconds(20));
    };
    EXPECT_EQ(0, run({"expect", "HKLM", keyName, "greeting", "hello"}));
    EXPECT_EQ(1, run({"expect", "HKLM", keyName, "greeting", "bye"}));
    EXPECT_EQ(0, run({"write", "HKCU", keyName, "Answer", "from the peer"}));
    EXPECT_EQ(u"from the peer", Text(HKEY_CURRENT_USER, name, u"answer"));
}

TEST(Registry, WritersOfSeveralThreadsAndProcessesLoseNothing) {
    std::u16string name = TestKey();
    std::string keyName(name.begin(), name.end());
    constexpr int kEach = 20;
    std::vector<vexlo::test::ChildProcess> peers;
    for (const char* sub : {"\\P1", "\\P2"}) {
        peers.push_back(vexlo::test::Spawn(
            {REGISTRY_PEER, "fill", "HKCU", keyName + sub, std::to_string(kEach)}));
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            unique_hkey key = Create(HKEY_CURRENT_USER, name + u"\\T" + char16_t(u'0' + t));
            for (int i = 0; i < kEach; ++i) {
                SetDword(key.get(), vexlo::test::Wide("v" + std::to_string(i)).c_str(),
                         static_cast<DWORD>(i));
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (auto& peer : peers) {
        EXPECT_EQ(0, peer.Wait(std::chrono::seconds(60)));
    }
    unique_hkey key;
    ASSERT_EQ(ERROR_SUCCESS, Open(HKEY_CURRENT_USER, name, KEY_READ, key));
    ASSERT_EQ(5u, Subkeys(key.get()).size());
    for (const auto& sub : Subkeys(key.get())) {
        unique_hkey child;
        ASSERT_EQ(ERROR_SUCCESS, Open(key.get(), sub, KEY_READ, child));
        DWORD values = 0;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegQueryInfoKeyW(child.get(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, &values, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(static_cast<DWORD>(kEach), values) << std::string(sub.begin(), sub.end());
    }
}

TEST(Registry, AHiveFileThatIsNotAHiveIsRefusedNotTrusted) {
    // A separate session, so that the damaged file harms no other test.
    vexlo::test::TempDir session;
    std::filesystem::create_directories(session.path() / "registry");
    const std::string garbage[] = {"", "W32HIVE1",
                                   std::string("W32HIVE1\x01\0\0\0\0\0\0\0\xff\xff\xff\x7f", 20),
                                   std::string(100000, '\xff')};
    for (const std::string& bytes : garbage) {
        vexlo::test::WriteFileBytes(session.path() / "registry" / "user.hive", bytes);
        // The peer's write fails (ERROR_BADDB) and the peer says so.
        EXPECT_EQ(1, vexlo::test::Spawn({REGISTRY_PEER, "write", "HKCU", "Software\\X", "v", "t"},
                                        {{"W32_SESSION", session.native()}})
                         .Wait(std::chrono::seconds(20)));
    }
}

}  // namespace
