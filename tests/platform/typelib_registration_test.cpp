// Type library registration: the TypeLib and Interface keys written per
// machine or per user, found again by LoadRegTypeLib, and removed.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

struct ISample : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE ping() = 0;
};

constexpr GUID kLibId = {
    0x8D3E4F50, 0x4444, 0x4555, {0xB6, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0x01}};
constexpr IID kSampleIid = {
    0x8D3E4F50, 0x4444, 0x4555, {0xB6, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0x02}};
constexpr IID kEventsIid = {
    0x8D3E4F50, 0x4444, 0x4555, {0xB6, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0x03}};
constexpr CLSID kSampleClsid = {
    0x8D3E4F50, 0x4444, 0x4555, {0xB6, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0x04}};

const W32_FUNC_DATA kSampleFuncs[] = {
    {1, u"ping", INVOKE_FUNC, nullptr, 0, W32_MEMBER(&ISample::ping)}};
const W32_IMPL_DATA kSampleImpls[] = {{kSampleIid, IMPLTYPEFLAG_FDEFAULT},
                                      {kEventsIid, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}};
const W32_TYPE_DATA kTypes[] = {
    {TKIND_INTERFACE, kSampleIid, u"ISample", u"ISample Interface", TYPEFLAG_FDUAL, kSampleFuncs, 1,
     nullptr, 0},
    {TKIND_DISPATCH, kEventsIid, u"DSampleEvents", nullptr, 0, nullptr, 0, nullptr, 0},
    {TKIND_COCLASS, kSampleClsid, u"Sample", u"Sample Class", TYPEFLAG_FCANCREATE, nullptr, 0,
     kSampleImpls, 2},
};
const W32_TYPELIB_DATA kLibrary = {W32_TYPELIB_MAGIC,
                                   W32_TYPELIB_FORMAT,
                                   kLibId,
                                   u"SampleLib",
                                   u"Sample 1.0 Type Library",
                                   1,
                                   0,
                                   0,
                                   0,
                                   kTypes,
                                   3};
W32_TYPELIB_RESOURCE(kLibrary)

std::u16string ProgramPath() {
    OLECHAR path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::u16string(path, length);
}

std::u16string Guid(REFGUID guid) {
    OLECHAR text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}

// The text of a value, "missing" when the key or value is not there.
std::u16string Text(HKEY root, const std::u16string& keyName, const char16_t* name = nullptr) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, keyName.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return u"missing";
    }
    char16_t buffer[512] = {};
    DWORD size = sizeof(buffer) - sizeof(char16_t);
    LONG status =
        RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? std::u16string(buffer) : u"missing";
}

bool Exists(HKEY root, const std::u16string& keyName) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, keyName.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

class TypeLibRegistration : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(LoadTypeLibEx(ProgramPath().c_str(), REGKIND_NONE, &library), S_OK);
    }
    void TearDown() override {
        W32SetMachineRegistryReadOnly(FALSE);
        UnRegisterTypeLib(kLibId, 1, 0, 0, SYS_WIN32);
        UnRegisterTypeLibForUser(kLibId, 1, 0, 0, SYS_WIN32);
        library->Release();
    }

    ITypeLib* library = nullptr;
    const std::u16string libKey = u"TypeLib\\" + Guid(kLibId);
    const std::u16string versionKey = libKey + u"\\1.0";
    const std::u16string sampleKey = u"Interface\\" + Guid(kSampleIid);
    const std::u16string eventsKey = u"Interface\\" + Guid(kEventsIid);
};

TEST_F(TypeLibRegistration, WritesTheLibraryAndItsInterfacesPerMachine) {
    std::u16string path = ProgramPath();
    ASSERT_EQ(RegisterTypeLib(library, path.c_str(), nullptr), S_OK);
    struct Expected {
        std::u16string key;
        const char16_t* value;
        std::u16string text;
    };
    const std::u16string folder = path.substr(0, path.rfind(u'/'));
    const Expected expected[] = {
        {versionKey, nullptr, u"Sample 1.0 Type Library"},
        {versionKey + u"\\FLAGS", nullptr, u"0"},
        {versionKey + u"\\HELPDIR", nullptr, folder},
        {versionKey + u"\\0\\win32", nullptr, path},
        {sampleKey, nullptr, u"ISample"},
        {sampleKey + u"\\ProxyStubClsid", nullptr, Guid(CLSID_PSOAInterface)},
        {sampleKey + u"\\ProxyStubClsid32", nullptr, Guid(CLSID_PSOAInterface)},
        {sampleKey + u"\\TypeLib", nullptr, Guid(kLibId)},
        {sampleKey + u"\\TypeLib", u"Version", u"1.0"},
        {eventsKey, nullptr, u"DSampleEvents"},
        {eventsKey + u"\\ProxyStubClsid32", nullptr, Guid(CLSID_PSDispatch)},
        {u"Software\\Classes\\" + versionKey + u"\\0\\win32", nullptr, path},
    };
    for (const Expected& e : expected) {
        HKEY root = e.key.rfind(u"Software\\", 0) == 0 ? HKEY_LOCAL_MACHINE : HKEY_CLASSES_ROOT;
        EXPECT_EQ(Text(root, e.key, e.value), e.text);
    }
    // The coclass is not an interface.
    EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, u"Interface\\" + Guid(kSampleClsid)));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"Software\\Classes\\" + libKey));
}

TEST_F(TypeLibRegistration, LoadRegTypeLibFindsTheRegisteredVersion) {
    ITypeLib* found = reinterpret_cast<ITypeLib*>(1);
    EXPECT_EQ(LoadRegTypeLib(kLibId, 1, 0, LOCALE_USER_DEFAULT, &found), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(found, nullptr);
    ASSERT_EQ(RegisterTypeLib(library, ProgramPath().c_str(), nullptr), S_OK);
    ASSERT_EQ(LoadRegTypeLib(kLibId, 1, 0, LOCALE_USER_DEFAULT, &found), S_OK);
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(found->GetLibAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, kLibId);
    found->ReleaseTLibAttr(attr);
    ITypeInfo* info = nullptr;
    EXPECT_EQ(found->GetTypeInfoOfGuid(kSampleIid, &info), S_OK);
    info->Release();
    found->Release();
    // Another major version, or a higher minor one, is not registered.
    EXPECT_EQ(LoadRegTypeLib(kLibId, 2, 0, 0, &found), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(LoadRegTypeLib(kLibId, 1, 1, 0, &found), TYPE_E_LIBNOTREGISTERED);
}

TEST_F(TypeLibRegistration, UnregisterRemovesWhatRegistrationWrote) {
    // An interface of another library stays.
    HKEY other = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_CLASSES_ROOT, u"Interface\\{00000000-1111-2222-3333-444444444444}", 0,
                        nullptr, 0, KEY_WRITE, nullptr, &other, nullptr),
        ERROR_SUCCESS);
    RegCloseKey(other);
    ASSERT_EQ(RegisterTypeLib(library, ProgramPath().c_str(), nullptr), S_OK);
    ASSERT_EQ(UnRegisterTypeLib(kLibId, 1, 0, 0, SYS_WIN32), S_OK);
    EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, libKey));
    EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, sampleKey));
    EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, eventsKey));
    EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, u"Interface\\{00000000-1111-2222-3333-444444444444}"));
    EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, u"Interface"));
    EXPECT_EQ(UnRegisterTypeLib(kLibId, 1, 0, 0, SYS_WIN32), TYPE_E_REGISTRYACCESS);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, u"Interface\\{00000000-1111-2222-3333-444444444444}");
}

TEST_F(TypeLibRegistration, PerUserWritesTheUsersClassesEvenWithoutAdministratorRights) {
    W32SetMachineRegistryReadOnly(TRUE);
    std::u16string path = ProgramPath();
    EXPECT_EQ(RegisterTypeLib(library, path.c_str(), nullptr), TYPE_E_REGISTRYACCESS);
    ASSERT_EQ(RegisterTypeLibForUser(library, path.data(), nullptr), S_OK);
    EXPECT_EQ(Text(HKEY_CURRENT_USER, u"Software\\Classes\\" + versionKey + u"\\0\\win32"), path);
    EXPECT_EQ(Text(HKEY_CLASSES_ROOT, sampleKey + u"\\TypeLib"), Guid(kLibId));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, u"Software\\Classes\\" + libKey));
    ITypeLib* found = nullptr;
    ASSERT_EQ(LoadRegTypeLib(kLibId, 1, 0, 0, &found), S_OK);
    found->Release();
    ASSERT_EQ(UnRegisterTypeLibForUser(kLibId, 1, 0, 0, SYS_WIN32), S_OK);
    EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, libKey));
    EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, sampleKey));
}

TEST_F(TypeLibRegistration, LoadTypeLibExRegistersOnRequest) {
    ITypeLib* loaded = nullptr;
    ASSERT_EQ(LoadTypeLibEx(ProgramPath().c_str(), REGKIND_NONE, &loaded), S_OK);
    loaded->Release();
    EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, libKey));
    ASSERT_EQ(LoadTypeLibEx(ProgramPath().c_str(), REGKIND_REGISTER, &loaded), S_OK);
    loaded->Release();
    EXPECT_EQ(Text(HKEY_CLASSES_ROOT, versionKey + u"\\0\\win32"), ProgramPath());
}

}  // namespace
