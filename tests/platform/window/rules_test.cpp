// The simulated user's rule files.
#include <gtest/gtest.h>

#include <stdexcept>

#include "desktop_user.h"

using desktop_user::ParseRules;
using desktop_user::Rule;

TEST(RuleFile, ParsesTheActionsAndDelays) {
    auto rules = ParseRules(
        "# comment\n"
        "when class \"#32770\" title \"О программе\" press \"Закрыть\" after 250\n"
        "every when title \"Выбор сканера\" escape\n"
        "when menu pick \"Выход\" after 10\n"
        "\n"
        "when class TwainSource close\n"
        "when menu dismiss\n");
    ASSERT_EQ(rules.size(), 5u);
    EXPECT_EQ(rules[0].match.className, u"#32770");
    EXPECT_EQ(rules[0].match.title, u"О программе");
    EXPECT_EQ(rules[0].action, Rule::Action::Press);
    EXPECT_EQ(rules[0].argument, u"Закрыть");
    EXPECT_EQ(rules[0].delay.count(), 250);
    EXPECT_FALSE(rules[0].repeat);
    EXPECT_TRUE(rules[1].repeat);
    EXPECT_EQ(rules[1].action, Rule::Action::Escape);
    EXPECT_EQ(rules[2].action, Rule::Action::PickMenu);
    EXPECT_EQ(rules[2].match.className, u"#32768");
    EXPECT_EQ(rules[3].action, Rule::Action::Close);
    EXPECT_EQ(rules[4].action, Rule::Action::DismissMenu);
}

TEST(RuleFile, MalformedLinesAreReportedWithTheirNumber) {
    for (const char* bad : {"press \"OK\"", "when press \"OK\"", "when class C jump",
                            "when class C press \"OK\" after x", "when class \"C press",
                            "when class C enter extra", "when menu press \"OK\""}) {
        try {
            ParseRules(std::string("\n") + bad);
            ADD_FAILURE() << bad;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()).rfind("line 2:", 0), 0u) << e.what();
        }
    }
}

TEST(Utf8, RoundTripsCyrillicAndSurrogates) {
    std::u16string s = u"Агент \U0001F600 Vexlo";
    EXPECT_EQ(desktop_user::FromUtf8(desktop_user::ToUtf8(s)), s);
}
