// A module's version block (the VS_VERSIONINFO resource): the fixed file
// information and one string table, laid out as Windows resource compilers
// write it, so that any version reader finds its values.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vexlo {

// The resource id and the fixed part's values.
inline constexpr uint16_t kVersionResourceId = 1;  // VS_VERSION_INFO
inline constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
inline constexpr uint32_t kFixedFileInfoStructVersion = 0x00010000;
inline constexpr uint32_t kFileFlagsMask = 0x3F;   // VS_FFI_FILEFLAGSMASK
inline constexpr uint32_t kFileOsWindows32 = 0x4;  // VOS__WINDOWS32
inline constexpr uint32_t kFileTypeApp = 1;        // VFT_APP
inline constexpr uint32_t kFileTypeDll = 2;        // VFT_DLL

struct VersionBlockContent {
    uint16_t fileVersion[4] = {};
    uint16_t productVersion[4] = {};
    uint32_t fileType = kFileTypeDll;
    uint16_t language = 0x0409;
    uint16_t codePage = 0x04E4;
    // The string table, in the order written.
    std::vector<std::pair<std::u16string, std::u16string>> strings;
};

std::vector<uint8_t> BuildVersionBlock(const VersionBlockContent& content);

}  // namespace vexlo
