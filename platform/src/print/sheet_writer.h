// Sheets land as PNG files. The encoder lives in a module of its own
// (libw32spool.so beside the runtime, loaded on the first sheet), so that the
// runtime itself needs no image library.
#pragma once

#include <cstdint>
#include <string>

namespace w32::print {

// Writes RGB rows (3 bytes a pixel, no padding) as a PNG file.
bool WriteSheetPng(const std::string& path, int width, int height, const uint8_t* rgb);

}  // namespace w32::print
