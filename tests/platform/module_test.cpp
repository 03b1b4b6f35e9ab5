// Windows module names, the handles of the stand-in's modules and the
// resources registered into them.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

void ResourceAnchor() {}

// Registers a resource of this program's module.
void Register(UINT id, const std::u16string& text) {
    W32RegisterResource(reinterpret_cast<const void*>(&ResourceAnchor), RT_RCDATA,
                        MAKEINTRESOURCEW(id), text.c_str(),
                        static_cast<DWORD>(text.size() * sizeof(char16_t)));
}

std::u16string Read(HRSRC resource) {
    auto* data = static_cast<const char16_t*>(LockResource(LoadResource(nullptr, resource)));
    return std::u16string(data, SizeofResource(nullptr, resource) / sizeof(char16_t));
}

}  // namespace

TEST(Modules, TheSystemModulesAreTheRuntimeAndMappedFromTheStart) {
    // Mapped into every process: found without loading, with or without ".dll".
    HMODULE user32 = GetModuleHandleW(u"USER32");
    ASSERT_NE(user32, nullptr);
    EXPECT_EQ(GetModuleHandleW(u"user32.dll"), user32);
    EXPECT_EQ(GetModuleHandleW(u"KERNEL32.DLL"), user32);
    HMODULE fromAddress = nullptr;
    ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                   reinterpret_cast<LPCWSTR>(&SendMessageW), &fromAddress));
    EXPECT_EQ(fromAddress, user32);
    EXPECT_NE(user32, GetModuleHandleW(nullptr));
}

TEST(Modules, ChangeWindowMessageFilterIsFoundTheWayTheAgentLooksForIt) {
    HMODULE user32 = LoadLibraryW(u"USER32.dll");
    ASSERT_NE(user32, nullptr);
    EXPECT_EQ(user32, GetModuleHandleW(u"user32"));
    using Filter = BOOL(WINAPI*)(UINT, DWORD);
    // Through void(*)(): GCC warns on a direct cast between function types.
    auto filter = reinterpret_cast<Filter>(
        reinterpret_cast<void (*)()>(GetProcAddress(user32, "ChangeWindowMessageFilter")));
    ASSERT_NE(filter, nullptr);
    EXPECT_TRUE(filter(WM_COPYDATA, MSGFLT_ADD));
    EXPECT_EQ(GetProcAddress(user32, "NoSuchFunction"), nullptr);
    EXPECT_TRUE(FreeLibrary(user32));
}

TEST(Modules, OtherNamesAreLowerCaseLibrariesBesideTheRuntime) {
    HMODULE twain = LoadLibraryA("TWAIN_32.DLL");  // libtwain_32.so
    ASSERT_NE(twain, nullptr);
    EXPECT_NE(GetProcAddress(twain, "DSM_Entry"), nullptr);
    EXPECT_EQ(GetModuleHandleW(u"twain_32.dll"), twain);
    EXPECT_TRUE(FreeLibrary(twain));
    EXPECT_EQ(LoadLibraryA("NO_SUCH_LIBRARY.DLL"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(Modules, AResourceHandleStaysValidWhileMoreResourcesAreRegistered) {
    static const std::u16string first = u"первый";
    Register(9000, first);
    HMODULE self = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(self, MAKEINTRESOURCEW(9000), RT_RCDATA);
    ASSERT_NE(found, nullptr);

    static std::vector<std::u16string> more;
    for (UINT id = 9001; id < 9401; ++id) {
        more.push_back(u"resource " + std::u16string(1, static_cast<char16_t>(u'a' + id % 26)));
    }
    for (UINT id = 9001; id < 9401; ++id) {
        Register(id, more[id - 9001]);
    }
    EXPECT_EQ(Read(found), first);
    EXPECT_EQ(FindResourceW(self, MAKEINTRESOURCEW(9000), RT_RCDATA), found);
    HRSRC last = FindResourceW(self, MAKEINTRESOURCEW(9400), RT_RCDATA);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(Read(last), more.back());

    SetLastError(0);
    EXPECT_EQ(FindResourceW(self, MAKEINTRESOURCEW(9401), RT_RCDATA), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}
