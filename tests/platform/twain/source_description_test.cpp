// The virtual sources' description, the containers a source answers and the
// images it scans.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "containers.h"
#include "page_images.h"
#include "source_description.h"
#include "support/temp_dir.h"

namespace {

// TWAIN records are packed: their fields are compared as copies.
template <class T>
T Copy(T value) {
    return value;
}

using namespace twain_dsm;

TEST(SourceDescription, ReadsSourcesWithTheirResolutionsPagesAndFailures) {
    std::vector<std::string> errors;
    SessionDescription session = ParseDescription(
        "# two sources\n"
        "[manager]\n"
        "fail = open-dsm\n"
        "[source]\n"
        "name = Virtual Feeder\n"
        "manufacturer = Test Devices\n"
        "x-resolution = enumeration fix32 75 150 300 600\n"
        "y-resolution = range fix32 75 600 25\n"
        "resolution = 150\n"
        "pages = 3\n"
        "page = 1 1700 2200\n"
        "page = 24 100 50\n"
        "keep-open = yes\n"
        "xfer-limit = 2\n"
        "fail = transfer-cancel, image-info\n"
        "fail-page = 2\n"
        "pump = transfer feed\n"
        "\n"
        "[source]\n"
        "name = Plain\n",
        &errors);
    EXPECT_TRUE(errors.empty()) << errors.front();
    EXPECT_TRUE(session.failOpenDsm);
    ASSERT_EQ(session.sources.size(), 2u);
    const SourceDescription& feeder = session.sources[0];
    EXPECT_EQ(feeder.productName, "Virtual Feeder");
    EXPECT_EQ(feeder.manufacturer, "Test Devices");
    EXPECT_EQ(feeder.xResolution.conType, TWON_ENUMERATION);
    EXPECT_EQ(feeder.xResolution.itemType, TWTY_FIX32);
    EXPECT_EQ(feeder.xResolution.values.size(), 4u);
    EXPECT_EQ(feeder.yResolution.conType, TWON_RANGE);
    EXPECT_EQ(feeder.resolution, (CapValue{150, 0}));
    EXPECT_EQ(feeder.pages, 3);
    EXPECT_EQ(feeder.Page(0).bitsPerPixel, 1);
    EXPECT_EQ(feeder.Page(1).width, 100);
    EXPECT_EQ(feeder.Page(2).bitsPerPixel, 24) << "the last page line repeats";
    EXPECT_TRUE(feeder.keepOpen);
    EXPECT_EQ(feeder.xferLimit, 2);
    EXPECT_TRUE(feeder.transferCancel);
    EXPECT_TRUE(feeder.failImageInfo);
    EXPECT_FALSE(feeder.transferFailure);
    EXPECT_EQ(feeder.failPage, 2);
    EXPECT_TRUE(feeder.pumpDuringTransfer && feeder.pumpDuringFeed);
    const SourceDescription& plain = session.sources[1];
    EXPECT_EQ(plain.pages, 1);
    EXPECT_EQ(plain.yResolution.values, plain.xResolution.values) << "y follows x";
    EXPECT_FALSE(plain.keepOpen);
}

TEST(SourceDescription, BadLinesAreReportedAndSkipped) {
    std::vector<std::string> errors;
    SessionDescription session = ParseDescription(
        "name = outside\n"
        "[source]\n"
        "pages = 0\n"
        "page = 2 10 10\n"
        "x-resolution = range fix32 600 75 25\n"
        "x-resolution = onevalue fix32 1 2\n"
        "colour = red\n"
        "[source]\n"
        "name = Twice\n"
        "[source]\n"
        "name = Twice\n",
        &errors);
    EXPECT_EQ(errors.size(), 8u);
    ASSERT_EQ(session.sources.size(), 1u) << "the nameless one and the second Twice are dropped";
    EXPECT_EQ(session.sources[0].productName, "Twice");
}

TEST(SourceDescription, ContainersAndValues) {
    auto none = ParseContainer("none");
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->supported);
    auto one = ParseContainer("onevalue uint16 300");
    ASSERT_TRUE(one);
    EXPECT_EQ(one->itemType, TWTY_UINT16);
    EXPECT_FALSE(ParseContainer("onevalue uint16 72.5")) << "only FIX32 carries a fraction";
    EXPECT_FALSE(ParseContainer("list fix32 1"));
    EXPECT_EQ(ParseCapValue("72.5"), (CapValue{72, 0x8000}));
    EXPECT_EQ(ParseCapValue("-1.5"), (CapValue{-2, 0x8000}));
    EXPECT_FALSE(ParseCapValue("40000"));
}

TEST(SourceContainers, AnEnumerationOfFix32WithCurrentAndDefaultIndexes) {
    CapContainer list = *ParseContainer("enumeration fix32 75 150 300.5");
    HGLOBAL handle = MakeContainer(list, CapValue{150, 0}, CapValue{75, 0});
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(GlobalSize(handle), 14u + 12u);
    auto* memory = static_cast<const BYTE*>(GlobalLock(handle));
    TW_ENUMERATION header;
    std::memcpy(&header, memory, 14);
    EXPECT_EQ(Copy(header.ItemType), TWTY_FIX32);
    EXPECT_EQ(Copy(header.NumItems), 3u);
    EXPECT_EQ(Copy(header.CurrentIndex), 1u);
    EXPECT_EQ(Copy(header.DefaultIndex), 0u);
    TW_FIX32 third;
    std::memcpy(&third, memory + 14 + 8, 4);
    EXPECT_EQ(Copy(third.Whole), 300);
    EXPECT_EQ(Copy(third.Frac), 0x8000);
    GlobalUnlock(handle);
    GlobalFree(handle);
}

TEST(SourceContainers, RangesOneValuesAndWhatTheyAllow) {
    CapContainer range = *ParseContainer("range fix32 75 600 25");
    EXPECT_TRUE(Allows(range, CapValue{100, 0}));
    EXPECT_FALSE(Allows(range, CapValue{110, 0}));
    EXPECT_FALSE(Allows(range, CapValue{625, 0}));
    HGLOBAL handle = MakeContainer(range, CapValue{100, 0}, CapValue{75, 0});
    ASSERT_EQ(GlobalSize(handle), sizeof(TW_RANGE));
    auto* r = static_cast<TW_RANGE*>(GlobalLock(handle));
    EXPECT_EQ(Copy(r->MinValue), 75u);
    EXPECT_EQ(Copy(r->MaxValue), 600u);
    EXPECT_EQ(Copy(r->StepSize), 25u);
    EXPECT_EQ(Copy(r->CurrentValue), 100u);
    GlobalUnlock(handle);
    GlobalFree(handle);

    TW_CAPABILITY capability = {ICAP_XRESOLUTION, TWON_ONEVALUE, MakeOneValue(TWTY_INT16, {-1, 0})};
    auto item = ReadOneValue(capability);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->value.whole, -1);
    GlobalFree(capability.hContainer);
    capability.ConType = TWON_ENUMERATION;
    EXPECT_FALSE(ReadOneValue(capability));
}

TEST(PageImages, SyntheticPagesOfEachDepthBecomeDibsWithTheirTables) {
    struct Case {
        int bits;
        size_t table;
        int pixelType;
    };
    for (Case c : {Case{1, 2, TWPT_BW}, Case{8, 256, TWPT_GRAY}, Case{24, 0, TWPT_RGB}}) {
        PageSpec spec{c.bits, 101, 7, ""};
        auto page = RenderPage(spec, 1);
        ASSERT_TRUE(page);
        size_t rowBytes = ((101u * c.bits + 31) / 32) * 4;
        EXPECT_EQ(page->rows.size(), rowBytes * 7);
        HGLOBAL dib = MakeDib(*page, CapValue{300, 0}, CapValue{300, 0});
        ASSERT_NE(dib, nullptr);
        EXPECT_EQ(GlobalSize(dib), 40 + 4 * c.table + rowBytes * 7) << c.bits;
        auto* header = static_cast<const BYTE*>(GlobalLock(dib));
        int32_t width, height, ppm;
        uint16_t bits;
        std::memcpy(&width, header + 4, 4);
        std::memcpy(&height, header + 8, 4);
        std::memcpy(&bits, header + 14, 2);
        std::memcpy(&ppm, header + 24, 4);
        EXPECT_EQ(width, 101);
        EXPECT_EQ(height, 7);
        EXPECT_EQ(bits, c.bits);
        EXPECT_EQ(ppm, 11811) << "300 dpi in pixels a metre";
        GlobalUnlock(dib);
        GlobalFree(dib);
        TW_IMAGEINFO info = DescribePage(*page, CapValue{300, 0}, CapValue{150, 0});
        EXPECT_EQ(Copy(info.XResolution.Whole), 300);
        EXPECT_EQ(Copy(info.YResolution.Whole), 150);
        EXPECT_EQ(Copy(info.ImageWidth), 101);
        EXPECT_EQ(Copy(info.BitsPerPixel), c.bits);
        EXPECT_EQ(Copy(info.PixelType), c.pixelType);
    }
    PageSpec spec{8, 200, 200, ""};
    EXPECT_NE(RenderPage(spec, 1)->rows, RenderPage(spec, 2)->rows) << "pages differ";
}

TEST(PageImages, ImageFilesAreScannedAtTheDescribedDepth) {
    vexlo::test::TempDir dir;
    // A 3 x 2 grey PGM file.
    vexlo::test::WriteFileBytes(
        dir.path() / "page.pgm",
        std::string("P5\n3 2\n255\n") + std::string("\x00\xff\x80\x10\x20\x30", 6));
    PageSpec spec{1, 0, 0, dir.native("page.pgm")};
    auto page = RenderPage(spec, 1);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->width, 3);
    EXPECT_EQ(page->height, 2);
    EXPECT_EQ(page->rows.size(), 8u);
    EXPECT_EQ(page->rows[4], 0x60) << "the top row is stored last: black, white, white";
    spec.file = dir.native("missing.png");
    EXPECT_FALSE(RenderPage(spec, 1));
}

}  // namespace
