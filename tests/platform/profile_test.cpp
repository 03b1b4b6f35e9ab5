#include <windows.h>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace {

using vexlo::test::ReadFileBytes;
using vexlo::test::TempDir;
using vexlo::test::WriteFileBytes;

std::u16string Read(const std::u16string& file, const char16_t* section, const char16_t* key,
                    const char16_t* fallback = u"", DWORD size = 260) {
    std::u16string buffer(size, u'\0');
    DWORD length =
        GetPrivateProfileStringW(section, key, fallback, buffer.data(), size, file.c_str());
    return buffer.substr(0, length);
}

TEST(Profile, FirstWriteCreatesTheFileWithItsSection) {
    TempDir dir;
    std::u16string file = dir.wide("settings.ini");
    EXPECT_TRUE(WritePrivateProfileStringW(u"wia", u"wia-scanner-name", u"", file.c_str()));
    EXPECT_TRUE(WritePrivateProfileStringW(u"settings", u"scan-mode", u"1", file.c_str()));
    EXPECT_EQ(ReadFileBytes(dir.native("settings.ini")),
              "[wia]\r\nwia-scanner-name=\r\n[settings]\r\nscan-mode=1\r\n");
    // Nothing else is left in the folder: the temporary file was renamed.
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST(Profile, SectionsAndKeysAreCaseInsensitive) {
    TempDir dir;
    std::u16string file = dir.wide("a.ini");
    WriteFileBytes(dir.native("a.ini"), "[Settings]\nTrace-Level = 3 \n");
    EXPECT_EQ(Read(file, u"settings", u"trace-level"), u"3");
    WritePrivateProfileStringW(u"SETTINGS", u"TRACE-LEVEL", u"4", file.c_str());
    EXPECT_EQ(Read(file, u"settings", u"trace-level"), u"4");
    EXPECT_EQ(ReadFileBytes(dir.native("a.ini")), "[Settings]\r\nTRACE-LEVEL=4\r\n");
}

TEST(Profile, ALongValueIsCutToTheBuffer) {
    TempDir dir;
    std::u16string file = dir.wide("a.ini");
    std::u16string value(300, u'v');
    WritePrivateProfileStringW(u"settings", u"soap-server", value.c_str(), file.c_str());
    std::u16string read = Read(file, u"settings", u"soap-server");
    EXPECT_EQ(read.size(), 259u);
    EXPECT_EQ(read, value.substr(0, 259));
}

TEST(Profile, MissingKeysGiveTheDefaultWithoutTrailingBlanks) {
    TempDir dir;
    std::u16string file = dir.wide("none.ini");
    EXPECT_EQ(Read(file, u"settings", u"trace-level", u"0"), u"0");
    EXPECT_EQ(Read(file, u"settings", u"trace-level", u"x  "), u"x");
    EXPECT_EQ(Read(file, u"settings", u"trace-level", nullptr), u"");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "none.ini"));
}

TEST(Profile, ANullValueRemovesTheKeyAndANullKeyTheSection) {
    TempDir dir;
    std::u16string file = dir.wide("a.ini");
    WritePrivateProfileStringW(u"wia", u"wia-scanner", u"{id}", file.c_str());
    WritePrivateProfileStringW(u"wia", u"wia-scanner-name", u"Scanner", file.c_str());
    WritePrivateProfileStringW(u"wia", u"wia-scanner", nullptr, file.c_str());
    EXPECT_EQ(Read(file, u"wia", u"wia-scanner", u"gone"), u"gone");
    EXPECT_EQ(Read(file, u"wia", u"wia-scanner-name"), u"Scanner");
    WritePrivateProfileStringW(u"wia", nullptr, nullptr, file.c_str());
    EXPECT_EQ(ReadFileBytes(dir.native("a.ini")), "");
}

TEST(Profile, AnEmptyValueIsKeptAsAKey) {
    TempDir dir;
    std::u16string file = dir.wide("a.ini");
    WritePrivateProfileStringW(u"wia", u"wia-scanner", u"", file.c_str());
    EXPECT_EQ(Read(file, u"wia", u"wia-scanner", u"default"), u"");
    EXPECT_NE(ReadFileBytes(dir.native("a.ini")).find("wia-scanner=\r\n"), std::string::npos);
}

TEST(Profile, NewKeysGoToTheEndOfTheirSectionAndOtherLinesStay) {
    TempDir dir;
    std::u16string file = dir.wide("a.ini");
    WriteFileBytes(dir.native("a.ini"),
                   "; hand-written\n[settings]\nlog-file=x.log\n\n[wia]\nwia-scanner=1\n");
    WritePrivateProfileStringW(u"settings", u"scan-mode", u"2", file.c_str());
    EXPECT_EQ(ReadFileBytes(dir.native("a.ini")),
              "; hand-written\r\n[settings]\r\nlog-file=x.log\r\nscan-mode=2\r\n\r\n[wia]\r\n"
              "wia-scanner=1\r\n");
}

TEST(Profile, ListsKeysAndSections) {
    TempDir dir;
    std::u16string file = dir.wide("a.ini");
    WriteFileBytes(dir.native("a.ini"), "[a]\nk1=1\nk2=2\n[b]\n");
    WCHAR list[32] = {};
    DWORD length = GetPrivateProfileStringW(u"a", nullptr, u"", list, 32, file.c_str());
    EXPECT_EQ(std::u16string(list, length), std::u16string(u"k1\0k2\0", 6));
    length = GetPrivateProfileStringW(nullptr, nullptr, u"", list, 32, file.c_str());
    EXPECT_EQ(std::u16string(list, length), std::u16string(u"a\0b\0", 4));
}

TEST(Profile, ReadsUtf16AndUtf8FilesWithByteOrderMarks) {
    TempDir dir;
    std::string utf16 = "\xFF\xFE";
    for (char16_t c : std::u16string(u"[wia]\r\nwia-scanner-name=Сканер\r\n")) {
        utf16 += static_cast<char>(c & 0xFF);
        utf16 += static_cast<char>(c >> 8);
    }
    WriteFileBytes(dir.native("u16.ini"), utf16);
    EXPECT_EQ(Read(dir.wide("u16.ini"), u"wia", u"wia-scanner-name"), u"Сканер");
    WriteFileBytes(dir.native("u8.ini"), "\xEF\xBB\xBF[wia]\nwia-scanner-name=Сканер\n");
    EXPECT_EQ(Read(dir.wide("u8.ini"), u"wia", u"wia-scanner-name"), u"Сканер");
}

TEST(Profile, IntegersParseLeadingDigits) {
    TempDir dir;
    std::u16string file = dir.wide("a.ini");
    WriteFileBytes(dir.native("a.ini"), "[s]\na=2x\nb=abc\nc=-1\n");
    EXPECT_EQ(GetPrivateProfileIntW(u"s", u"a", 9, file.c_str()), 2u);
    EXPECT_EQ(GetPrivateProfileIntW(u"s", u"b", 9, file.c_str()), 0u);
    EXPECT_EQ(static_cast<int>(GetPrivateProfileIntW(u"s", u"c", 9, file.c_str())), -1);
    EXPECT_EQ(GetPrivateProfileIntW(u"s", u"missing", 9, file.c_str()), 9u);
}

}  // namespace
