#include "agent/imaging/print_drawing.h"

#include <opencv2/core.hpp>

#include <cstring>
#include <new>

#include "agent/imaging/ansi_path.h"
#include "agent/imaging/image_adapter.h"
#include "agent/imaging/gdi_handles.h"
#include "framework/raii.h"

namespace vexlo {
namespace {

// Rows * width in single precision, as the sheet layout has always been
// computed: `scale` = printable width / image width.
int ScaledHeight(int printableWidth, int width, int height) {
    float scale = static_cast<float>(printableWidth) / static_cast<float>(width);
    return static_cast<int>(scale * static_cast<float>(height));
}

bool SizeOf(HBITMAP bitmap, int* width, int* height) {
    BITMAP info = {};
    if (GetObjectW(bitmap, sizeof info, &info) == 0 || info.bmWidth <= 0 || info.bmHeight <= 0) {
        return false;
    }
    *width = info.bmWidth;
    *height = info.bmHeight;
    return true;
}

}  // namespace

HRESULT CreateDibFromImageFile(const std::u16string& imageFile, HBITMAP* bitmap) {
    if (bitmap == nullptr) {
        return E_POINTER;
    }
    *bitmap = nullptr;
    try {
        cv::Mat image = imaging::LoadColorImage(imaging::ToAnsiPath(imageFile));
        if (image.empty() || image.channels() != 3) {
            return E_FAIL;
        }
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = image.cols;
        info.bmiHeader.biHeight = -image.rows;  // every loaded image is stored top row first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        unique_hbitmap section(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (!section || bits == nullptr) {
            return E_FAIL;
        }
        size_t stride = (static_cast<size_t>(image.cols) * 3 + 3) / 4 * 4;
        cv::Mat rows(image.rows, image.cols, CV_8UC3, bits, stride);
        image.copyTo(rows);
        *bitmap = section.release();
        return S_OK;
    } catch (const cv::Exception&) {
        return E_FAIL;
    } catch (const std::bad_alloc&) {
        return E_FAIL;
    }
}

int BeginPrintPage(HDC printer) {
    int started = StartPage(printer);
    if (started <= 0) {
        return started;
    }
    int horz = GetDeviceCaps(printer, HORZRES);
    int vert = GetDeviceCaps(printer, VERTRES);
    SetMapMode(printer, MM_ISOTROPIC);
    SetWindowExtEx(printer, horz, vert, nullptr);
    SetViewportExtEx(printer, horz, vert, nullptr);
    SetViewportOrgEx(printer, 0, 0, nullptr);
    return started;
}

int StretchBitmapToPage(HDC printer, HBITMAP bitmap, int y, bool cropMargins) {
    int width = 0;
    int height = 0;
    int horz = GetDeviceCaps(printer, HORZRES);
    int vert = GetDeviceCaps(printer, VERTRES);
    if (!SizeOf(bitmap, &width, &height) || horz <= 0 || vert <= 0 || y < 0) {
        return -1;  // a bitmap of no size is not drawn
    }
    unique_hdc memory(CreateCompatibleDC(printer));
    if (!memory) {
        return -1;
    }
    HGDIOBJ previous = SelectObject(memory.get(), bitmap);
    if (previous == nullptr || previous == HGDI_ERROR) {
        return -1;
    }
    int destHeight = ScaledHeight(horz, width, height);

    int left = 0;
    int top = 0;
    int sourceWidth = width;
    int sourceHeight = height;
    int physicalWidth = GetDeviceCaps(printer, PHYSICALWIDTH);
    if (cropMargins && physicalWidth > 0) {
        // The image stands for the whole physical sheet: the printer's
        // margins are cut off it (the left one for the right one too).
        float ratio = static_cast<float>(physicalWidth) / static_cast<float>(width);
        int offsetX = GetDeviceCaps(printer, PHYSICALOFFSETX);
        int offsetY = GetDeviceCaps(printer, PHYSICALOFFSETY);
        int physicalHeight = GetDeviceCaps(printer, PHYSICALHEIGHT);
        int cropLeft = static_cast<int>(static_cast<float>(offsetX) / ratio);
        int cropTop = static_cast<int>(static_cast<float>(offsetY) / ratio);
        int cropBottom =
            static_cast<int>(static_cast<float>(physicalHeight - offsetY - vert) / ratio);
        int croppedWidth = width - 2 * cropLeft;
        int croppedHeight = height - cropBottom - cropTop;
        // A crop that leaves nothing draws the image whole.
        if (cropLeft >= 0 && cropTop >= 0 && cropBottom >= 0 && croppedWidth > 0 &&
            croppedHeight > 0) {
            left = cropLeft;
            top = cropTop;
            sourceWidth = croppedWidth;
            sourceHeight = croppedHeight;
        }
    }
    BOOL drawn = StretchBlt(printer, 0, y, horz, destHeight, memory.get(), left, top, sourceWidth,
                            sourceHeight, SRCCOPY);
    SelectObject(memory.get(), previous);
    return drawn ? y + destHeight : -1;
}

int DrawPageImage(HDC printer, const std::u16string& imageFile, int y) {
    HBITMAP loaded = nullptr;
    if (FAILED(CreateDibFromImageFile(imageFile, &loaded))) {
        return -1;
    }
    unique_hbitmap bitmap(loaded);
    return StretchBitmapToPage(printer, bitmap.get(), y, true);
}

int DrawCutLine(HDC printer, int y) {
    HBITMAP loaded = nullptr;
    if (FAILED(LoadCutLineBitmap(ImagingModule(), &loaded))) {
        return -1;
    }
    unique_hbitmap bitmap(loaded);
    return StretchBitmapToPage(printer, bitmap.get(), y, false);
}

bool NextImageFits(HDC printer, int y, const std::u16string& nextImageFile) {
    int vert = GetDeviceCaps(printer, VERTRES);
    int horz = GetDeviceCaps(printer, HORZRES);
    int width = 0;
    int height = 0;
    HBITMAP loaded = nullptr;
    if (FAILED(LoadCutLineBitmap(ImagingModule(), &loaded))) {
        return false;
    }
    {
        unique_hbitmap cutLine(loaded);
        if (!SizeOf(cutLine.get(), &width, &height)) {
            return false;
        }
    }
    int cutHeight = ScaledHeight(horz, width, height);
    if (cutHeight + y >= vert) {
        return false;
    }
    if (FAILED(CreateDibFromImageFile(nextImageFile, &loaded))) {
        return false;
    }
    {
        unique_hbitmap next(loaded);
        if (!SizeOf(next.get(), &width, &height)) {
            return false;
        }
    }
    int imageHeight = ScaledHeight(horz, width, height);
    int limit = vert - vert / 10 - y;
    return imageHeight + cutHeight < limit;
}

}  // namespace vexlo
