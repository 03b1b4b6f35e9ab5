#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

std::u16string W(const char16_t* format, ...) {
    char16_t buffer[512];
    va_list args;
    va_start(args, format);
    int length = _vsnwprintf_s(buffer, 512, _TRUNCATE, format, args);
    va_end(args);
    return length < 0 ? u"<error>" : std::u16string(buffer, static_cast<size_t>(length));
}

std::string N(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    int length = _vsnprintf_s(buffer, 512, _TRUNCATE, format, args);
    va_end(args);
    return length < 0 ? "<error>" : std::string(buffer, static_cast<size_t>(length));
}

TEST(Formatter, PercentSTakesWideStringsInWideFormatsAndNarrowInNarrow) {
    EXPECT_EQ(W(u"[%s]", u"wide"), u"[wide]");
    EXPECT_EQ(W(u"[%S]", "narrow"), u"[narrow]");
    EXPECT_EQ(W(u"[%hs|%ls|%ws]", "a", u"b", u"c"), u"[a|b|c]");
    EXPECT_EQ(N("[%s|%S|%ls]", "narrow", u"wide", u"wide2"), "[narrow|wide|wide2]");
    EXPECT_EQ(W(u"%c%C%lc", u'Ж', 'z', u'ё'), u"Жzё");
    EXPECT_EQ(W(u"%s", static_cast<const char16_t*>(nullptr)), u"(null)");
}

TEST(Formatter, NonAsciiCrossesBetweenWidthsThroughTheAnsiCodePage) {
    EXPECT_EQ(N("%S", u"Агент"), "Агент");
    EXPECT_EQ(W(u"%S", "Агент"), u"Агент");
}

TEST(Formatter, IntegersFollowTheMicrosoftSizePrefixes) {
    EXPECT_EQ(W(u"%I64d", static_cast<long long>(INT64_MIN)), u"-9223372036854775808");
    EXPECT_EQ(W(u"%I64u", static_cast<unsigned long long>(UINT64_MAX)), u"18446744073709551615");
    EXPECT_EQ(W(u"%lld|%I32d|%ld", -5LL, -6, static_cast<LONG>(-7)), u"-5|-6|-7");
    EXPECT_EQ(W(u"0x%08X", static_cast<unsigned>(E_FAIL)), u"0x80004005");
    EXPECT_EQ(W(u"0x%08X", 0x1234u), u"0x00001234");
    EXPECT_EQ(W(u"%u|%i|%d", 4000000000u, -1, 42), u"4000000000|-1|42");
    EXPECT_EQ(W(u"%hd|%hhu", 70000, 300), u"4464|44");
    EXPECT_EQ(W(u"%zu|%Iu", static_cast<size_t>(7), static_cast<size_t>(8)), u"7|8");
    EXPECT_EQ(W(u"%x|%#x|%#o|%o", 255u, 255u, 8u, 8u), u"ff|0xff|010|10");
}

TEST(Formatter, WidthsPrecisionAndFlags) {
    EXPECT_EQ(W(u"%02d:%02d:%02d.%03d", 9, 5, 3, 7), u"09:05:03.007");
    EXPECT_EQ(W(u"%-5s|", u"ab"), u"ab   |");
    EXPECT_EQ(W(u"%5s|", u"ab"), u"   ab|");
    EXPECT_EQ(W(u"%.2s|", u"abcdef"), u"ab|");
    EXPECT_EQ(W(u"%*d|%-*d|", 4, 7, 3, 1), u"   7|1  |");
    EXPECT_EQ(W(u"%+d|% d|%05d|%-05d|", 3, 3, -42, 7), u"+3| 3|-0042|7    |");
    EXPECT_EQ(W(u"%.3d|%8.3d", 5, -5), u"005|    -005");
    EXPECT_EQ(W(u"%05.1f|%g|%e", 3.14159, 0.5, 1.0), u"003.1|0.5|1.000000e+00");
    EXPECT_EQ(W(u"%.0d|", 0), u"|");
    EXPECT_EQ(W(u"100%%"), u"100%");
}

TEST(Formatter, PointersHaveAllTheirHexDigits) {
    std::u16string text = W(u"%p", reinterpret_cast<void*>(0xABCDu));
    EXPECT_EQ(text.size(), sizeof(void*) * 2);
    EXPECT_EQ(text.substr(text.size() - 4), u"ABCD");
}

TEST(Formatter, PercentNIsRefused) {
    int written = 0;
    char16_t buffer[16] = u"x";
    EXPECT_EQ(swprintf_s(buffer, 16, u"ab%n", &written), -1);
    EXPECT_EQ(written, 0);
    EXPECT_EQ(buffer[0], 0);
}

TEST(BoundedOutput, SnwprintfWritesNoTerminatorWhenFullAndNeverOverruns) {
    char16_t buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(_snwprintf(buffer, 4, u"%s", u"abc"), 3);
    EXPECT_EQ(std::u16string(buffer), u"abc");
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(_snwprintf(buffer, 4, u"%s", u"abcd"), 4);
    EXPECT_EQ(buffer[3], u'd');
    EXPECT_EQ(buffer[4], u'#') << "no terminator when exactly full";
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(_snwprintf(buffer, 4, u"%s", u"abcdefg"), -1);
    EXPECT_EQ(buffer[4], u'#') << "nothing beyond count";
}

TEST(BoundedOutput, TruncateCutsToTheBufferAndTerminates) {
    std::u16string message(1000, u'm');
    char16_t buffer[1000];
    EXPECT_EQ(_snwprintf_s(buffer, 1000, _TRUNCATE, u"%s", message.c_str()), -1);
    EXPECT_EQ(std::u16string(buffer), std::u16string(999, u'm'));
    std::u16string exact(999, u'e');
    EXPECT_EQ(_snwprintf_s(buffer, 1000, _TRUNCATE, u"%s", exact.c_str()), 999);
    EXPECT_EQ(std::u16string(buffer), exact);
}

TEST(BoundedOutput, CountBelowTheBufferCutsThere) {
    char16_t buffer[10];
    EXPECT_EQ(_snwprintf_s(buffer, 10, 3, u"%s", u"abcdef"), -1);
    EXPECT_EQ(std::u16string(buffer), u"abc");
    EXPECT_EQ(_snwprintf_s(buffer, 10, 3, u"%s", u"ab"), 2);
}

TEST(BoundedOutput, SecureFormsEmptyTheBufferWhenOutputDoesNotFit) {
    char16_t wide[4] = u"xyz";
    EXPECT_EQ(swprintf_s(wide, 4, u"%s", u"abcd"), -1);
    EXPECT_EQ(wide[0], 0);
    EXPECT_EQ(swprintf_s(wide, 4, u"%i", 123), 3);
    EXPECT_EQ(std::u16string(wide), u"123");
    char narrow[4] = "xyz";
    EXPECT_EQ(sprintf_s(narrow, 4, "%s", "abcd"), -1);
    EXPECT_EQ(narrow[0], 0);
    EXPECT_EQ(_snprintf(narrow, 2, "%d", 12345), -1);
}

TEST(BoundedOutput, CountsAndTheUser32Formatter) {
    EXPECT_EQ(_scwprintf(u"%s-%d", u"abc", 12), 6);
    EXPECT_EQ(_scprintf("%s", "four"), 4);
    std::u16string big(3000, u'b');
    std::u16string buffer(1100, u'#');
    EXPECT_EQ(wsprintfW(buffer.data(), u"%s", big.c_str()), 1023);
    EXPECT_EQ(buffer[1023], 0);
    EXPECT_EQ(buffer[1024], u'#');
}

TEST(WideRuntime, LengthsComparesAndCopies) {
    EXPECT_EQ(wcslen(u"Сканер"), 6u);
    EXPECT_EQ(_wcsicmp(u"VexloDesktopClass", u"vexlodesktopCLASS"), 0);
    EXPECT_NE(_wcsicmp(u"Ж", u"ж"), 0) << "only ASCII letters fold";
    EXPECT_LT(_wcsicmp(u"a", u"B"), 0);
    EXPECT_EQ(_wcsnicmp(u"DoScanX", u"doscany", 6), 0);
    EXPECT_LT(wcscmp(u"A", u"B"), 0);
    const char16_t* path = u"/data/Scanned/123.bmp";
    EXPECT_EQ(std::u16string(wcsrchr(path, u'/')), u"/123.bmp");
    EXPECT_EQ(std::u16string(wcschr(path, u'.')), u".bmp");
    EXPECT_EQ(wcsstr(path, u"xyz"), nullptr);
    char16_t small[4];
    EXPECT_EQ(wcscpy_s(small, 4, u"abcd"), ERANGE);
    EXPECT_EQ(small[0], 0);
    EXPECT_EQ(wcsncpy_s(small, 4, u"abcd", _TRUNCATE), STRUNCATE);
    EXPECT_EQ(std::u16string(small), u"abc");
    char16_t lower[] = u"DoScan";
    EXPECT_EQ(_wcslwr_s(lower, 7), 0);
    EXPECT_EQ(std::u16string(lower), u"doscan");
}

TEST(WideRuntime, WtoiParsesLeadingDigits) {
    EXPECT_EQ(_wtoi(u"2x"), 2);
    EXPECT_EQ(_wtoi(u"  -17abc"), -17);
    EXPECT_EQ(_wtoi(u"+5"), 5);
    EXPECT_EQ(_wtoi(u"abc"), 0);
    EXPECT_EQ(_wtoi(u""), 0);
    EXPECT_EQ(_wtoi(u"99999999999"), INT_MAX);
    EXPECT_EQ(_wtoi(u"-99999999999"), INT_MIN);
    EXPECT_EQ(_wtoi64(u"-9223372036854775808"), INT64_MIN);
}

}  // namespace
