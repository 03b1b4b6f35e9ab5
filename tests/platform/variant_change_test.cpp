// VariantChangeType: the conversions between the types that automation
// objects and script hosts exchange, with Windows' results.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/com_objects.h"

namespace {

struct Source {
    VARTYPE vt;
    LONG i4 = 0;
    double r8 = 0;
    const char16_t* text = nullptr;
};

struct Case {
    const char* name;
    Source source;
    VARTYPE to;
    HRESULT hr;
    LONG i4 = 0;  // the expected integer or boolean
    double r8 = 0;
    const char16_t* text = nullptr;  // the expected string
};

VARIANT Make(const Source& source) {
    VARIANT v;
    VariantInit(&v);
    v.vt = source.vt;
    switch (source.vt) {
        case VT_I2:
            v.iVal = static_cast<SHORT>(source.i4);
            break;
        case VT_I4:
            v.lVal = source.i4;
            break;
        case VT_ERROR:
            v.scode = source.i4;
            break;
        case VT_BOOL:
            v.boolVal = source.i4 != 0 ? VARIANT_TRUE : VARIANT_FALSE;
            break;
        case VT_R8:
            v.dblVal = source.r8;
            break;
        case VT_BSTR:
            v.bstrVal = SysAllocString(source.text);
            break;
        default:
            break;
    }
    return v;
}

const Case kCases[] = {
    // Strings that are numbers, and those that are not.
    {"string 5 to I4", {VT_BSTR, 0, 0, u"5"}, VT_I4, S_OK, 5},
    {"string with blanks and sign", {VT_BSTR, 0, 0, u" -42 "}, VT_I4, S_OK, -42},
    {"string 2.5 rounds to even", {VT_BSTR, 0, 0, u"2.5"}, VT_I4, S_OK, 2},
    {"string 1e3 to R8", {VT_BSTR, 0, 0, u"1e3"}, VT_R8, S_OK, 0, 1000},
    {"word is no number", {VT_BSTR, 0, 0, u"five"}, VT_I4, DISP_E_TYPEMISMATCH},
    {"empty string is no number", {VT_BSTR, 0, 0, u""}, VT_I4, DISP_E_TYPEMISMATCH},
    {"trailing text is no number", {VT_BSTR, 0, 0, u"5x"}, VT_I4, DISP_E_TYPEMISMATCH},
    {"string too large for I4", {VT_BSTR, 0, 0, u"3000000000"}, VT_I4, DISP_E_OVERFLOW},
    {"string too large for I2", {VT_BSTR, 0, 0, u"40000"}, VT_I2, DISP_E_OVERFLOW},
    {"string True to BOOL", {VT_BSTR, 0, 0, u"True"}, VT_BOOL, S_OK, VARIANT_TRUE},
    {"string 0 to BOOL", {VT_BSTR, 0, 0, u"0"}, VT_BOOL, S_OK, VARIANT_FALSE},
    // Banker's rounding: halves go to the even neighbour.
    {"0.5 to I4", {VT_R8, 0, 0.5}, VT_I4, S_OK, 0},
    {"1.5 to I4", {VT_R8, 0, 1.5}, VT_I4, S_OK, 2},
    {"2.5 to I4", {VT_R8, 0, 2.5}, VT_I4, S_OK, 2},
    {"3.5 to I4", {VT_R8, 0, 3.5}, VT_I4, S_OK, 4},
    {"-2.5 to I4", {VT_R8, 0, -2.5}, VT_I4, S_OK, -2},
    {"-3.5 to I2", {VT_R8, 0, -3.5}, VT_I2, S_OK, -4},
    {"2.6 to I4", {VT_R8, 0, 2.6}, VT_I4, S_OK, 3},
    {"R8 too large for I4", {VT_R8, 0, 2147483648.0}, VT_I4, DISP_E_OVERFLOW},
    {"R8 largest I4", {VT_R8, 0, 2147483647.0}, VT_I4, S_OK, 2147483647},
    {"I4 too large for I2", {VT_I4, 32768}, VT_I2, DISP_E_OVERFLOW},
    {"I4 to I2", {VT_I4, -32768}, VT_I2, S_OK, -32768},
    // Numbers to strings and booleans.
    {"I4 to string", {VT_I4, -17}, VT_BSTR, S_OK, 0, 0, u"-17"},
    {"R8 to string", {VT_R8, 0, 2.5}, VT_BSTR, S_OK, 0, 0, u"2.5"},
    {"BOOL to string", {VT_BOOL, 1}, VT_BSTR, S_OK, 0, 0, u"-1"},
    {"I4 to BOOL", {VT_I4, 7}, VT_BOOL, S_OK, VARIANT_TRUE},
    {"BOOL to I4", {VT_BOOL, 1}, VT_I4, S_OK, -1},
    // VT_EMPTY is zero, false, the empty string, a null object.
    {"EMPTY to I4", {VT_EMPTY}, VT_I4, S_OK, 0},
    {"EMPTY to BOOL", {VT_EMPTY}, VT_BOOL, S_OK, VARIANT_FALSE},
    {"EMPTY to string", {VT_EMPTY}, VT_BSTR, S_OK, 0, 0, u""},
    {"EMPTY to NULL", {VT_EMPTY}, VT_NULL, S_OK},
    // VT_NULL and VT_ERROR are nothing else.
    {"NULL to I4", {VT_NULL}, VT_I4, DISP_E_TYPEMISMATCH},
    {"NULL to string", {VT_NULL}, VT_BSTR, DISP_E_TYPEMISMATCH},
    {"NULL to DISPATCH", {VT_NULL}, VT_DISPATCH, DISP_E_TYPEMISMATCH},
    {"missing argument to DISPATCH",
     {VT_ERROR, DISP_E_PARAMNOTFOUND},
     VT_DISPATCH,
     DISP_E_TYPEMISMATCH},
    {"ERROR to I4", {VT_ERROR, DISP_E_PARAMNOTFOUND}, VT_I4, DISP_E_TYPEMISMATCH},
    {"I4 to DISPATCH", {VT_I4, 1}, VT_DISPATCH, DISP_E_TYPEMISMATCH},
    {"string to DISPATCH", {VT_BSTR, 0, 0, u"f"}, VT_DISPATCH, DISP_E_TYPEMISMATCH},
    // Types outside automation's set.
    {"to CY", {VT_I4, 1}, VT_CY, DISP_E_BADVARTYPE},
};

class VariantChangeTypeTable : public testing::TestWithParam<Case> {};

TEST_P(VariantChangeTypeTable, AnswersAsWindows) {
    const Case& c = GetParam();
    VARIANT source = Make(c.source);
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(VariantChangeType(&result, &source, 0, c.to), c.hr);
    if (SUCCEEDED(c.hr)) {
        EXPECT_EQ(result.vt, c.to);
        switch (c.to) {
            case VT_I2:
                EXPECT_EQ(result.iVal, c.i4);
                break;
            case VT_I4:
                EXPECT_EQ(result.lVal, c.i4);
                break;
            case VT_BOOL:
                EXPECT_EQ(result.boolVal, c.i4);
                break;
            case VT_R8:
                EXPECT_DOUBLE_EQ(result.dblVal, c.r8);
                break;
            case VT_BSTR:
                ASSERT_NE(result.bstrVal, nullptr);
                EXPECT_EQ(std::u16string(result.bstrVal), std::u16string(c.text));
                break;
            default:
                break;
        }
    } else {
        EXPECT_EQ(result.vt, VT_EMPTY);  // left as it was
    }
    VariantClear(&result);
    VariantClear(&source);
}

INSTANTIATE_TEST_SUITE_P(Conversions, VariantChangeTypeTable, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& param) {
                             std::string name;
                             for (const char* p = param.param.name; *p != 0; ++p) {
                                 name += isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             }
                             return name;
                         });

TEST(VariantChangeType, AlphaBoolGivesWords) {
    VARIANT source = Make({VT_BOOL, 1});
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(VariantChangeType(&result, &source, VARIANT_ALPHABOOL, VT_BSTR), S_OK);
    EXPECT_EQ(std::u16string(result.bstrVal), u"True");
    VariantClear(&result);
}

TEST(VariantChangeType, InPlaceFreesTheOldValue) {
    VARIANT v = Make({VT_BSTR, 0, 0, u"12"});
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I4), S_OK);
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, 12);
    // A failure leaves the variant as it was.
    VARIANT text = Make({VT_BSTR, 0, 0, u"x"});
    EXPECT_EQ(VariantChangeType(&text, &text, 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(text.vt, VT_BSTR);
    EXPECT_EQ(std::u16string(text.bstrVal), u"x");
    VariantClear(&text);
}

TEST(VariantChangeType, ByReferenceReadsThroughTheReference) {
    LONG number = 41;
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_BYREF | VT_I4;
    ref.plVal = &number;
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(VariantChangeType(&result, &ref, 0, VT_BSTR), S_OK);
    EXPECT_EQ(std::u16string(result.bstrVal), u"41");
    VariantClear(&result);

    // A reference to a variant that holds an object: to VT_DISPATCH.
    auto* object = new test_support::CountedDispatch;
    VARIANT inner;
    VariantInit(&inner);
    inner.vt = VT_DISPATCH;
    inner.pdispVal = object;
    VARIANT byVariant;
    VariantInit(&byVariant);
    byVariant.vt = VT_BYREF | VT_VARIANT;
    byVariant.pvarVal = &inner;
    ASSERT_EQ(VariantChangeType(&result, &byVariant, 0, VT_DISPATCH), S_OK);
    EXPECT_EQ(result.vt, VT_DISPATCH);
    EXPECT_EQ(result.pdispVal, object);
    EXPECT_EQ(object->Count(), 2u);
    VariantClear(&result);
    EXPECT_EQ(object->Count(), 1u);
    object->Release();

    // A reference to a reference of a variant is refused.
    VARIANT twice;
    VariantInit(&twice);
    twice.vt = VT_BYREF | VT_VARIANT;
    twice.pvarVal = &byVariant;
    EXPECT_EQ(VariantChangeType(&result, &twice, 0, VT_I4), DISP_E_BADVARTYPE);
}

TEST(VariantChangeType, ToDispatch) {
    VARIANT result;
    VariantInit(&result);
    // VT_EMPTY: a null object.
    VARIANT empty;
    VariantInit(&empty);
    ASSERT_EQ(VariantChangeType(&result, &empty, 0, VT_DISPATCH), S_OK);
    EXPECT_EQ(result.vt, VT_DISPATCH);
    EXPECT_EQ(result.pdispVal, nullptr);
    // A null VT_DISPATCH stays a null object.
    VARIANT null;
    VariantInit(&null);
    null.vt = VT_DISPATCH;
    ASSERT_EQ(VariantChangeType(&result, &null, 0, VT_DISPATCH), S_OK);
    EXPECT_EQ(result.pdispVal, nullptr);
    // VT_UNKNOWN: asked for IDispatch.
    auto* object = new test_support::CountedDispatch;
    VARIANT unknown;
    VariantInit(&unknown);
    unknown.vt = VT_UNKNOWN;
    unknown.punkVal = object;
    ASSERT_EQ(VariantChangeType(&result, &unknown, 0, VT_DISPATCH), S_OK);
    EXPECT_EQ(result.pdispVal, object);
    EXPECT_EQ(object->Count(), 2u);
    VariantClear(&result);
    object->Release();
    // An object without IDispatch.
    auto* plain = new test_support::PlainUnknown;
    unknown.punkVal = plain;
    EXPECT_EQ(VariantChangeType(&result, &unknown, 0, VT_DISPATCH), E_NOINTERFACE);
    EXPECT_EQ(result.vt, VT_EMPTY);
    EXPECT_EQ(plain->Count(), 1u);
    plain->Release();
}

TEST(VariantChangeType, ObjectToValueThroughItsValueProperty) {
    auto* object = new test_support::CountedDispatch;
    object->hasValue = true;
    object->value.vt = VT_I4;
    object->value.lVal = 9;
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_DISPATCH;
    source.pdispVal = object;
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(VariantChangeType(&result, &source, 0, VT_BSTR), S_OK);
    EXPECT_EQ(std::u16string(result.bstrVal), u"9");
    VariantClear(&result);
    EXPECT_EQ(VariantChangeType(&result, &source, VARIANT_NOVALUEPROP, VT_BSTR),
              DISP_E_TYPEMISMATCH);
    object->hasValue = false;
    EXPECT_EQ(VariantChangeType(&result, &source, 0, VT_I4), DISP_E_TYPEMISMATCH);
    object->Release();
}

TEST(VariantChangeType, NullPointersAreInvalid) {
    VARIANT v;
    VariantInit(&v);
    EXPECT_EQ(VariantChangeType(nullptr, &v, 0, VT_I4), E_INVALIDARG);
    EXPECT_EQ(VariantChangeType(&v, nullptr, 0, VT_I4), E_INVALIDARG);
    v.vt = VT_BYREF | VT_I4;
    v.plVal = nullptr;
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(VariantChangeType(&result, &v, 0, VT_I4), E_INVALIDARG);
}

}  // namespace
