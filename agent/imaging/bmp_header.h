// A bitmap file's header checked against the file before the image is
// decoded: a header that claims far more pixels than the file holds would
// otherwise make the decoder allocate gigabytes before it fails.
#pragma once

#include <string>

#include "agent/imaging/image_header.h"

namespace vexlo::imaging {

// False for a bitmap file ("BM") whose header cannot be true of the file: an
// uncompressed one must hold its pixel offset plus stride times height bytes,
// and no bitmap may claim more than kMostImagePixels. True for
// any other file: its decoder judges it.
bool BitmapHeaderFitsFile(const std::string& path);

}  // namespace vexlo::imaging
