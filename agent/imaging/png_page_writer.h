// The fax page writer: a grey PNG with the page's resolution figure in its
// pHYs chunk, which OpenCV's own PNG encoder cannot write.
#pragma once

#include <opencv2/core.hpp>

#include <string>

namespace vexlo::imaging {

// Writes a one-channel 8-bit image as IHDR (grey, depth 8), pHYs (both axes
// the figure, unit unknown) when the figure is greater than 0, IDAT
// compressed at the zlib level with the Z_RLE strategy, and IEND; no other
// chunk. Written safely (see safe_file_writer.h). False when the image is not
// one-channel 8-bit or the file cannot be written.
bool WritePngPage(const std::string& path, const cv::Mat& page, int compressionLevel,
                  int resolutionFigure);

}  // namespace vexlo::imaging
