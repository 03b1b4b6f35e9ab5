// A bitmap file's header checked against the file before the image is
// decoded: a header that claims far more pixels than the file holds would
// otherwise make the decoder allocate gigabytes before it fails.
#pragma once

#include <cstdint>
#include <string>

namespace vexlo::imaging {

// The most pixels a compressed bitmap may claim (its size says nothing).
inline constexpr uint64_t kMostCompressedBitmapPixels = 100'000'000;

// False for a bitmap file ("BM") whose header cannot be true of the file: an
// uncompressed one must hold its pixel offset plus stride times height bytes,
// a compressed one may claim at most kMostCompressedBitmapPixels. True for
// any other file: its decoder judges it.
bool BitmapHeaderFitsFile(const std::string& path);

}  // namespace vexlo::imaging
