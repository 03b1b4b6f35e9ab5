// Writes one printed sheet as an 8-bit RGB PNG file.
#include <png.h>

#include <csetjmp>
#include <cstdio>

namespace {

struct File {
    FILE* file;
    ~File() {
        if (file != nullptr) {
            fclose(file);
        }
    }
};

bool Write(const char* path, int width, int height, const unsigned char* rgb) {
    File out{fopen(path, "wb")};
    if (out.file == nullptr) {
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr) {
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
        return false;
    }
    png_init_io(png, out.file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int row = 0; row < height; ++row) {
        png_write_row(png, rgb + static_cast<size_t>(row) * width * 3);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int W32SpoolWritePng(const char* path, int width,
                                                                       int height,
                                                                       const unsigned char* rgb) {
    if (path == nullptr || rgb == nullptr || width <= 0 || height <= 0 || width > 20000 ||
        height > 20000) {
        return 0;
    }
    return Write(path, width, height, rgb) ? 1 : 0;
}
