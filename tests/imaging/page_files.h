// Reads the pages back with decoders independent of the writer under test:
// libpng's reading side for PNG, a plain chunk and marker walk for the file
// structure.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vexlo::test {

struct DecodedPng {
    bool ok = false;
    uint32_t width = 0;
    uint32_t height = 0;
    int bitDepth = 0;
    int colorType = -1;
    bool hasPhys = false;
    uint32_t physX = 0;
    uint32_t physY = 0;
    int physUnit = -1;
    std::vector<uint8_t> samples;  // rows of width x channels bytes, top row first
    int channels = 0;

    uint8_t At(int x, int y) const {
        return samples[(static_cast<size_t>(y) * width + x) * static_cast<size_t>(channels)];
    }
};

DecodedPng DecodePng(const std::filesystem::path& path);

struct PngChunk {
    std::string type;
    std::string data;
};
// The chunks in file order; empty when the signature is wrong or a chunk is
// cut short.
std::vector<PngChunk> ReadPngChunks(const std::string& bytes);

struct JpegFrame {
    bool ok = false;
    int width = 0;
    int height = 0;
    int components = 0;
};
// Size and component count from the first start-of-frame marker.
JpegFrame ReadJpegFrame(const std::string& bytes);

// Every file name in the folder, sorted.
std::vector<std::string> FolderListing(const std::filesystem::path& folder);

}  // namespace vexlo::test
