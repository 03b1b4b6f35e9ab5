// The browser host's parts: text between the engine and the plug-in, the
// version block reader, and the page reader.
#include <gtest/gtest.h>

#include "js_text.h"
#include "page.h"
#include "framework/version_block.h"
#include "support/temp_dir.h"
#include "version_reader.h"

namespace {

using browser::EngineToUtf8;
using browser::Utf8ToEngine;

TEST(EngineText, JoinsSurrogatePairsIntoUtf8) {
    // U+1F600 as the engine keeps it: two encoded surrogates.
    std::string engine = "a\xED\xA0\xBD\xED\xB8\x80z";
    EXPECT_EQ(EngineToUtf8(engine.data(), engine.size()), "a\xF0\x9F\x98\x80z");
    std::string plain = "ключ";
    EXPECT_EQ(EngineToUtf8(plain.data(), plain.size()), plain);
}

TEST(EngineText, SplitsCharactersBeyondTheBasicPlaneIntoSurrogates) {
    std::string utf8 = "\xF0\x9F\x98\x80!";
    EXPECT_EQ(Utf8ToEngine(utf8.data(), utf8.size()), "\xED\xA0\xBD\xED\xB8\x80!");
    EXPECT_EQ(EngineToUtf8(Utf8ToEngine(utf8.data(), utf8.size()).data(), 7), utf8);
}

TEST(EngineText, BrokenSequencesBecomeTheReplacementCharacter) {
    std::string lone = "\xED\xA0\xBDx";  // a high surrogate without its pair
    EXPECT_EQ(EngineToUtf8(lone.data(), lone.size()), "\xEF\xBF\xBDx");
    std::string cut = "ab\xD0";
    EXPECT_EQ(Utf8ToEngine(cut.data(), cut.size()), "ab\xEF\xBF\xBD");
    std::string overlong = "\xC0\xAF";
    EXPECT_EQ(Utf8ToEngine(overlong.data(), overlong.size()), "\xEF\xBF\xBD");
    EXPECT_EQ(EngineToUtf8(nullptr, 5), "");
}

vexlo::VersionBlockContent Content() {
    vexlo::VersionBlockContent content;
    content.fileVersion[2] = 81;
    content.strings = {{u"MIMEType", u"application/a|application/b "}, {u"Odd", u"xyz"}};
    return content;
}

TEST(VersionReader, ReadsTheStringsOfTheTranslationsTable) {
    std::vector<uint8_t> block = vexlo::BuildVersionBlock(Content());
    auto info = browser::VersionInfo::Parse(block.data(), block.size());
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->String(u"Odd"), u"xyz");
    EXPECT_EQ(info->String(u"040904e4", u"Odd"), u"xyz") << "table names in any case";
    EXPECT_FALSE(info->String(u"04070000", u"Odd").has_value());
    EXPECT_EQ(browser::SplitMimeTypes(*info->String(u"MIMEType")),
              (std::vector<std::string>{"application/a", "application/b"}));
}

TEST(VersionReader, RefusesBlocksThatDoNotHoldTogether) {
    std::vector<uint8_t> block = vexlo::BuildVersionBlock(Content());
    EXPECT_FALSE(browser::VersionInfo::Parse(block.data(), 40).has_value()) << "cut short";
    EXPECT_FALSE(browser::VersionInfo::Parse(nullptr, block.size()).has_value());
    std::vector<uint8_t> wrongKey = block;
    wrongKey[6] = 'X';
    EXPECT_FALSE(browser::VersionInfo::Parse(wrongKey.data(), wrongKey.size()).has_value());
    // A child that claims more than its parent holds.
    std::vector<uint8_t> overlong = block;
    size_t child = 92;  // the StringFileInfo node after the fixed information
    overlong[child] = 0xFF;
    overlong[child + 1] = 0x7F;
    EXPECT_FALSE(browser::VersionInfo::Parse(overlong.data(), overlong.size()).has_value());
}

TEST(PageReader, FindsScriptsAndEmbedsInDocumentOrder) {
    vexlo::test::TempDir folder;
    vexlo::test::WriteFileBytes(folder.path() / "lib.js", "var lib = 1;");
    std::string html = R"(<html><head>
<script type="text/javascript">var a = "</b>";</script>
<script src='lib.js'></script>
</head><body>
<!-- <script>commented()</script> -->
<embed id=plain type="application/agent_vexlo" hidden>
<EMBED Name="second" type='x/y' title="&lt;&#65;&#x42;&gt; &unknown;"/>
</body></html>)";
    browser::Page page;
    std::string error;
    ASSERT_TRUE(browser::ParseHtml(html, folder.path(), "page.html", &page, &error)) << error;
    ASSERT_EQ(page.scripts.size(), 2u);
    EXPECT_EQ(page.scripts[0].source, "var a = \"</b>\";");
    EXPECT_EQ(page.scripts[0].origin, "page.html");
    EXPECT_EQ(page.scripts[1].source, "var lib = 1;");
    ASSERT_EQ(page.embeds.size(), 2u);
    EXPECT_EQ(page.embeds[0].Attribute("id"), "plain");
    EXPECT_EQ(page.embeds[0].Attribute("type"), "application/agent_vexlo");
    EXPECT_EQ(page.embeds[0].attributes.back().first, "hidden");
    EXPECT_EQ(page.embeds[1].Attribute("name"), "second");
    EXPECT_EQ(page.embeds[1].Attribute("title"), "<AB> &unknown;");
}

TEST(PageReader, AMissingScriptOrPageIsAnError) {
    vexlo::test::TempDir folder;
    browser::Page page;
    std::string error;
    EXPECT_FALSE(
        browser::ParseHtml("<script src=\"gone.js\"></script>", folder.path(), "p", &page, &error));
    EXPECT_NE(error.find("gone.js"), std::string::npos);
    EXPECT_FALSE(browser::LoadPage(folder.path() / "none.html", &page, &error));
    vexlo::test::WriteFileBytes(folder.path() / "page.js", "print(1);");
    browser::Page script;
    ASSERT_TRUE(browser::LoadPage(folder.path() / "page.js", &script, &error));
    ASSERT_EQ(script.scripts.size(), 1u);
    EXPECT_EQ(script.scripts[0].source, "print(1);");
    EXPECT_TRUE(script.embeds.empty());
}

}  // namespace
