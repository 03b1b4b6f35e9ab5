// An image file's header read before the image is decoded: the decoders
// allocate for the size a header claims, so a few bytes could otherwise make
// them reserve gigabytes. Every format is held to the same pixel cap.
#pragma once

#include <cstdint>
#include <string>

namespace vexlo::imaging {

// The most pixels an image may claim: an A4 page at 600 dpi has 35 million.
inline constexpr uint64_t kMostImagePixels = 100'000'000;

// Empty when the file may go to its decoder: a BMP, PNG, JPEG or TIFF whose
// header claims at most kMostImagePixels (a bitmap also no more than its file
// holds), or a file that cannot be opened (its decoder reports it). Otherwise
// why the file is refused.
std::string ImageHeaderRefusal(const std::string& path);

}  // namespace vexlo::imaging
