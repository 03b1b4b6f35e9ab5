// Modules and their resource tables.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "test_resources.h"

TEST(Modules, User32IsTheRuntimeAndChangeWindowMessageFilterIsFoundThere) {
    HMODULE user32 = LoadLibraryW(u"USER32.dll");
    ASSERT_NE(user32, nullptr);
    EXPECT_EQ(LoadLibraryA("kernel32.DLL"), user32);
    using Filter = BOOL(WINAPI*)(UINT, DWORD);
    // Through void(*)(): GCC warns on a direct cast between function types.
    auto filter = reinterpret_cast<Filter>(
        reinterpret_cast<void (*)()>(GetProcAddress(user32, "ChangeWindowMessageFilter")));
    ASSERT_NE(filter, nullptr);
    EXPECT_TRUE(filter(WM_COPYDATA, MSGFLT_ADD));
    EXPECT_EQ(GetProcAddress(user32, "NoSuchFunction"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_TRUE(FreeLibrary(user32));
    EXPECT_TRUE(FreeLibrary(user32));
}

TEST(Modules, OtherNamesMapToLowerCaseSharedLibraries) {
    EXPECT_EQ(LoadLibraryA("TWAIN_32.DLL"), nullptr);  // libtwain_32.so is not built here
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    HMODULE rt = LoadLibraryA("libw32rt.so");
    ASSERT_NE(rt, nullptr);
    EXPECT_EQ(rt, GetModuleHandleW(u"user32.dll"));
    EXPECT_TRUE(FreeLibrary(rt));
    EXPECT_FALSE(FreeLibrary(reinterpret_cast<HMODULE>(0x12345678)));
}

TEST(Modules, FileNamesAndHandles) {
    HMODULE self = GetModuleHandleW(nullptr);
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(self, GetModuleHandleW(nullptr));
    char16_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    ASSERT_GT(n, 0u);
    std::u16string p(path, n);
    EXPECT_EQ(p.substr(p.rfind(u'/') + 1), u"platform_window_test");
    char16_t tiny[5];
    EXPECT_EQ(GetModuleFileNameW(nullptr, tiny, 5), 5u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(tiny[4], 0);
    HMODULE fromAddress = nullptr;
    ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                   reinterpret_cast<LPCWSTR>(&SendMessageW), &fromAddress));
    EXPECT_EQ(fromAddress, GetModuleHandleW(u"USER32"));
    EXPECT_NE(fromAddress, self);
    n = GetModuleFileNameW(fromAddress, path, MAX_PATH);
    p.assign(path, n);
    EXPECT_EQ(p.substr(p.rfind(u'/') + 1), u"libw32rt.so");
}

TEST(Resources, LookedUpByModuleTypeAndName) {
    HMODULE self = GetModuleHandleW(nullptr);
    HRSRC r = FindResourceW(self, MAKEINTRESOURCEW(1), RT_VERSION);
    ASSERT_NE(r, nullptr);
    auto* v = static_cast<const W32_VERSION_RESOURCE*>(LockResource(LoadResource(self, r)));
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(HIWORD(v->fileVersionLS), 81);
    EXPECT_EQ(LOWORD(v->fileVersionLS), 91);
    EXPECT_EQ(std::u16string(v->strings[1].value), u"application/agent_vexlo");
    EXPECT_EQ(SizeofResource(self, r), sizeof(W32_VERSION_RESOURCE));
    HRSRC script = FindResourceW(self, MAKEINTRESOURCEW(102), u"registry");
    ASSERT_NE(script, nullptr);
    EXPECT_EQ(
        std::u16string(static_cast<const W32_REGISTRY_SCRIPT*>(LoadResource(self, script))->text)
            .substr(0, 4),
        u"HKCR");
    EXPECT_NE(FindResourceW(self, u"#133", RT_DIALOG), nullptr);
    EXPECT_EQ(FindResourceW(self, MAKEINTRESOURCEW(134), RT_DIALOG), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    // The runtime's own table has none of the program's resources.
    EXPECT_EQ(FindResourceW(GetModuleHandleW(u"user32.dll"), MAKEINTRESOURCEW(133), RT_DIALOG),
              nullptr);
    HRSRC ru = FindResourceExW(self, RT_DIALOG, MAKEINTRESOURCEW(133), LANG_RU_RU);
    EXPECT_EQ(ru, FindResourceW(self, MAKEINTRESOURCEW(133), RT_DIALOG));
}

TEST(Resources, StringsAreCutToTheBuffer) {
    HMODULE self = GetModuleHandleW(nullptr);
    char16_t buf[64];
    EXPECT_EQ(LoadStringW(self, 7, buf, 64), 11);
    EXPECT_EQ(std::u16string(buf), u"Агент Vexlo");
    EXPECT_EQ(LoadStringW(self, 7, buf, 6), 5);
    EXPECT_EQ(std::u16string(buf), u"Агент");
    const char16_t* direct = nullptr;
    EXPECT_EQ(LoadStringW(self, 8, reinterpret_cast<LPWSTR>(&direct), 0), 5);
    EXPECT_EQ(std::u16string(direct, 5), u"Build");
    EXPECT_EQ(LoadStringW(self, 9, buf, 64), 0);
    EXPECT_EQ(buf[0], 0);
}
