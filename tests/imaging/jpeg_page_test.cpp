// Colour pages: the scanned image re-encoded as a JPEG named from the clock.
#include "agent/imaging/fax_page.h"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "file_size_limit.h"
#include "page_files.h"
#include "scan_folders.h"
#include "test_bitmap.h"

namespace vexlo {
namespace {

using test::TestBitmap;

long long NowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// A smooth colour gradient, which JPEG keeps close to the original.
TestBitmap Gradient(int width, int height) {
    TestBitmap bitmap = test::UniformBitmap(width, height, {});
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            bitmap.pixels[static_cast<size_t>(y) * width + x] = {
                static_cast<uint8_t>(x * 255 / width), static_cast<uint8_t>(y * 255 / height),
                static_cast<uint8_t>(128)};
        }
    }
    return bitmap;
}

class JpegPageTest : public test::ScanFolders {
protected:
    // The seconds in a page name "<Processed>/<seconds>.jpg"; -1 when the
    // name has another shape.
    long long NameSeconds(const std::u16string& page) const {
        std::u16string prefix = processedWide() + u"/";
        if (page.rfind(prefix, 0) != 0 || page.size() < prefix.size() + 5 ||
            page.compare(page.size() - 4, 4, u".jpg") != 0) {
            return -1;
        }
        std::string digits;
        for (char16_t c : page.substr(prefix.size(), page.size() - prefix.size() - 4)) {
            if (c < u'0' || c > u'9') {
                return -1;
            }
            digits += static_cast<char>(c);
        }
        return std::atoll(digits.c_str());
    }
};

TEST_F(JpegPageTest, TheScanIsReencodedUnchangedUnderTheClocksName) {
    TestBitmap scan = Gradient(321, 123);
    std::u16string file = PutScan("colour.bmp", scan);
    std::u16string page = kUntouched;
    long long before = NowSeconds();
    ASSERT_EQ(ConvertToJpeg(file, processedWide(), page), S_OK);
    long long after = NowSeconds();

    long long seconds = NameSeconds(page);
    EXPECT_GE(seconds, before);
    EXPECT_LE(seconds, after);
    std::string name = std::to_string(seconds) + ".jpg";
    EXPECT_EQ(test::FolderListing(processed()), std::vector<std::string>{name});

    std::string bytes = test::ReadFileBytes(processed() / name);
    test::JpegFrame frame = test::ReadJpegFrame(bytes);
    ASSERT_TRUE(frame.ok);
    EXPECT_EQ(frame.width, 321);
    EXPECT_EQ(frame.height, 123);
    EXPECT_EQ(frame.components, 3);

    cv::Mat decoded =
        cv::imdecode(std::vector<uchar>(bytes.begin(), bytes.end()), cv::IMREAD_COLOR);
    ASSERT_EQ(decoded.size(), cv::Size(321, 123));
    double difference = 0;
    for (int y = 0; y < 123; ++y) {
        for (int x = 0; x < 321; ++x) {
            cv::Vec3b p = decoded.at<cv::Vec3b>(y, x);
            test::Bgr q = scan.At(x, y);
            difference += std::abs(p[0] - q.b) + std::abs(p[1] - q.g) + std::abs(p[2] - q.r);
        }
    }
    EXPECT_LT(difference / (321.0 * 123.0 * 3.0), 3.0) << "mean difference per sample";
}

TEST_F(JpegPageTest, PaletteScansBecomeColourJpegs) {
    std::u16string file = PutScan("mono.bmp", test::PatternBitmap(64, 48, 1, 9u));
    std::u16string page = kUntouched;
    ASSERT_EQ(ConvertToJpeg(file, processedWide(), page), S_OK);
    test::JpegFrame frame = test::ReadJpegFrame(test::ReadFileBytes(std::filesystem::path(page)));
    ASSERT_TRUE(frame.ok);
    EXPECT_EQ(frame.components, 3);
    EXPECT_EQ(frame.width, 64);
}

TEST_F(JpegPageTest, TwoPagesOfOneSecondShareTheName) {
    std::u16string first = PutScan("a.bmp", test::UniformBitmap(16, 16, {0, 0, 255}));
    std::u16string second = PutScan("b.bmp", test::UniformBitmap(32, 8, {255, 0, 0}));
    // Retried until both calls land in one second; each pair takes milliseconds.
    for (int attempt = 0; attempt < 5; ++attempt) {
        std::u16string pageA = kUntouched;
        std::u16string pageB = kUntouched;
        long long before = NowSeconds();
        ASSERT_EQ(ConvertToJpeg(first, processedWide(), pageA), S_OK);
        ASSERT_EQ(ConvertToJpeg(second, processedWide(), pageB), S_OK);
        if (NowSeconds() != before) {
            continue;
        }
        EXPECT_EQ(pageA, pageB);
        // The later page took the name.
        test::JpegFrame frame =
            test::ReadJpegFrame(test::ReadFileBytes(std::filesystem::path(pageB)));
        EXPECT_EQ(frame.width, 32);
        EXPECT_EQ(test::FolderListing(processed()).size(), 1u);
        return;
    }
    FAIL() << "no two calls within one second";
}

TEST_F(JpegPageTest, AScanThatCannotBeLoadedFails) {
    test::WriteFileBytes(scanned() / "text.bmp", "no bitmap");
    for (const char* name : {"absent.bmp", "text.bmp"}) {
        std::u16string page = kUntouched;
        EXPECT_EQ(ConvertToJpeg(test::Wide((scanned() / name).string()), processedWide(), page),
                  E_FAIL)
            << name;
        EXPECT_EQ(page, kUntouched) << name;
    }
    EXPECT_TRUE(test::FolderListing(processed()).empty());
}

TEST_F(JpegPageTest, AnUnwritableProcessedFolderFailsWithoutAName) {
    std::u16string file = PutScan("1.bmp", test::UniformBitmap(16, 16, {1, 2, 3}));
    std::u16string page = kUntouched;
    EXPECT_EQ(ConvertToJpeg(file, test::Wide((temp.path() / "missing").string()), page), E_FAIL);
    EXPECT_EQ(page, kUntouched);
}

TEST_F(JpegPageTest, AWriteCutShortLeavesNoPartialPage) {
    std::u16string file = PutScan("1.bmp", test::PatternBitmap(400, 400, 24, 10u));
    std::u16string page = kUntouched;
    HRESULT hr = S_OK;
    {
        test::FileSizeLimit diskFull(4096);
        ASSERT_TRUE(diskFull.isActive());
        hr = ConvertToJpeg(file, processedWide(), page);
    }
    EXPECT_EQ(hr, E_FAIL);
    EXPECT_EQ(page, kUntouched);
    EXPECT_TRUE(test::FolderListing(processed()).empty());
}

}  // namespace
}  // namespace vexlo
