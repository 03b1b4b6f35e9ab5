// Scanned images written as BMP files from packed DIBs, including DIBs that
// do not hold what their header says.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "agent/scanning/dib_file.h"
#include "support/temp_dir.h"

namespace {

using vexlo::SaveDibToBmp;
using vexlo::test::ReadFileBytes;
using vexlo::test::TempDir;

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    std::memcpy(bytes.data() + at, &value, 4);
}
void Put16(std::vector<uint8_t>& bytes, size_t at, uint16_t value) {
    std::memcpy(bytes.data() + at, &value, 2);
}
uint32_t Get32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

size_t RowBytes(int width, int bits) {
    return ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
}

// A packed DIB: header of headerSize bytes, `entries` colour entries, rows
// whose first byte is the row's index (bottom-up as stored), and `slack`
// extra bytes (negative: that many missing).
struct DibSpec {
    int width = 8;
    int height = 4;
    uint16_t bits = 8;
    uint32_t headerSize = 40;
    uint32_t clrUsed = 0;
    int entries = 256;
    long slack = 0;
};

std::vector<uint8_t> DibBytes(const DibSpec& spec) {
    size_t rows = static_cast<size_t>(spec.height < 0 ? -spec.height : spec.height);
    size_t total = spec.headerSize + 4 * static_cast<size_t>(spec.entries) +
                   RowBytes(spec.width, spec.bits) * rows;
    std::vector<uint8_t> bytes(static_cast<size_t>(static_cast<long>(total) + spec.slack), 0);
    Put32(bytes, 0, spec.headerSize);
    Put32(bytes, 4, static_cast<uint32_t>(spec.width));
    Put32(bytes, 8, static_cast<uint32_t>(spec.height));
    Put16(bytes, 12, 1);
    Put16(bytes, 14, spec.bits);
    Put32(bytes, 20, 12345);  // biSizeImage, kept as it is
    Put32(bytes, 32, spec.clrUsed);
    for (int i = 0; i < spec.entries && spec.headerSize + 4 * i + 3 < bytes.size(); ++i) {
        bytes[spec.headerSize + 4 * i] = static_cast<uint8_t>(i + 1);
    }
    size_t pixels = spec.headerSize + 4 * static_cast<size_t>(spec.entries);
    for (size_t row = 0; row < rows; ++row) {
        size_t at = pixels + row * RowBytes(spec.width, spec.bits);
        if (at < bytes.size()) {
            bytes[at] = static_cast<uint8_t>(0xA0 + row);
        }
    }
    return bytes;
}

HGLOBAL ToGlobal(const std::vector<uint8_t>& bytes) {
    HGLOBAL dib = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    std::memcpy(GlobalLock(dib), bytes.data(), bytes.size());
    GlobalUnlock(dib);
    return dib;
}

class DibFile : public ::testing::Test {
protected:
    std::u16string File() const { return dir.wide("image.bmp"); }
    std::string Written() const { return ReadFileBytes(dir.path() / "image.bmp"); }
    HRESULT Save(const DibSpec& spec) {
        HGLOBAL dib = ToGlobal(DibBytes(spec));
        HRESULT result = SaveDibToBmp(dib, File());
        EXPECT_EQ(GlobalFlags(dib), static_cast<UINT>(GMEM_INVALID_HANDLE)) << "the DIB is freed";
        return result;
    }
    TempDir dir;
};

TEST_F(DibFile, AOneBitPage1700PixelsWideHasRowsOf216BytesAndPixelsAtByte62) {
    DibSpec spec{1700, 2200, 1, 40, 0, 2, 0};
    ASSERT_EQ(Save(spec), S_OK);
    std::string bytes = Written();
    ASSERT_EQ(bytes.size(), 62u + 216u * 2200u);
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    EXPECT_EQ(Get32(bytes, 2), bytes.size()) << "bfSize";
    EXPECT_EQ(Get32(bytes, 6), 0u) << "reserved";
    EXPECT_EQ(Get32(bytes, 10), 62u) << "bfOffBits";
    EXPECT_EQ(Get32(bytes, 14), 40u);
    EXPECT_EQ(Get32(bytes, 34), 12345u) << "biSizeImage unchanged";
    EXPECT_EQ(static_cast<uint8_t>(bytes[62]), 0xA0) << "the bottom row first, as delivered";
    EXPECT_EQ(static_cast<uint8_t>(bytes[62 + 216]), 0xA1);
}

TEST_F(DibFile, ColourTablesFollowTheDepth) {
    struct Case {
        uint16_t bits;
        int entries;
        uint32_t offBits;
    };
    for (Case c : {Case{8, 256, 1078}, Case{24, 0, 54}, Case{4, 16, 118}, Case{32, 0, 54}}) {
        DibSpec spec{10, 3, c.bits, 40, 0, c.entries, 0};
        ASSERT_EQ(Save(spec), S_OK) << c.bits;
        std::string bytes = Written();
        EXPECT_EQ(Get32(bytes, 10), c.offBits) << c.bits;
        EXPECT_EQ(bytes.size(), c.offBits + RowBytes(10, c.bits) * 3) << c.bits;
        if (c.entries > 0) {
            EXPECT_EQ(static_cast<uint8_t>(bytes[54]), 1) << "the table is copied";
        }
        EXPECT_EQ(static_cast<uint8_t>(bytes[c.offBits]), 0xA0) << c.bits;
    }
}

TEST_F(DibFile, ATopDownDibIsWrittenBottomUp) {
    DibSpec spec{8, -3, 8, 40, 0, 256, 0};
    ASSERT_EQ(Save(spec), S_OK);
    std::string bytes = Written();
    ASSERT_EQ(bytes.size(), 1078u + 8u * 3u);
    EXPECT_EQ(static_cast<int32_t>(Get32(bytes, 22)), 3) << "a positive height";
    EXPECT_EQ(static_cast<uint8_t>(bytes[1078]), 0xA2) << "the last stored row is the bottom one";
    EXPECT_EQ(static_cast<uint8_t>(bytes[1078 + 16]), 0xA0);
}

TEST_F(DibFile, AShortColourTableIsPaddedToTheFullOne) {
    DibSpec spec{8, 2, 8, 40, 4, 4, 0};  // biClrUsed 4: the pixels follow four entries
    ASSERT_EQ(Save(spec), S_OK);
    std::string bytes = Written();
    ASSERT_EQ(bytes.size(), 1078u + 8u * 2u);
    EXPECT_EQ(Get32(bytes, 50), 0u) << "biClrUsed: the full table is written";
    EXPECT_EQ(static_cast<uint8_t>(bytes[54 + 12]), 4) << "the fourth entry";
    EXPECT_EQ(static_cast<uint8_t>(bytes[54 + 16]), 0) << "padding";
    EXPECT_EQ(static_cast<uint8_t>(bytes[1078]), 0xA0) << "pixels read from after the short table";
}

TEST_F(DibFile, ALargerHeaderIsSkippedAndWrittenAsTheFortyByteOne) {
    DibSpec spec{8, 2, 24, 124, 0, 0, 0};
    ASSERT_EQ(Save(spec), S_OK);
    std::string bytes = Written();
    ASSERT_EQ(bytes.size(), 54u + 24u * 2u);
    EXPECT_EQ(Get32(bytes, 14), 40u);
    EXPECT_EQ(static_cast<uint8_t>(bytes[54]), 0xA0);
}

TEST_F(DibFile, ADibShorterThanItsHeaderSaysIsNotWrittenAndNotReadPast) {
    for (DibSpec spec : {DibSpec{1700, 2200, 1, 40, 0, 2, -1}, DibSpec{8, 4, 8, 40, 0, 256, -300},
                         DibSpec{8, 4, 8, 40, 0, 0, 0}}) {
        EXPECT_EQ(Save(spec), E_FAIL);
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "image.bmp"));
    }
}

TEST_F(DibFile, UnusableHeadersAndHandlesFail) {
    for (DibSpec spec : {DibSpec{0, 4, 8, 40, 0, 256, 0}, DibSpec{8, 0, 8, 40, 0, 256, 0},
                         DibSpec{8, 4, 0, 40, 0, 0, 0}, DibSpec{8, 4, 8, 20, 0, 256, 0}}) {
        EXPECT_EQ(Save(spec), E_FAIL);
    }
    EXPECT_EQ(SaveDibToBmp(nullptr, File()), E_FAIL);
    HGLOBAL tiny = GlobalAlloc(GMEM_MOVEABLE, 10);
    EXPECT_EQ(SaveDibToBmp(tiny, File()), E_FAIL);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "image.bmp"));
}

TEST_F(DibFile, AFileThatCannotBeCreatedFailsAndTheDibIsStillFreed) {
    HGLOBAL dib = ToGlobal(DibBytes(DibSpec{}));
    EXPECT_EQ(SaveDibToBmp(dib, dir.wide("missing/folder/image.bmp")), E_FAIL);
    EXPECT_EQ(GlobalFlags(dib), static_cast<UINT>(GMEM_INVALID_HANDLE));
}

TEST_F(DibFile, AnExistingFileIsReplaced) {
    vexlo::test::WriteFileBytes(dir.path() / "image.bmp", std::string(100000, 'x'));
    ASSERT_EQ(Save(DibSpec{}), S_OK);
    EXPECT_EQ(Written().size(), 1078u + 8u * 4u);
}

}  // namespace
