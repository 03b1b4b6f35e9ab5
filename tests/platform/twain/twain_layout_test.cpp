// The TWAIN records keep the standard's 2-byte packing and field offsets.
#include <gtest/gtest.h>

#include <cstddef>

#include "twain.h"

static_assert(sizeof(TW_STR32) == 34);
static_assert(sizeof(TW_FIX32) == 4);
static_assert(sizeof(TW_VERSION) == 42);
static_assert(sizeof(TW_IDENTITY) == 156);
static_assert(offsetof(TW_IDENTITY, Version) == 4);
static_assert(offsetof(TW_IDENTITY, ProtocolMajor) == 46);
static_assert(offsetof(TW_IDENTITY, SupportedGroups) == 50);
static_assert(offsetof(TW_IDENTITY, Manufacturer) == 54);
static_assert(offsetof(TW_IDENTITY, ProductFamily) == 88);
static_assert(offsetof(TW_IDENTITY, ProductName) == 122);
static_assert(sizeof(TW_ONEVALUE) == 6);
static_assert(offsetof(TW_ONEVALUE, Item) == 2);
static_assert(offsetof(TW_ENUMERATION, ItemList) == 14);
static_assert(offsetof(TW_ENUMERATION, CurrentIndex) == 6);
static_assert(offsetof(TW_ARRAY, ItemList) == 6);
static_assert(sizeof(TW_RANGE) == 22);
static_assert(sizeof(TW_IMAGEINFO) == 42);
static_assert(offsetof(TW_IMAGEINFO, ImageWidth) == 8);
static_assert(offsetof(TW_IMAGEINFO, BitsPerSample) == 18);
static_assert(offsetof(TW_IMAGEINFO, PixelType) == 38);
static_assert(sizeof(TW_PENDINGXFERS) == 6);
static_assert(sizeof(TW_STATUS) == 4);
static_assert(offsetof(TW_CAPABILITY, hContainer) == 4);
static_assert(offsetof(TW_EVENT, TWMessage) == sizeof(TW_MEMREF));
static_assert(offsetof(TW_USERINTERFACE, hParent) == 4);

namespace {

TEST(TwainHeader, TripletsAndCodesHaveTheStandardsValues) {
    EXPECT_EQ(DG_CONTROL | DG_IMAGE, 3);
    EXPECT_EQ(DAT_IMAGENATIVEXFER, 0x104);
    EXPECT_EQ(MSG_OPENDSM, 0x301);
    EXPECT_EQ(MSG_USERSELECT, 0x403);
    EXPECT_EQ(MSG_ENABLEDS, 0x502);
    EXPECT_EQ(MSG_PROCESSEVENT, 0x601);
    EXPECT_EQ(MSG_ENDXFER, 0x701);
    EXPECT_EQ(TWRC_XFERDONE, 6);
    EXPECT_EQ(TWRC_NOTDSEVENT, 5);
    EXPECT_EQ(ICAP_XRESOLUTION, 0x1118);
    EXPECT_EQ(TWTY_FIX32, 7);
    EXPECT_EQ(TWON_ENUMERATION, 4);
    EXPECT_EQ(TWON_DONTCARE16, 0xFFFF);
    EXPECT_EQ(TWLG_RUSSIAN, 78);
    EXPECT_EQ(TWCY_RUSSIA, 7);
}

}  // namespace
