#include "agent/imaging/png_page_writer.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>

#include "agent/imaging/safe_file_writer.h"

namespace vexlo::imaging {
namespace {

// libpng reports errors by jumping back to the setjmp in EncodePage; its
// messages have no reader in the agent.
[[noreturn]] void OnPngError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void OnPngWarning(png_structp, png_const_charp) {}

class CPngWriteStruct {
public:
    CPngWriteStruct()
        : png(png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning)) {
        if (png != nullptr) {
            info = png_create_info_struct(png);
        }
    }
    ~CPngWriteStruct() { png_destroy_write_struct(&png, &info); }
    CPngWriteStruct(const CPngWriteStruct&) = delete;
    CPngWriteStruct& operator=(const CPngWriteStruct&) = delete;

    bool valid() const { return png != nullptr && info != nullptr; }
    png_structp png = nullptr;
    png_infop info = nullptr;
};

// Holds no object with a destructor: a libpng error leaves it by longjmp.
bool EncodePage(png_structp png, png_infop info, FILE* file, const cv::Mat& page, int level,
                int figure) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(page.cols),
                 static_cast<png_uint_32>(page.rows), 8, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, level);
    png_set_compression_strategy(png, Z_RLE);
    if (figure > 0) {
        png_set_pHYs(png, info, static_cast<png_uint_32>(figure), static_cast<png_uint_32>(figure),
                     PNG_RESOLUTION_UNKNOWN);
    }
    png_write_info(png, info);
    for (int y = 0; y < page.rows; ++y) {
        png_write_row(png, page.ptr<png_byte>(y));
    }
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

bool WritePngPage(const std::string& path, const cv::Mat& page, int compressionLevel,
                  int resolutionFigure) {
    if (page.empty() || page.type() != CV_8UC1) {
        return false;
    }
    compressionLevel = std::clamp(compressionLevel, Z_NO_COMPRESSION, Z_BEST_COMPRESSION);
    CSafeFileWriter writer(path);
    if (!writer.Open()) {
        return false;
    }
    CPngWriteStruct encoder;
    if (!encoder.valid() || !EncodePage(encoder.png, encoder.info, writer.Stream(), page,
                                        compressionLevel, resolutionFigure)) {
        return false;
    }
    return writer.Commit();
}

}  // namespace vexlo::imaging
