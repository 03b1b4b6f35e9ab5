// The image operations that page making is built from, on OpenCV. Images are
// cv::Mat of 8 bits a channel and release themselves. Every operation may
// throw cv::Exception or std::bad_alloc; page making turns both into E_FAIL.
// Paths are multibyte strings in the thread's ANSI code page.
#pragma once

#include <opencv2/core.hpp>

#include <span>
#include <string>

namespace vexlo::imaging {

// Write parameter codes of SaveImage, given as (code, value) pairs.
inline constexpr int kSavePngCompression = 16;  // zlib level 0 to 9
inline constexpr int kSavePngResolution = 62;   // pHYs figure of a grey PNG; > 0 writes the chunk

// Three channels, blue, green, red, top row first; empty when the file is
// missing, its header is refused (see image_header.h) or it is no image that
// can be decoded.
cv::Mat LoadColorImage(const std::string& path);

cv::Mat CreateImage(int width, int height, int channels);

// The region of the image, sharing its pixels (the image stays alive as long
// as the region does).
cv::Mat Region(const cv::Mat& image, const cv::Rect& region);

// Copies the image into the target with its top-left corner at the point.
void PasteImage(const cv::Mat& image, cv::Mat& target, cv::Point at);

// One channel: 0.299 x first + 0.587 x second + 0.114 x third channel. On
// images loaded as B, G, R that weighs blue with red's weight and red with
// blue's, which is the grey the fax pages have always had.
cv::Mat ConvertRgbToGray(const cv::Mat& image);

cv::Mat ResizeCubic(const cv::Mat& image, int width, int height);

void FillImage(cv::Mat& image, const cv::Scalar& value);

// Writes the image under the path, the format chosen by the extension. A grey
// 8-bit image saved as .png goes to the fax page writer (see png_page_writer.h),
// which takes kSavePngCompression and kSavePngResolution; any other image is
// encoded by OpenCV with the parameters as given. The file is written safely:
// false, and nothing under the path's name, when the write fails; an earlier
// file of that name then stays as it was. An extension that no encoder
// knows throws cv::Exception.
bool SaveImage(const std::string& path, const cv::Mat& image, std::span<const int> params = {});

}  // namespace vexlo::imaging
