// The image adapter: scanned bitmaps of every layout the scanners write load
// as B, G, R top row first; the grey conversion; saving through the page
// writer or OpenCV's encoders.
#include "agent/imaging/bmp_header.h"
#include "agent/imaging/image_adapter.h"
#include "agent/imaging/image_header.h"
#include "agent/imaging/png_page_writer.h"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include <array>
#include <cstring>
#include <string>
#include <tuple>

#include "page_files.h"
#include "support/temp_dir.h"
#include "test_bitmap.h"

namespace vexlo::imaging {
namespace {

using test::BmpLayout;
using test::TestBitmap;

// Every pixel of the loaded image against the colour the bitmap shows; the
// count of mismatches, so a failure says how wrong the decode is.
int MismatchedPixels(const cv::Mat& image, const TestBitmap& bitmap) {
    int mismatched = 0;
    for (int y = 0; y < bitmap.height; ++y) {
        for (int x = 0; x < bitmap.width; ++x) {
            cv::Vec3b p = image.at<cv::Vec3b>(y, x);
            test::Bgr expected = bitmap.At(x, y);
            if (p[0] != expected.b || p[1] != expected.g || p[2] != expected.r) {
                ++mismatched;
            }
        }
    }
    return mismatched;
}

class LoadColorImageTest : public ::testing::Test {
protected:
    cv::Mat LoadEncoded(const std::string& bytes, const std::string& name = "scan.bmp") {
        test::WriteFileBytes(temp.path() / name, bytes);
        return LoadColorImage(temp.native(name));
    }
    test::TempDir temp;
};

// Depth, top-down, width: widths 1, 13 and 33 give rows that need padding at
// every depth and partial bytes at 1 and 4 bits.
class BmpLayouts : public LoadColorImageTest,
                   public ::testing::WithParamInterface<std::tuple<int, bool, int>> {};

TEST_P(BmpLayouts, LoadPixelExactTopRowFirst) {
    auto [bits, topDown, width] = GetParam();
    TestBitmap bitmap = test::PatternBitmap(width, 7, bits, 1234u + bits + width);
    BmpLayout layout;
    layout.topDown = topDown;
    cv::Mat image = LoadEncoded(test::EncodeBmp(bitmap, layout));
    ASSERT_FALSE(image.empty());
    EXPECT_EQ(image.type(), CV_8UC3);
    EXPECT_EQ(image.cols, width);
    EXPECT_EQ(image.rows, 7);
    EXPECT_EQ(MismatchedPixels(image, bitmap), 0);
}

INSTANTIATE_TEST_SUITE_P(ScannerDepths, BmpLayouts,
                         ::testing::Combine(::testing::Values(1, 4, 8, 24), ::testing::Bool(),
                                            ::testing::Values(1, 13, 33)));

// A bitmap header with these fields, followed by `tail` bytes of pixels.
std::string ClaimedBitmap(int32_t width, int32_t height, uint16_t bits, uint32_t compression,
                          size_t tail) {
    std::string bytes(54 + tail, '\0');
    auto put = [&bytes](size_t at, uint32_t value, int size) {
        for (int i = 0; i < size; ++i) {
            bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
        }
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put(2, static_cast<uint32_t>(bytes.size()), 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, static_cast<uint32_t>(width), 4);
    put(22, static_cast<uint32_t>(height), 4);
    put(26, 1, 2);
    put(28, bits, 2);
    put(30, compression, 4);
    return bytes;
}

TEST_F(LoadColorImageTest, AHeaderThatClaimsMoreThanTheFileHoldsIsRefusedBeforeDecoding) {
    struct Case {
        const char* what;
        std::string bytes;
        bool loads;
    };
    const Case cases[] = {
        {"uncompressed, 30000 x 30000 in 100 bytes", ClaimedBitmap(30000, 30000, 24, 0, 100),
         false},
        {"top-down, 20000 rows in one", ClaimedBitmap(4, -20000, 24, 0, 16), false},
        {"bit fields, short by one row", ClaimedBitmap(4, 4, 32, 3, 48), false},
        {"run-length, 20000 x 20000", ClaimedBitmap(20000, 20000, 8, 1, 2), false},
        {"zero width", ClaimedBitmap(0, 4, 24, 0, 64), false},
        {"cut inside the header", std::string("BM\x10\x00\x00\x00", 6), false},
        {"whole 2 x 2 at 24 bits", ClaimedBitmap(2, 2, 24, 0, 16), true},
    };
    for (const Case& c : cases) {
        cv::Mat image = LoadEncoded(c.bytes);
        EXPECT_EQ(!image.empty(), c.loads) << c.what;
        EXPECT_EQ(BitmapHeaderFitsFile(temp.native("scan.bmp")), c.loads) << c.what;
    }
}

// A 6 x 4 image encoded by OpenCV in the format of the extension.
std::string Encoded(const test::TempDir& temp, const std::string& extension) {
    cv::Mat image = CreateImage(6, 4, 3);
    FillImage(image, cv::Scalar(10, 200, 30));
    std::string name = "encoded" + extension;
    EXPECT_TRUE(SaveImage(temp.native(name), image)) << extension;
    return test::ReadFileBytes(temp.path() / name);
}

void PutBig(std::string& bytes, size_t at, uint32_t value, int size) {
    for (int i = 0; i < size; ++i) {
        bytes[at + static_cast<size_t>(i)] = static_cast<char>(value >> (8 * (size - 1 - i)));
    }
}

// A little-endian TIFF header and one directory with width and length.
std::string ClaimedTiff(uint32_t width, uint32_t length) {
    std::string bytes("II*\0\x08\0\0\0\x02\0", 10);
    for (auto [tag, value] : {std::pair{256u, width}, std::pair{257u, length}}) {
        char entry[12] = {static_cast<char>(tag & 0xFF), static_cast<char>(tag >> 8), 4, 0, 1};
        for (int i = 0; i < 4; ++i) {
            entry[8 + i] = static_cast<char>(value >> (8 * i));
        }
        bytes.append(entry, sizeof entry);
    }
    return bytes + std::string(8, '\0');
}

TEST_F(LoadColorImageTest, EveryFormatsHeaderIsHeldToThePixelCapBeforeDecoding) {
    const std::string png = Encoded(temp, ".png");
    std::string hugePng = png;
    PutBig(hugePng, 16, 200000, 4);  // IHDR width
    PutBig(hugePng, 20, 100000, 4);  // IHDR height
    std::string widePng = png;
    PutBig(widePng, 16, 100'000'000, 4);  // one row of exactly the cap
    PutBig(widePng, 20, 1, 4);
    const std::string jpeg = Encoded(temp, ".jpg");
    std::string hugeJpeg = jpeg;
    size_t frame = hugeJpeg.find("\xFF\xC0");
    ASSERT_NE(frame, std::string::npos);
    PutBig(hugeJpeg, frame + 5, 60000, 2);  // height
    PutBig(hugeJpeg, frame + 7, 60000, 2);  // width
    struct Case {
        const char* what;
        std::string bytes;
        std::string refusal;  // empty: decodes to 6 x 4
    };
    const Case cases[] = {
        {"a PNG", png, ""},
        {"a PNG claiming 200000 x 100000", hugePng,
         "the PNG image claims 200000 x 100000 pixels, more than 100000000"},
        {"a PNG without its header chunk", png.substr(0, 12),
         "the PNG image's header cannot be read"},
        {"a JPEG", jpeg, ""},
        {"a JPEG claiming 60000 x 60000", hugeJpeg,
         "the JPEG image claims 60000 x 60000 pixels, more than 100000000"},
        {"a JPEG ending before its frame", jpeg.substr(0, frame),
         "the JPEG image's header cannot be read"},
        {"a TIFF", Encoded(temp, ".tiff"), ""},
        {"a TIFF claiming 20000 x 20000", ClaimedTiff(20000, 20000),
         "the TIFF image claims 20000 x 20000 pixels, more than 100000000"},
        {"a bitmap claiming 20000 x 20000", ClaimedBitmap(20000, 20000, 8, 1, 2),
         "the bitmap's header claims more than its file holds or more than 100000000 pixels"},
        {"another format", "P6\n2 2\n255\n" + std::string(12, '\x7F'),
         "not a BMP, PNG, JPEG or TIFF image"},
    };
    for (const Case& c : cases) {
        test::WriteFileBytes(temp.path() / "page", c.bytes);
        EXPECT_EQ(ImageHeaderRefusal(temp.native("page")), c.refusal) << c.what;
        cv::Mat image = LoadColorImage(temp.native("page"));
        EXPECT_EQ(image.empty(), !c.refusal.empty()) << c.what;
        if (c.refusal.empty()) {
            EXPECT_EQ(image.size(), cv::Size(6, 4)) << c.what;
        }
    }
    // A header of exactly the cap is not refused here.
    test::WriteFileBytes(temp.path() / "wide.png", widePng);
    EXPECT_EQ(ImageHeaderRefusal(temp.native("wide.png")), "");
}

TEST_F(LoadColorImageTest, ShortColourTablesAndFilledImageSizeLoad) {
    for (auto [bits, colours] : {std::pair{8, 20}, std::pair{4, 5}, std::pair{1, 1}}) {
        TestBitmap bitmap = test::PatternBitmap(21, 9, bits, 99u, colours);
        BmpLayout layout;
        layout.colorsUsed = static_cast<uint32_t>(colours);
        layout.sizeImageSet = true;
        cv::Mat image = LoadEncoded(test::EncodeBmp(bitmap, layout));
        ASSERT_FALSE(image.empty()) << bits << " bits, " << colours << " colours";
        EXPECT_EQ(MismatchedPixels(image, bitmap), 0) << bits << " bits, " << colours;
    }
}

TEST_F(LoadColorImageTest, GreyAndBlackAndWhiteTablesLoadAsThreeChannels) {
    TestBitmap grey = test::PatternBitmap(40, 6, 8, 5u);
    for (int i = 0; i < 256; ++i) {
        grey.palette[static_cast<size_t>(i)] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i),
                                                static_cast<uint8_t>(i)};
    }
    cv::Mat image = LoadEncoded(test::EncodeBmp(grey));
    ASSERT_EQ(image.type(), CV_8UC3);
    EXPECT_EQ(MismatchedPixels(image, grey), 0);

    TestBitmap mono = test::PatternBitmap(40, 6, 1, 6u);
    mono.palette = {{255, 255, 255}, {0, 0, 0}};  // index 0 white, as many scanners write it
    image = LoadEncoded(test::EncodeBmp(mono));
    ASSERT_EQ(image.type(), CV_8UC3);
    EXPECT_EQ(MismatchedPixels(image, mono), 0);
}

TEST_F(LoadColorImageTest, ATwainOneBitPageOf1700PixelsLoads) {
    TestBitmap bitmap = test::PatternBitmap(1700, 5, 1, 17u);
    std::string bytes = test::EncodeBmp(bitmap);
    // The layout the TWAIN manager writes: pixel data at 62, rows of 216 bytes.
    ASSERT_EQ(bytes.size(), 62u + 216u * 5u);
    EXPECT_EQ(static_cast<uint8_t>(bytes[10]), 62);
    cv::Mat image = LoadEncoded(bytes);
    ASSERT_FALSE(image.empty());
    EXPECT_EQ(MismatchedPixels(image, bitmap), 0);
}

TEST_F(LoadColorImageTest, MissingUnreadableAndTruncatedFilesGiveNoImage) {
    EXPECT_TRUE(LoadColorImage(temp.native("absent.bmp")).empty());
    EXPECT_TRUE(LoadColorImage("").empty());
    EXPECT_TRUE(LoadEncoded("this is no bitmap", "text.bmp").empty());
    std::string bytes = test::EncodeBmp(test::PatternBitmap(64, 64, 24, 3u));
    EXPECT_TRUE(LoadEncoded(bytes.substr(0, 54 + 64 * 3 * 10), "cut.bmp").empty());
    EXPECT_TRUE(LoadEncoded(bytes.substr(0, 30), "header.bmp").empty());
}

TEST(ConvertRgbToGray, WeighsTheFirstChannelAsRed) {
    // Loaded as B, G, R: grey = 0.299 B + 0.587 G + 0.114 R.
    cv::Mat image(1, 4, CV_8UC3);
    image.at<cv::Vec3b>(0, 0) = {200, 100, 50};
    image.at<cv::Vec3b>(0, 1) = {255, 0, 0};
    image.at<cv::Vec3b>(0, 2) = {0, 0, 255};
    image.at<cv::Vec3b>(0, 3) = {0, 255, 0};
    cv::Mat grey = ConvertRgbToGray(image);
    ASSERT_EQ(grey.type(), CV_8UC1);
    EXPECT_EQ(grey.at<uchar>(0, 0), 124);  // BGR-to-grey would give 96
    EXPECT_EQ(grey.at<uchar>(0, 1), 76);
    EXPECT_EQ(grey.at<uchar>(0, 2), 29);
    EXPECT_EQ(grey.at<uchar>(0, 3), 150);
}

TEST(ImageOperations, RegionPasteFillAndResizeKeepTheirPixels) {
    cv::Mat image = CreateImage(6, 4, 1);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 6; ++x) {
            image.at<uchar>(y, x) = static_cast<uchar>(10 * y + x);
        }
    }
    cv::Mat region = Region(image, cv::Rect(0, 0, 3, 2));
    ASSERT_EQ(region.size(), cv::Size(3, 2));
    EXPECT_EQ(region.at<uchar>(1, 2), 12);
    image.release();  // the region keeps the pixels alive
    EXPECT_EQ(region.at<uchar>(1, 0), 10);

    cv::Mat page = CreateImage(8, 2, 1);
    FillImage(page, cv::Scalar(255, 255, 255, 0));
    PasteImage(region, page, cv::Point(0, 0));
    EXPECT_EQ(page.at<uchar>(1, 2), 12);
    EXPECT_EQ(page.at<uchar>(1, 3), 255);
    EXPECT_EQ(page.at<uchar>(0, 7), 255);

    cv::Mat resized = ResizeCubic(page, 16, 5);
    EXPECT_EQ(resized.size(), cv::Size(16, 5));
    EXPECT_EQ(resized.type(), CV_8UC1);
}

class SaveImageTest : public ::testing::Test {
protected:
    static cv::Mat GreyPattern(int width, int height) {
        cv::Mat grey(height, width, CV_8UC1);
        cv::randu(grey, 0, 256);
        return grey;
    }
    test::TempDir temp;
};

TEST_F(SaveImageTest, GreyPngPageHasExactlyHeaderResolutionDataEnd) {
    cv::Mat page = GreyPattern(50, 30);
    const std::array<int, 4> params = {kSavePngCompression, 9, kSavePngResolution, 203};
    ASSERT_TRUE(SaveImage(temp.native("page.png"), page, params));

    std::vector<test::PngChunk> chunks =
        test::ReadPngChunks(test::ReadFileBytes(temp.path() / "page.png"));
    ASSERT_GE(chunks.size(), 4u);
    EXPECT_EQ(chunks.front().type, "IHDR");
    EXPECT_EQ(chunks[1].type, "pHYs");
    EXPECT_EQ(chunks.back().type, "IEND");
    for (size_t i = 2; i + 1 < chunks.size(); ++i) {
        EXPECT_EQ(chunks[i].type, "IDAT") << "chunk " << i;
    }
    // Z_RLE: zlib records the fastest-level flag (FLEVEL 0) whatever the level;
    // the default strategy at level 9 would record 3.
    ASSERT_GE(chunks[2].data.size(), 2u);
    EXPECT_EQ(static_cast<uint8_t>(chunks[2].data[0]) & 0x0F, 8);  // deflate
    EXPECT_EQ(static_cast<uint8_t>(chunks[2].data[1]) & 0xC0, 0);
    // IHDR: width 50, height 30, depth 8, colour type 0 (grey), no interlace.
    ASSERT_EQ(chunks[0].data.size(), 13u);
    EXPECT_EQ(static_cast<uint8_t>(chunks[0].data[8]), 8);
    EXPECT_EQ(static_cast<uint8_t>(chunks[0].data[9]), 0);
    EXPECT_EQ(static_cast<uint8_t>(chunks[0].data[12]), 0);

    test::DecodedPng decoded = test::DecodePng(temp.path() / "page.png");
    ASSERT_TRUE(decoded.ok);
    EXPECT_TRUE(decoded.hasPhys);
    EXPECT_EQ(decoded.physX, 203u);
    EXPECT_EQ(decoded.physY, 203u);
    EXPECT_EQ(decoded.physUnit, 0);
    ASSERT_EQ(decoded.samples.size(), 50u * 30u);
    EXPECT_EQ(std::memcmp(decoded.samples.data(), page.data, decoded.samples.size()), 0);
}

TEST_F(SaveImageTest, NoResolutionChunkWithoutAPositiveFigure) {
    cv::Mat page = GreyPattern(9, 9);
    const std::array<int, 4> zero = {kSavePngCompression, 9, kSavePngResolution, 0};
    const std::array<int, 4> negative = {kSavePngCompression, 9, kSavePngResolution, -5};
    const std::array<int, 2> none = {kSavePngCompression, 9};
    ASSERT_TRUE(SaveImage(temp.native("zero.png"), page, zero));
    ASSERT_TRUE(SaveImage(temp.native("negative.png"), page, negative));
    ASSERT_TRUE(SaveImage(temp.native("none.png"), page, none));
    for (const char* name : {"zero.png", "negative.png", "none.png"}) {
        std::vector<test::PngChunk> chunks =
            test::ReadPngChunks(test::ReadFileBytes(temp.path() / name));
        ASSERT_GE(chunks.size(), 3u) << name;
        EXPECT_EQ(chunks[0].type, "IHDR") << name;
        EXPECT_EQ(chunks[1].type, "IDAT") << name;
        EXPECT_EQ(chunks.back().type, "IEND") << name;
        EXPECT_FALSE(test::DecodePng(temp.path() / name).hasPhys) << name;
    }
}

TEST_F(SaveImageTest, ThePageFigureOf200IsWrittenAsIs) {
    const std::array<int, 4> params = {kSavePngCompression, 9, kSavePngResolution, 200};
    ASSERT_TRUE(SaveImage(temp.native("page.png"), GreyPattern(3, 3), params));
    test::DecodedPng decoded = test::DecodePng(temp.path() / "page.png");
    EXPECT_EQ(decoded.physX, 200u);
    EXPECT_EQ(decoded.physY, 200u);
    EXPECT_EQ(decoded.physUnit, 0);
}

TEST_F(SaveImageTest, ColourImagesGoToTheLibraryEncoders) {
    cv::Mat colour(7, 5, CV_8UC3, cv::Scalar(10, 20, 30));
    ASSERT_TRUE(SaveImage(temp.native("colour.png"), colour));
    test::DecodedPng decoded = test::DecodePng(temp.path() / "colour.png");
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.colorType, 2);  // RGB
    EXPECT_EQ(decoded.channels, 3);
    EXPECT_EQ(decoded.samples[0], 30);  // red first in the file

    ASSERT_TRUE(SaveImage(temp.native("colour.jpg"), colour));
    test::JpegFrame frame = test::ReadJpegFrame(test::ReadFileBytes(temp.path() / "colour.jpg"));
    ASSERT_TRUE(frame.ok);
    EXPECT_EQ(frame.width, 5);
    EXPECT_EQ(frame.height, 7);
    EXPECT_EQ(frame.components, 3);
}

TEST_F(SaveImageTest, AnUnknownExtensionThrowsAndWritesNothing) {
    cv::Mat colour(4, 4, CV_8UC3, cv::Scalar::all(0));
    EXPECT_THROW(SaveImage(temp.native("page.nothing"), colour), cv::Exception);
    EXPECT_THROW(SaveImage(temp.native("page"), colour), cv::Exception);
    EXPECT_TRUE(test::FolderListing(temp.path()).empty());
}

TEST_F(SaveImageTest, AFailedSaveLeavesNoFileAndAnEarlierFileIntact) {
    cv::Mat page = GreyPattern(4, 4);
    const std::array<int, 4> params = {kSavePngCompression, 9, kSavePngResolution, 203};
    EXPECT_FALSE(SaveImage(temp.native("missing/page.png"), page, params));
    EXPECT_FALSE(SaveImage(temp.native("missing/page.jpg"), cv::Mat(4, 4, CV_8UC3), params));
    EXPECT_TRUE(test::FolderListing(temp.path()).empty());

    // Replacing a page: the new one takes the name, no temporary file stays.
    test::WriteFileBytes(temp.path() / "page.png", "older page");
    ASSERT_TRUE(SaveImage(temp.native("page.png"), page, params));
    EXPECT_TRUE(test::DecodePng(temp.path() / "page.png").ok);
    EXPECT_EQ(test::FolderListing(temp.path()), std::vector<std::string>{"page.png"});
}

TEST_F(SaveImageTest, ThePageWriterTakesOnlyOneChannelOf8Bits) {
    EXPECT_FALSE(WritePngPage(temp.native("colour.png"), cv::Mat(4, 4, CV_8UC3), 9, 203));
    EXPECT_FALSE(WritePngPage(temp.native("deep.png"), cv::Mat(4, 4, CV_16UC1), 9, 203));
    EXPECT_FALSE(WritePngPage(temp.native("empty.png"), cv::Mat(), 9, 203));
    EXPECT_TRUE(test::FolderListing(temp.path()).empty());
}

}  // namespace
}  // namespace vexlo::imaging
