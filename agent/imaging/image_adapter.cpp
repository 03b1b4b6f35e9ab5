#include "agent/imaging/image_adapter.h"

#include <windows.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

#include "agent/imaging/image_header.h"
#include "agent/imaging/png_page_writer.h"
#include "agent/imaging/safe_file_writer.h"

namespace vexlo::imaging {
namespace {

// OpenCV's own default, for a PNG saved without a level.
constexpr int kDefaultPngCompression = 1;

// The extension with its dot, lower-cased; empty when the file name has none.
std::string Extension(const std::string& path) {
    size_t dot = path.rfind('.');
    size_t slash = path.rfind(kPathSeparatorA);
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return {};
    }
    std::string extension = path.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

int ParameterValue(std::span<const int> params, int code, int fallback) {
    for (size_t i = 0; i + 1 < params.size(); i += 2) {
        if (params[i] == code) {
            return params[i + 1];
        }
    }
    return fallback;
}

bool FileCanBeOpened(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    std::fclose(file);
    return true;
}

}  // namespace

cv::Mat LoadColorImage(const std::string& path) {
    // A missing file is an ordinary failure here; asking first keeps OpenCV
    // from printing its warning for it.
    if (path.empty() || !FileCanBeOpened(path)) {
        return {};
    }
    // A header that claims too much is refused before the decoder allocates
    // for it, whatever the format.
    if (!ImageHeaderRefusal(path).empty()) {
        return {};
    }
    return cv::imread(path, cv::IMREAD_COLOR);
}

cv::Mat CreateImage(int width, int height, int channels) {
    return cv::Mat(height, width, CV_8UC(channels));
}

cv::Mat Region(const cv::Mat& image, const cv::Rect& region) {
    return image(region);
}

void PasteImage(const cv::Mat& image, cv::Mat& target, cv::Point at) {
    cv::Mat area = target(cv::Rect(at, image.size()));
    image.copyTo(area);
}

cv::Mat ConvertRgbToGray(const cv::Mat& image) {
    cv::Mat grey;
    cv::cvtColor(image, grey, cv::COLOR_RGB2GRAY);
    return grey;
}

cv::Mat ResizeCubic(const cv::Mat& image, int width, int height) {
    cv::Mat resized;
    cv::resize(image, resized, cv::Size(width, height), 0, 0, cv::INTER_CUBIC);
    return resized;
}

void FillImage(cv::Mat& image, const cv::Scalar& value) {
    image.setTo(value);
}

bool SaveImage(const std::string& path, const cv::Mat& image, std::span<const int> params) {
    std::string extension = Extension(path);
    if (extension == ".png" && image.type() == CV_8UC1) {
        return WritePngPage(path, image,
                            ParameterValue(params, kSavePngCompression, kDefaultPngCompression),
                            ParameterValue(params, kSavePngResolution, 0));
    }
    std::vector<uchar> encoded;
    if (!cv::imencode(extension, image, encoded, std::vector<int>(params.begin(), params.end()))) {
        return false;
    }
    return WriteFileSafely(path, encoded.data(), encoded.size());
}

}  // namespace vexlo::imaging
