// The cut-line bitmap resource: a red (237, 28, 36) dash-dot line across a
// white strip of 1728 x 42 pixels, 24 bits per pixel, stored as a packed DIB
// (BITMAPINFOHEADER, bottom-up rows padded to 32-bit words).
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "agent/imaging/print_drawing.h"

namespace vexlo {
namespace {

constexpr int kStride = (kCutLineWidth * 3 + 3) / 4 * 4;
constexpr size_t kSize = sizeof(BITMAPINFOHEADER) + static_cast<size_t>(kStride) * kCutLineHeight;

// Dash, gap, dot, gap along the line; the line is four rows thick.
bool OnLine(int x, int row) {
    constexpr int kDash = 48, kGap = 12, kDot = 8;
    int at = x % (kDash + kGap + kDot + kGap);
    bool inked = at < kDash || (at >= kDash + kGap && at < kDash + kGap + kDot);
    return inked && row >= 19 && row < 23;
}

const uint8_t* CutLineDib() {
    static const std::vector<uint8_t> dib = [] {
        std::vector<uint8_t> bytes(kSize, 0xFF);
        BITMAPINFOHEADER header = {};
        header.biSize = sizeof header;
        header.biWidth = kCutLineWidth;
        header.biHeight = kCutLineHeight;  // bottom-up
        header.biPlanes = 1;
        header.biBitCount = 24;
        header.biCompression = BI_RGB;
        header.biSizeImage = static_cast<DWORD>(kStride) * kCutLineHeight;
        memcpy(bytes.data(), &header, sizeof header);
        for (int row = 0; row < kCutLineHeight; ++row) {
            uint8_t* line = bytes.data() + sizeof header +
                            static_cast<size_t>(kCutLineHeight - 1 - row) * kStride;
            for (int x = 0; x < kCutLineWidth; ++x) {
                if (OnLine(x, row)) {
                    line[x * 3] = 36;       // blue
                    line[x * 3 + 1] = 28;   // green
                    line[x * 3 + 2] = 237;  // red
                }
            }
        }
        return bytes;
    }();
    return dib.data();
}

}  // namespace

HRESULT LoadCutLineBitmap(HINSTANCE instance, HBITMAP* bitmap) {
    if (bitmap == nullptr) {
        return E_POINTER;
    }
    *bitmap = LoadBitmapW(instance, MAKEINTRESOURCEW(kCutLineBitmapId));
    return *bitmap != nullptr ? S_OK : E_FAIL;
}

HINSTANCE ImagingModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&LoadCutLineBitmap), &module);
    return module;
}

}  // namespace vexlo

W32_RESOURCE(RT_BITMAP, vexlo::kCutLineBitmapId, vexlo::CutLineDib(), vexlo::kSize)
