// Grey fax pages from scanned bitmaps: page sizes, the white band, the grey
// formula, the resolution chunk, names, and failures. Every page is read back
// with libpng.
#include "agent/imaging/fax_page.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "file_size_limit.h"
#include "page_files.h"
#include "scan_folders.h"
#include "test_bitmap.h"

namespace vexlo {
namespace {

using test::Bgr;
using test::DecodedPng;
using test::TestBitmap;

int ExpectedGrey(Bgr p) {
    return static_cast<int>(std::lround(0.299 * p.b + 0.587 * p.g + 0.114 * p.r));
}

class GreyPageTest : public test::ScanFolders {
protected:
    struct Result {
        HRESULT hr = E_UNEXPECTED;
        std::u16string page;
    };

    Result Make(const std::u16string& scan, int dpi) {
        Result result;
        result.page = kUntouched;
        result.hr = DoGrayScale(scan, processedWide(), result.page, dpi);
        return result;
    }

    // Makes the page of a bitmap and reads it back.
    DecodedPng MakeAndDecode(const TestBitmap& bitmap, int dpi, const std::string& name = "1.bmp") {
        Result result = Make(PutScan(name, bitmap), dpi);
        EXPECT_EQ(result.hr, S_OK);
        std::string base = name.substr(0, name.rfind('.'));
        EXPECT_EQ(result.page, test::Wide((processed() / (base + ".png")).string()));
        DecodedPng decoded = test::DecodePng(processed() / (base + ".png"));
        EXPECT_TRUE(decoded.ok);
        if (decoded.ok) {
            EXPECT_EQ(decoded.bitDepth, 8);
            EXPECT_EQ(decoded.colorType, 0);  // grey
            EXPECT_EQ(decoded.channels, 1);
        }
        return decoded;
    }

    // How many pixels of the column range [from, to) are not white.
    static int NonWhiteIn(const DecodedPng& page, uint32_t from, uint32_t to) {
        int count = 0;
        for (uint32_t y = 0; y < page.height; ++y) {
            for (uint32_t x = from; x < to; ++x) {
                count += page.At(static_cast<int>(x), static_cast<int>(y)) != 255;
            }
        }
        return count;
    }
};

TEST_F(GreyPageTest, FullA4At300DpiGivesAFullPageAt203) {
    DecodedPng page = MakeAndDecode(test::DocumentBitmap(2480, 3508, 1u), 300, "a4.bmp");
    ASSERT_TRUE(page.ok);
    EXPECT_EQ(page.width, 1678u);
    EXPECT_EQ(page.height, 2373u);
    EXPECT_TRUE(page.hasPhys);
    EXPECT_EQ(page.physX, 203u);
    EXPECT_EQ(page.physY, 203u);
    EXPECT_EQ(page.physUnit, 0);
    // Level 9 with Z_RLE and the full 32 KB window: the zlib header reads 78 01.
    std::vector<test::PngChunk> chunks =
        test::ReadPngChunks(test::ReadFileBytes(processed() / "a4.png"));
    ASSERT_GE(chunks.size(), 4u);
    EXPECT_EQ(chunks[1].type, "pHYs");
    ASSERT_EQ(chunks[2].type, "IDAT");
    EXPECT_EQ(static_cast<uint8_t>(chunks[2].data[0]), 0x78);
    EXPECT_EQ(static_cast<uint8_t>(chunks[2].data[1]), 0x01);
    // Paper stays paper and the lines of text reach the page.
    EXPECT_NEAR(page.At(0, 0), 250, 1);
    EXPECT_GT(NonWhiteIn(page, 0, 1678) - NonWhiteIn(page, 0, 60), 100000);
}

TEST_F(GreyPageTest, At200DpiTheCropIsPaddedWithAWhiteBandAndNotResized) {
    TestBitmap scan = test::PatternBitmap(1700, 2400, 24, 2u);
    DecodedPng page = MakeAndDecode(scan, 200);
    ASSERT_TRUE(page.ok);
    EXPECT_EQ(page.width, 1678u);
    EXPECT_EQ(page.height, 2337u);
    EXPECT_EQ(page.physX, 200u);
    EXPECT_EQ(page.physY, 200u);
    EXPECT_EQ(page.physUnit, 0);
    int wrong = 0;
    for (int y = 0; y < 2337; ++y) {
        for (int x = 0; x < 1653; ++x) {
            wrong += std::abs(page.At(x, y) - ExpectedGrey(scan.At(x, y))) > 1;
        }
    }
    EXPECT_EQ(wrong, 0) << "pixels of the top-left 1653 x 2337 that are not the scan's grey";
    EXPECT_EQ(NonWhiteIn(page, 1653, 1678), 0) << "the 25-pixel band on the right";
}

TEST_F(GreyPageTest, ASmallScanAt150DpiIsScaledAndPaddedOnlyInWidth) {
    DecodedPng page = MakeAndDecode(test::UniformBitmap(1000, 1000, {10, 20, 30}), 150);
    ASSERT_TRUE(page.ok);
    EXPECT_EQ(page.width, 1678u);
    EXPECT_EQ(page.height, 1353u);
    EXPECT_EQ(page.physX, 203u);
    EXPECT_NEAR(page.At(0, 0), 18, 1);
    EXPECT_NEAR(page.At(1352, 1352), 18, 1);
    EXPECT_EQ(NonWhiteIn(page, 1353, 1678), 0);
}

TEST_F(GreyPageTest, AnExactPageAt203DpiKeepsItsSizeAndPixels) {
    TestBitmap scan = test::PatternBitmap(1678, 2373, 24, 3u);
    DecodedPng page = MakeAndDecode(scan, 203);
    ASSERT_TRUE(page.ok);
    EXPECT_EQ(page.width, 1678u);
    EXPECT_EQ(page.height, 2373u);
    EXPECT_EQ(page.physX, 203u);
    int wrong = 0;
    for (int y = 0; y < 2373; y += 7) {
        for (int x = 0; x < 1678; ++x) {
            wrong += std::abs(page.At(x, y) - ExpectedGrey(scan.At(x, y))) > 1;
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(GreyPageTest, AScanLargerThanA4At203DpiIsCroppedToThePage) {
    TestBitmap scan = test::PatternBitmap(1700, 2400, 24, 4u);
    DecodedPng page = MakeAndDecode(scan, 203);
    ASSERT_TRUE(page.ok);
    EXPECT_EQ(page.width, 1678u);
    EXPECT_EQ(page.height, 2373u);
    EXPECT_NEAR(page.At(1677, 2372), ExpectedGrey(scan.At(1677, 2372)), 1);
}

TEST_F(GreyPageTest, TheTwoPixelToleranceDecidesBetweenPageSizeAndBand) {
    // 300 dpi: 2478 x 3504 scales to 1676.8 x 2371.1 and snaps to the page;
    // 2476 x 3503 scales to 1675.4 x 2370.4, too far, and keeps a 3-pixel band.
    DecodedPng snapped = MakeAndDecode(test::UniformBitmap(2478, 3504, {0, 0, 0}), 300, "a.bmp");
    ASSERT_TRUE(snapped.ok);
    EXPECT_EQ(snapped.width, 1678u);
    EXPECT_EQ(snapped.height, 2373u);
    EXPECT_EQ(snapped.At(1677, 0), 0);

    DecodedPng banded = MakeAndDecode(test::UniformBitmap(2476, 3503, {0, 0, 0}), 300, "b.bmp");
    ASSERT_TRUE(banded.ok);
    EXPECT_EQ(banded.width, 1678u);
    EXPECT_EQ(banded.height, 2370u);
    EXPECT_EQ(banded.At(1674, 0), 0);
    EXPECT_EQ(NonWhiteIn(banded, 1675, 1678), 0);
}

TEST_F(GreyPageTest, ASmallScanAt300DpiIsScaledDown) {
    DecodedPng page = MakeAndDecode(test::UniformBitmap(600, 400, {90, 90, 90}), 300);
    ASSERT_TRUE(page.ok);
    EXPECT_EQ(page.width, 1678u);
    EXPECT_EQ(page.height, 270u);
    EXPECT_NEAR(page.At(405, 269), 90, 1);
    EXPECT_EQ(NonWhiteIn(page, 406, 1678), 0);
}

TEST_F(GreyPageTest, GreyWeighsBlueWithRedsWeight) {
    TestBitmap scan = test::UniformBitmap(8, 3, {200, 100, 50});
    scan.pixels[1] = {255, 0, 0};
    scan.pixels[2] = {0, 0, 255};
    DecodedPng page = MakeAndDecode(scan, 200);
    ASSERT_TRUE(page.ok);
    EXPECT_EQ(page.At(0, 0), 124);  // 0.299 B + 0.587 G + 0.114 R; B and R swapped would be 96
    EXPECT_EQ(page.At(1, 0), 76);   // pure blue
    EXPECT_EQ(page.At(2, 0), 29);   // pure red
    EXPECT_EQ(page.At(8, 0), 255);
}

TEST_F(GreyPageTest, EveryScannerDepthMakesAPage) {
    for (int bits : {1, 4, 8}) {
        TestBitmap scan = test::PatternBitmap(33, 5, bits, 40u + bits);
        test::BmpLayout topDown;
        topDown.topDown = true;
        std::string name = "depth" + std::to_string(bits) + ".bmp";
        Result result = Make(PutScan(name, scan, topDown), 200);
        ASSERT_EQ(result.hr, S_OK) << bits;
        DecodedPng page = test::DecodePng(processed() / ("depth" + std::to_string(bits) + ".png"));
        ASSERT_TRUE(page.ok) << bits;
        EXPECT_EQ(page.height, 5u);
        EXPECT_NEAR(page.At(32, 0), ExpectedGrey(scan.At(32, 0)), 1) << bits;
        EXPECT_NEAR(page.At(0, 4), ExpectedGrey(scan.At(0, 4)), 1) << bits;
    }
}

TEST_F(GreyPageTest, AResolutionOfZeroOrLessIsRefusedBeforeAnything) {
    std::u16string scan = PutScan("1.bmp", test::UniformBitmap(10, 10, {1, 2, 3}));
    for (int dpi : {0, -1, -200, INT_MIN}) {
        Result result = Make(scan, dpi);
        EXPECT_EQ(result.hr, E_INVALIDARG) << dpi;
        EXPECT_EQ(result.page, kUntouched);
    }
    EXPECT_EQ(Make(test::Wide((scanned() / "absent.bmp").string()), 0).hr, E_INVALIDARG);
    EXPECT_TRUE(test::FolderListing(processed()).empty());
}

TEST_F(GreyPageTest, AScanThatCannotBeLoadedFails) {
    test::WriteFileBytes(scanned() / "text.bmp", "no bitmap here");
    std::string cut = test::EncodeBmp(test::PatternBitmap(100, 100, 24, 5u)).substr(0, 5000);
    test::WriteFileBytes(scanned() / "cut.bmp", cut);
    for (const char* name : {"absent.bmp", "text.bmp", "cut.bmp"}) {
        Result result = Make(test::Wide((scanned() / name).string()), 300);
        EXPECT_EQ(result.hr, E_FAIL) << name;
        EXPECT_EQ(result.page, kUntouched) << name;
    }
    EXPECT_EQ(Make(u"", 300).hr, E_FAIL);
    EXPECT_TRUE(test::FolderListing(processed()).empty());
}

TEST_F(GreyPageTest, AResolutionBeyondAnyScanFailsWithoutAPage) {
    // The scan shrinks to nothing, which the image library refuses.
    Result result = Make(PutScan("1.bmp", test::UniformBitmap(10, 10, {1, 2, 3})), INT_MAX);
    EXPECT_EQ(result.hr, E_FAIL);
    EXPECT_EQ(result.page, kUntouched);
    EXPECT_TRUE(test::FolderListing(processed()).empty());
}

class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::filesystem::path& path)
        : previous(std::filesystem::current_path()) {
        std::filesystem::current_path(path);
    }
    ~CurrentDirectory() { std::filesystem::current_path(previous); }

private:
    std::filesystem::path previous;
};

TEST_F(GreyPageTest, APathWithoutSeparatorOrDotMakesNoPageButSucceeds) {
    TestBitmap bitmap = test::UniformBitmap(10, 10, {1, 2, 3});
    PutScan("scan.bmp", bitmap);
    PutScan("scan", bitmap);
    std::filesystem::create_directory(scanned() / "batch.d");
    test::WriteFileBytes(scanned() / "batch.d" / "scan", test::EncodeBmp(bitmap));
    {
        CurrentDirectory inScanned(scanned());
        Result result = Make(u"scan.bmp", 300);
        EXPECT_EQ(result.hr, S_OK);
        EXPECT_EQ(result.page, kUntouched);
    }
    for (const auto& path : {scanned() / "scan", scanned() / "batch.d" / "scan"}) {
        Result result = Make(test::Wide(path.string()), 300);
        EXPECT_EQ(result.hr, S_OK) << path;
        EXPECT_EQ(result.page, kUntouched) << path;
    }
    EXPECT_TRUE(test::FolderListing(processed()).empty());
}

TEST_F(GreyPageTest, ThePageIsNamedAfterTheScanUpToItsLastDot) {
    Result result = Make(PutScan("17.3.bmp", test::UniformBitmap(4, 4, {1, 2, 3})), 300);
    EXPECT_EQ(result.hr, S_OK);
    EXPECT_EQ(result.page, processedWide() + u"/17.3.png");
    EXPECT_EQ(test::FolderListing(processed()), std::vector<std::string>{"17.3.png"});
}

TEST_F(GreyPageTest, NonAsciiFoldersAndNamesReachTheFileSystem) {
    std::filesystem::path folder = temp.path() / "Обработано";
    std::filesystem::create_directory(folder);
    std::u16string scan = PutScan("скан №1.bmp", test::UniformBitmap(4, 4, {1, 2, 3}));
    std::u16string page = kUntouched;
    ASSERT_EQ(DoGrayScale(scan, test::Wide(folder.string()), page, 300), S_OK);
    EXPECT_EQ(page, test::Wide((folder / "скан №1.png").string()));
    EXPECT_TRUE(test::DecodePng(folder / "скан №1.png").ok);
}

TEST_F(GreyPageTest, AnUnwritableProcessedFolderFailsWithoutAName) {
    std::u16string scan = PutScan("1.bmp", test::UniformBitmap(40, 40, {1, 2, 3}));
    test::WriteFileBytes(temp.path() / "file", "a file, not a folder");
    for (const char* folder : {"missing", "file"}) {
        std::u16string page = kUntouched;
        EXPECT_EQ(DoGrayScale(scan, test::Wide((temp.path() / folder).string()), page, 300), E_FAIL)
            << folder;
        EXPECT_EQ(page, kUntouched) << folder;
    }
    EXPECT_EQ(test::ReadFileBytes(temp.path() / "file"), "a file, not a folder");
    // A read-only folder stops only those whom permissions stop (not root).
    if (geteuid() != 0) {
        std::filesystem::permissions(
            processed(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        std::u16string page = kUntouched;
        EXPECT_EQ(DoGrayScale(scan, processedWide(), page, 300), E_FAIL);
        EXPECT_EQ(page, kUntouched);
        std::filesystem::permissions(processed(), std::filesystem::perms::owner_all);
    }
}

TEST_F(GreyPageTest, AnEarlierPageOfTheSameNameIsReplaced) {
    test::WriteFileBytes(processed() / "1.png", "an older page");
    DecodedPng page = MakeAndDecode(test::UniformBitmap(40, 40, {1, 2, 3}), 300);
    EXPECT_TRUE(page.ok);
    EXPECT_EQ(test::FolderListing(processed()), std::vector<std::string>{"1.png"});
}

TEST_F(GreyPageTest, AWriteCutShortLeavesNoPartialPageAndNoTemporaryFile) {
    std::u16string scan = PutScan("1.bmp", test::PatternBitmap(1700, 2400, 24, 6u));
    test::WriteFileBytes(processed() / "1.png", "an older page");
    Result result;
    {
        test::FileSizeLimit diskFull(4096);
        ASSERT_TRUE(diskFull.isActive());
        result = Make(scan, 200);
    }
    EXPECT_EQ(result.hr, E_FAIL);
    EXPECT_EQ(result.page, kUntouched);
    EXPECT_EQ(test::ReadFileBytes(processed() / "1.png"), "an older page");
    EXPECT_EQ(test::FolderListing(processed()), std::vector<std::string>{"1.png"});
}

}  // namespace
}  // namespace vexlo
