// Registration of the add-on by its own exports, compared key by key with
// what the add-on must write, per machine and per user; registering twice,
// unregistering, and the class object and unload exports.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "addon_support.h"
#include "framework/text.h"
#include "plugins/ie/vexlo_ids.h"

namespace vexlo::test {
namespace {

const std::u16string kClsid = u"{CBE55E29-1D13-4C84-9E4E-EC02AEFAD4A4}";
const std::u16string kLibId = u"{F056BCBE-7BE4-492E-BD95-1FCE4B51064C}";
const std::u16string kAppId = u"{12D1B308-5A6A-49A2-9AF4-459200D621DB}";
const std::u16string kBhoKey =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\explorer\\Browser Helper Objects\\" + kClsid;

// Every key under a key, each value as "path|name=data" (texts as they
// are, numbers in decimal); the key's own path is left out.
using Listing = std::map<std::u16string, std::u16string>;

void ListKey(HKEY key, const std::u16string& path, Listing* out) {
    for (DWORD i = 0;; ++i) {
        char16_t name[256];
        DWORD nameLength = 256;
        BYTE data[2048];
        DWORD dataSize = sizeof(data);
        DWORD type = 0;
        if (::RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &dataSize) !=
            ERROR_SUCCESS) {
            break;
        }
        std::u16string text;
        if (type == REG_SZ) {
            text = std::u16string(reinterpret_cast<const char16_t*>(data), dataSize / 2);
            while (!text.empty() && text.back() == 0) {
                text.pop_back();
            }
        } else if (type == REG_DWORD) {
            DWORD number = 0;
            memcpy(&number, data, sizeof(number));
            text = u"dword:" + fw::ToWide(CP_UTF8, std::to_string(number));
        }
        (*out)[path + u"|" + std::u16string(name, nameLength)] = text;
    }
    (*out)[path] = u"(key)";
    for (DWORD i = 0;; ++i) {
        char16_t name[256];
        DWORD nameLength = 256;
        if (::RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        std::u16string child(name, nameLength);
        HKEY sub = nullptr;
        if (::RegOpenKeyExW(key, child.c_str(), 0, KEY_READ, &sub) == ERROR_SUCCESS) {
            ListKey(sub, path + u"\\" + child, out);
            ::RegCloseKey(sub);
        }
    }
}

// The listing of one key under a root, empty when the key is missing.
Listing List(HKEY root, const std::u16string& path) {
    Listing listing;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        ListKey(key, path, &listing);
        ::RegCloseKey(key);
    }
    return listing;
}

bool Exists(HKEY root, const std::u16string& path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    ::RegCloseKey(key);
    return true;
}

// What registration writes under the classes root.
Listing Expected(const std::u16string& classes) {
    const std::u16string c = classes + u"\\";
    const std::u16string cls = c + u"CLSID\\" + kClsid;
    return {
        {c + u"Vexlo.BHO.1", u"(key)"},
        {c + u"Vexlo.BHO.1|", u"VexloBHO class"},
        {c + u"Vexlo.BHO.1\\CLSID", u"(key)"},
        {c + u"Vexlo.BHO.1\\CLSID|", kClsid},
        {c + u"Vexlo.BHO", u"(key)"},
        {c + u"Vexlo.BHO|", u"VexloBHO class"},
        {c + u"Vexlo.BHO\\CLSID", u"(key)"},
        {c + u"Vexlo.BHO\\CLSID|", kClsid},
        {c + u"Vexlo.BHO\\CurVer", u"(key)"},
        {c + u"Vexlo.BHO\\CurVer|", u"Vexlo.BHO.1"},
        {cls, u"(key)"},
        {cls + u"|", u"VexloBHO Class"},
        {cls + u"|AppID", kAppId},
        {cls + u"\\ProgID", u"(key)"},
        {cls + u"\\ProgID|", u"Vexlo.BHO.1"},
        {cls + u"\\VersionIndependentProgID", u"(key)"},
        {cls + u"\\VersionIndependentProgID|", u"Vexlo.BHO"},
        {cls + u"\\Programmable", u"(key)"},
        {cls + u"\\InprocServer32", u"(key)"},
        {cls + u"\\InprocServer32|", AddOnPath()},
        {cls + u"\\InprocServer32|ThreadingModel", u"Apartment"},
        {cls + u"\\TypeLib", u"(key)"},
        {cls + u"\\TypeLib|", kLibId},
    };
}

// The add-on's keys under a classes root: its ProgIDs and its class.
Listing Written(HKEY root, const std::u16string& classes) {
    Listing all;
    for (const std::u16string& key :
         {std::u16string(u"Vexlo.BHO.1"), std::u16string(u"Vexlo.BHO"), u"CLSID\\" + kClsid}) {
        Listing part = List(root, classes + u"\\" + key);
        all.insert(part.begin(), part.end());
    }
    return all;
}

using RegistrationTest = AddOnTest;

TEST_F(RegistrationTest, PerMachineRegistrationWritesTheClassTheTypeLibraryAndTheHelperKey) {
    ASSERT_EQ(exports.registerServer(), S_OK);
    EXPECT_EQ(Written(HKEY_LOCAL_MACHINE, u"Software\\Classes"), Expected(u"Software\\Classes"));
    EXPECT_TRUE(Written(HKEY_CURRENT_USER, u"Software\\Classes").empty());
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, u"Software\\Classes\\TypeLib\\" + kLibId));
    EXPECT_EQ(List(HKEY_LOCAL_MACHINE, kBhoKey),
              (Listing{{kBhoKey, u"(key)"}, {kBhoKey + u"|NoExplorer", u"dword:1"}}));
    EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, u"AppID\\" + kAppId)) << "no AppID key";

    // The class is found through the registry and made from this library.
    fw::CComPtr<IUnknown> object;
    EXPECT_EQ(::CoCreateInstance(CLSID_VexloPlugin, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                 reinterpret_cast<void**>(&object)),
              S_OK);
}

TEST_F(RegistrationTest, PerUserRegistrationForUserInAnyCaseWritesUnderTheUsersClasses) {
    ASSERT_EQ(exports.install(TRUE, u"User"), S_OK);
    EXPECT_EQ(Written(HKEY_CURRENT_USER, u"Software\\Classes"), Expected(u"Software\\Classes"));
    EXPECT_TRUE(Written(HKEY_LOCAL_MACHINE, u"Software\\Classes").empty());
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, u"Software\\Classes\\TypeLib\\" + kLibId));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, u"Software\\Classes\\TypeLib\\" + kLibId));
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, kBhoKey)) << "the helper key stays per machine";

    ASSERT_EQ(exports.install(FALSE, u"user"), S_OK);
    EXPECT_TRUE(Written(HKEY_CURRENT_USER, u"Software\\Classes").empty());
}

TEST_F(RegistrationTest, ALongerWordThatBeginsWithUserRegistersPerMachine) {
    ASSERT_EQ(exports.install(TRUE, u"users"), S_OK);
    EXPECT_EQ(Written(HKEY_LOCAL_MACHINE, u"Software\\Classes"), Expected(u"Software\\Classes"));
    EXPECT_TRUE(Written(HKEY_CURRENT_USER, u"Software\\Classes").empty());
    ASSERT_EQ(exports.install(TRUE, nullptr), S_OK);
}

TEST_F(RegistrationTest, WithoutRightsOnTheMachinePerUserRegistrationGoesOnWithoutTheHelperKey) {
    ::W32SetMachineRegistryReadOnly(TRUE);
    EXPECT_EQ(exports.install(TRUE, u"user"), S_OK);
    ::W32SetMachineRegistryReadOnly(FALSE);
    EXPECT_EQ(Written(HKEY_CURRENT_USER, u"Software\\Classes"), Expected(u"Software\\Classes"));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, kBhoKey));
}

TEST_F(RegistrationTest, RegisteringTwiceGivesTheSameRegistry) {
    ASSERT_EQ(exports.registerServer(), S_OK);
    Listing once = List(HKEY_LOCAL_MACHINE, u"Software");
    // A stale entry under the class key goes with the second registration.
    HKEY stale = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                                (u"Software\\Classes\\CLSID\\" + kClsid + u"\\Stale").c_str(), 0,
                                nullptr, 0, KEY_ALL_ACCESS, nullptr, &stale, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(stale);
    ASSERT_EQ(exports.registerServer(), S_OK);
    EXPECT_EQ(List(HKEY_LOCAL_MACHINE, u"Software"), once);
}

TEST_F(RegistrationTest, UnregisteringRemovesTheClassAndTypeLibraryAndLeavesTheHelperKey) {
    // Another class's key under CLSID stays.
    HKEY other = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Classes\\CLSID\\{other}", 0,
                                nullptr, 0, KEY_ALL_ACCESS, nullptr, &other, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(other);
    ASSERT_EQ(exports.registerServer(), S_OK);
    ASSERT_EQ(exports.unregisterServer(), S_OK);
    EXPECT_TRUE(Written(HKEY_LOCAL_MACHINE, u"Software\\Classes").empty());
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, u"Software\\Classes\\TypeLib\\" + kLibId));
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, u"Software\\Classes\\CLSID\\{other}"));
    EXPECT_EQ(List(HKEY_LOCAL_MACHINE, kBhoKey),
              (Listing{{kBhoKey, u"(key)"}, {kBhoKey + u"|NoExplorer", u"dword:1"}}));
}

TEST_F(RegistrationTest, TheClassObjectIsFoundOnlyForTheHelperAndUnloadWaitsForEveryLock) {
    fw::CComPtr<IClassFactory> factory;
    EXPECT_EQ(exports.getClassObject(CLSID_VexloPlugin, IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(exports.getClassObject(CLSID_VexloStatusCallback, IID_IClassFactory,
                                     reinterpret_cast<void**>(&factory)),
              CLASS_E_CLASSNOTAVAILABLE);
    ASSERT_EQ(exports.getClassObject(CLSID_VexloPlugin, IID_IClassFactory,
                                     reinterpret_cast<void**>(&factory)),
              S_OK);
    EXPECT_EQ(exports.canUnloadNow(), S_OK) << "a class object alone holds no lock";

    ASSERT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(exports.canUnloadNow(), S_FALSE);
    ASSERT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(exports.canUnloadNow(), S_OK);

    fw::CComPtr<IUnknown> object;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)),
              S_OK);
    EXPECT_EQ(exports.canUnloadNow(), S_FALSE) << "a live object";
    object.Release();
    EXPECT_EQ(exports.canUnloadNow(), S_OK);
}

TEST_F(RegistrationTest, PageAndStatusObjectsHoldTheModuleToo) {
    ASSERT_NO_FATAL_FAILURE(StartBrowserHelper());
    browser->Navigate();
    fw::CComPtr<IUnknown> bho(helper);
    helper->SetSite(nullptr);
    helper.Release();
    bho.Release();
    EXPECT_EQ(exports.canUnloadNow(), S_FALSE) << "the page object lives in its window";
    browser->Load(false);
    EXPECT_EQ(exports.canUnloadNow(), S_OK);
}

}  // namespace
}  // namespace vexlo::test
