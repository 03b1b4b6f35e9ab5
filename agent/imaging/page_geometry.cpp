#include "agent/imaging/page_geometry.h"

#include <climits>
#include <cmath>

namespace vexlo::imaging {
namespace {

// Truncation toward zero that saturates instead of overflowing, for absurd
// resolutions whose limits do not fit an int.
int TruncateToInt(double value) {
    if (!(value > INT_MIN)) {
        return INT_MIN;
    }
    if (!(value < INT_MAX)) {
        return INT_MAX;
    }
    return static_cast<int>(value);
}

float SnapToPageSide(float side, float pageSide) {
    return std::fabs(side - pageSide) <= kSizeTolerance ? pageSide : side;
}

}  // namespace

float ScaleFactor(int dpi) {
    return static_cast<float>(dpi / kReferenceDpi);
}

Size CropLimits(float scale) {
    return {TruncateToInt(scale * static_cast<double>(kPageWidth)),
            TruncateToInt(scale * static_cast<double>(kPageHeight))};
}

Size ScaledSize(Size image, float scale) {
    float width = static_cast<float>(image.width) / scale;
    float height = static_cast<float>(image.height) / scale;
    width = SnapToPageSide(width, static_cast<float>(kPageWidth));
    height = SnapToPageSide(height, static_cast<float>(kPageHeight));
    return {TruncateToInt(width), TruncateToInt(height)};
}

int ResolutionFigure(int dpi) {
    return dpi == 200 ? 200 : 203;
}

}  // namespace vexlo::imaging
