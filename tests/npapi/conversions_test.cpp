// Numbers, strings and identifier names between the browser and the plug-in.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "np_runtime.h"
#include "np_test_support.h"
#include "plugins/npapi/conversions.h"

namespace vexlo::test {
namespace {

class ConversionsTest : public PluginTest {};

NPVariant Int(int32_t value) {
    NPVariant v;
    INT32_TO_NPVARIANT(value, v);
    return v;
}
NPVariant Double(double value) {
    NPVariant v;
    DOUBLE_TO_NPVARIANT(value, v);
    return v;
}
NPVariant String(const char* text, uint32_t length) {
    NPVariant v;
    STRINGN_TO_NPVARIANT(text, length, v);
    return v;
}

TEST_F(ConversionsTest, NumbersBecomeInt32AndEverythingElseMinusOne) {
    EXPECT_EQ(NpVariantToInt(Int(0)), 0);
    EXPECT_EQ(NpVariantToInt(Int(-7)), -7);
    EXPECT_EQ(NpVariantToInt(Double(2.7)), 2);
    EXPECT_EQ(NpVariantToInt(Double(-2.7)), -2);
    EXPECT_EQ(NpVariantToInt(Double(2147483647.0)), 2147483647);
    EXPECT_EQ(NpVariantToInt(Double(-2147483648.0)), INT32_MIN);
    // Outside the int32 range, and NaN, every check refuses the value.
    EXPECT_EQ(NpVariantToInt(Double(3e9)), -1);
    EXPECT_EQ(NpVariantToInt(Double(-3e9)), -1);
    EXPECT_EQ(NpVariantToInt(Double(std::numeric_limits<double>::quiet_NaN())), -1);
    EXPECT_EQ(NpVariantToInt(Double(std::numeric_limits<double>::infinity())), -1);
    EXPECT_EQ(NpVariantToInt(String("5", 1)), -1);
    NPVariant other;
    VOID_TO_NPVARIANT(other);
    EXPECT_EQ(NpVariantToInt(other), -1);
    NULL_TO_NPVARIANT(other);
    EXPECT_EQ(NpVariantToInt(other), -1);
    BOOLEAN_TO_NPVARIANT(true, other);
    EXPECT_EQ(NpVariantToInt(other), -1);
}

TEST_F(ConversionsTest, StringsAreReadForTheirLengthFromUtf8) {
    const char text[] = "ключ-key, and more";  // not terminated where the length ends
    EXPECT_EQ(NpVariantToString(String(text, 12)), u"ключ-key");
    EXPECT_EQ(NpVariantToString(String("\xF0\x9F\x98\x80", 4)), u"\U0001F600");
    EXPECT_EQ(NpVariantToString(String("", 0)), u"");
    EXPECT_EQ(NpVariantToString(Int(5)), u"");
}

TEST_F(ConversionsTest, AStringVariantIsOneTerminatedUtf8CopyOwnedByTheBrowser) {
    NPVariant variant = StringToNpVariant(u"Сканер \U0001F600");
    ASSERT_EQ(variant.type, NPVariantType_String);
    std::string expected = "Сканер \xF0\x9F\x98\x80";
    ASSERT_EQ(variant.value.stringValue.UTF8Length, expected.size());
    EXPECT_EQ(std::string(variant.value.stringValue.UTF8Characters, expected.size()), expected);
    EXPECT_EQ(variant.value.stringValue.UTF8Characters[expected.size()], '\0');
    browser::ReleaseVariantValue(&variant);  // the browser's MemFree

    NPVariant empty = StringToNpVariant(u"");
    ASSERT_EQ(empty.type, NPVariantType_String);
    EXPECT_EQ(empty.value.stringValue.UTF8Length, 0u);
    EXPECT_EQ(empty.value.stringValue.UTF8Characters[0], '\0');
    browser::ReleaseVariantValue(&empty);
}

TEST_F(ConversionsTest, IdentifierNamesAreLowerCasedAndIntegersHaveNone) {
    EXPECT_EQ(GetIdentifierName(Id("DoScan")), u"doscan");
    EXPECT_EQ(GetIdentifierName(Id("VERSION")), u"version");
    EXPECT_EQ(GetIdentifierName(Id("Ключ")), u"Ключ") << "only ASCII letters change case";
    EXPECT_EQ(GetIdentifierName(browser::GetIntIdentifier(3)), u"");
}

}  // namespace
}  // namespace vexlo::test
