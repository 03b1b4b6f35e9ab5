#include "agent/imaging/fax_page.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <exception>
#include <new>
#include <optional>

#include "agent/imaging/ansi_path.h"
#include "agent/imaging/image_adapter.h"
#include "agent/imaging/page_geometry.h"

namespace vexlo {
namespace {

using namespace imaging;

constexpr int kPngCompressionLevel = 9;
const cv::Scalar kWhite(255, 255, 255, 0);

std::u16string AsciiToWide(const std::string& text) {
    return {text.begin(), text.end()};
}

// The scanned file's name between its last separator and its last '.'; none
// when the path has no separator or the file name has no '.'.
std::optional<std::u16string> ScanBaseName(const std::u16string& scannedFile) {
    size_t separator = scannedFile.rfind(kPathSeparator);
    size_t dot = scannedFile.rfind(u'.');
    // A '.' in a folder name is no extension of the file.
    if (separator == std::u16string::npos || dot == std::u16string::npos || dot < separator) {
        return std::nullopt;
    }
    return scannedFile.substr(separator + 1, dot - separator - 1);
}

// "%s\%s.%s" with the Processed folder, the base name and the extension.
std::u16string PagePath(const std::u16string& folder, const std::u16string& baseName,
                        const char16_t* extension) {
    return folder + kPathSeparator + baseName + u'.' + extension;
}

// The grey page itself: load, crop to A4, grey, scale to 203 dpi, pad
// the width. Empty when the scan cannot be loaded.
cv::Mat MakeGreyPage(const std::string& scannedPath, int dpi, float scale) {
    cv::Mat image = LoadColorImage(scannedPath);
    if (image.empty()) {
        return {};
    }
    Size limits = CropLimits(scale);
    if (image.cols > limits.width || image.rows > limits.height) {
        // The grey conversion below makes the new image of the crop; taking
        // the region in place spares a second full-size colour copy.
        image = Region(image, cv::Rect(0, 0, std::min(image.cols, limits.width),
                                       std::min(image.rows, limits.height)));
    }
    image = ConvertRgbToGray(image);
    if (dpi != 200) {
        Size scaled = ScaledSize({image.cols, image.rows}, scale);
        image = ResizeCubic(image, scaled.width, scaled.height);
    }
    if (image.cols < kPageWidth) {
        cv::Mat page = CreateImage(kPageWidth, image.rows, 1);
        FillImage(page, kWhite);
        PasteImage(image, page, cv::Point(0, 0));
        image = page;
    }
    return image;
}

// Runs one page operation; a failure of the image library, OpenCV's
// exceptions and allocation failures included, becomes E_FAIL.
template <typename Operation>
HRESULT GuardImageLibrary(Operation&& operation) {
    try {
        return operation();
    } catch (const cv::Exception&) {
        return E_FAIL;
    } catch (const std::bad_alloc&) {
        return E_FAIL;
    } catch (const std::exception&) {
        return E_FAIL;
    }
}

}  // namespace

HRESULT DoGrayScale(const std::u16string& scannedFile, const std::u16string& processedFolder,
                    std::u16string& pageFile, INT dpi) {
    if (dpi <= 0) {
        return E_INVALIDARG;
    }
    return GuardImageLibrary([&]() -> HRESULT {
        float scale = ScaleFactor(dpi);
        cv::Mat page = MakeGreyPage(ToAnsiPath(scannedFile), dpi, scale);
        if (page.empty()) {
            return E_FAIL;
        }
        std::optional<std::u16string> baseName = ScanBaseName(scannedFile);
        if (!baseName) {
            return S_OK;
        }
        std::u16string pagePath = PagePath(processedFolder, *baseName, u"png");
        const std::array<int, 4> params = {kSavePngCompression, kPngCompressionLevel,
                                           kSavePngResolution, ResolutionFigure(dpi)};
        // A page that could not be written is a failure, not a page.
        if (!SaveImage(ToAnsiPath(pagePath), page, params)) {
            return E_FAIL;
        }
        pageFile = pagePath;
        return S_OK;
    });
}

HRESULT ConvertToJpeg(const std::u16string& scannedFile, const std::u16string& processedFolder,
                      std::u16string& pageFile) {
    return GuardImageLibrary([&]() -> HRESULT {
        // "%s\%I64d.%s": the clock in seconds since 1970.
        long long seconds = std::chrono::duration_cast<std::chrono::seconds>(
                                std::chrono::system_clock::now().time_since_epoch())
                                .count();
        std::u16string pagePath =
            PagePath(processedFolder, AsciiToWide(std::to_string(seconds)), u"jpg");
        cv::Mat image = LoadColorImage(ToAnsiPath(scannedFile));
        if (image.empty()) {
            return E_FAIL;
        }
        if (!SaveImage(ToAnsiPath(pagePath), image)) {
            return E_FAIL;
        }
        pageFile = pagePath;
        return S_OK;
    });
}

}  // namespace vexlo
