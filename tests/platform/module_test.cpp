// Windows module names and the handles of the stand-in's modules.
#include <windows.h>

#include <gtest/gtest.h>

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
