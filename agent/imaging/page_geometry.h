// The arithmetic of a grey fax page: an A4 sheet at the reference resolution
// of 203 dpi, and how a scan of another resolution is cropped to it and scaled.
#pragma once

namespace vexlo::imaging {

inline constexpr int kPageWidth = 1678;   // 210 mm at 203 dpi
inline constexpr int kPageHeight = 2373;  // 297 mm at 203 dpi
inline constexpr double kReferenceDpi = 203.0;
inline constexpr float kSizeTolerance = 2.0f;  // pixels either way that snap to the page size

struct Size {
    int width = 0;
    int height = 0;
    bool operator==(const Size&) const = default;
};

// Resolution / 203, divided in double precision and kept in single precision.
float ScaleFactor(int dpi);

// The largest part of the scan that covers one A4 sheet: scale x page size,
// truncated toward zero.
Size CropLimits(float scale);

// The scan (already cropped) scaled by 1 / scale; a side within the tolerance
// of the page's side becomes exactly that side.
Size ScaledSize(Size image, float scale);

// The figure written into the page's pHYs chunk.
int ResolutionFigure(int dpi);

}  // namespace vexlo::imaging
