// A Scanned and a Processed folder in a fresh temporary folder, as the agent's
// data folder has them, with helpers to place scanned bitmaps.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/temp_dir.h"
#include "test_bitmap.h"

namespace vexlo::test {

class ScanFolders : public ::testing::Test {
protected:
    ScanFolders() {
        std::filesystem::create_directory(scanned());
        std::filesystem::create_directory(processed());
    }

    std::filesystem::path scanned() const { return temp.path() / "Scanned"; }
    std::filesystem::path processed() const { return temp.path() / "Processed"; }
    std::u16string processedWide() const { return Wide(processed().string()); }

    // Writes the bitmap as Scanned/<name> and returns its wide path.
    std::u16string PutScan(const std::string& name, const TestBitmap& bitmap,
                           const BmpLayout& layout = {}) const {
        std::filesystem::path path = scanned() / name;
        WriteFileBytes(path, EncodeBmp(bitmap, layout));
        return Wide(path.string());
    }

    // What a caller puts into the out name before the call, to see that a
    // failure leaves it alone.
    static constexpr const char16_t* kUntouched = u"untouched";

    TempDir temp;
};

}  // namespace vexlo::test
