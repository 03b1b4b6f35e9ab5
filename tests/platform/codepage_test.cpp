#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::string ToMultiByte(UINT page, const std::u16string& text, BOOL* usedDefault = nullptr,
                        const char* defaultChar = nullptr) {
    int needed = WideCharToMultiByte(page, 0, text.c_str(), static_cast<int>(text.size()), nullptr,
                                     0, defaultChar, usedDefault);
    std::string out(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(page, 0, text.c_str(), static_cast<int>(text.size()), out.data(), needed,
                        defaultChar, usedDefault);
    return out;
}

std::u16string ToWide(UINT page, const std::string& bytes, DWORD flags = 0) {
    int needed =
        MultiByteToWideChar(page, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::u16string out(static_cast<size_t>(needed), u'\0');
    MultiByteToWideChar(page, flags, bytes.data(), static_cast<int>(bytes.size()), out.data(),
                        needed);
    return out;
}

TEST(CodePages, Utf8RoundTripsWithSurrogatePairs) {
    std::u16string text = u"Скан 😀 ok";
    std::string bytes = ToMultiByte(CP_UTF8, text);
    EXPECT_EQ(bytes, "Скан 😀 ok");
    EXPECT_EQ(ToWide(CP_UTF8, bytes), text);
}

TEST(CodePages, InvalidUtf8BecomesTheReplacementCharacterOrFailsWhenAsked) {
    EXPECT_EQ(ToWide(CP_UTF8, "a\xC3"), u"a\xFFFD");
    EXPECT_EQ(ToWide(CP_UTF8, "\xE0\x80\x80"), u"\xFFFD");  // overlong
    std::string bad =
        "a\xFF"
        "b";
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bad.data(), 3, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

TEST(CodePages, Cp1251MapsCyrillicAndUsesTheDefaultCharacterForTheRest) {
    EXPECT_EQ(ToMultiByte(1251, u"Агент"), "\xC0\xE3\xE5\xED\xF2");
    EXPECT_EQ(ToWide(1251, "\xC0\xE3\xE5\xED\xF2\xA8\xB8"), u"АгентЁё");
    BOOL usedDefault = FALSE;
    EXPECT_EQ(ToMultiByte(1251, u"x中y", &usedDefault), "x?y");
    EXPECT_TRUE(usedDefault);
    usedDefault = FALSE;
    EXPECT_EQ(ToMultiByte(1251, u"😀", &usedDefault, "#"), "#");
    EXPECT_TRUE(usedDefault);
}

TEST(CodePages, Cp1252HasTheEuroSignAndKeepsUnassignedBytes) {
    EXPECT_EQ(ToWide(1252, "\x80\x81\xE9"), u"\x20AC\x0081\xE9");
    EXPECT_EQ(ToMultiByte(1252, u"\x20AC"), "\x80");
}

TEST(CodePages, SizesAndBuffers) {
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"ab", -1, nullptr, 0, nullptr, nullptr), 3);
    char small[2];
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"abc", -1, small, 2, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    BOOL used = FALSE;
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, small, 2, nullptr, &used), 0)
        << "UTF-8 takes no default-character arguments";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(MultiByteToWideChar(437, 0, "a", 1, nullptr, 0), 0);
}

TEST(AnsiCodePage, IsTheConfiguredOne) {
    const char* configured = getenv("W32_ACP");
    UINT expected = configured != nullptr ? static_cast<UINT>(atoi(configured)) : CP_UTF8;
    EXPECT_EQ(GetACP(), expected);
    if (expected == 1251) {
        BOOL used = FALSE;
        EXPECT_EQ(ToMultiByte(CP_THREAD_ACP, u"Лог 中", &used), "\xCB\xEE\xE3 ?");
        EXPECT_TRUE(used);
    } else {
        EXPECT_EQ(ToMultiByte(CP_ACP, u"Лог"), "Лог");
    }
}

}  // namespace
