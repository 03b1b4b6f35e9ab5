#include "agent/imaging/page_geometry.h"

#include <gtest/gtest.h>

#include <climits>

namespace vexlo::imaging {
namespace {

TEST(ScaleFactor, IsTheResolutionOver203InSinglePrecision) {
    EXPECT_EQ(ScaleFactor(300), static_cast<float>(300 / 203.0));
    EXPECT_EQ(ScaleFactor(203), 1.0f);
    EXPECT_EQ(ScaleFactor(200), static_cast<float>(200 / 203.0));
}

TEST(CropLimits, TruncateTheScaledA4Sheet) {
    EXPECT_EQ(CropLimits(ScaleFactor(300)), (Size{2479, 3506}));
    EXPECT_EQ(CropLimits(ScaleFactor(200)), (Size{1653, 2337}));
    EXPECT_EQ(CropLimits(ScaleFactor(150)), (Size{1239, 1753}));
    EXPECT_EQ(CropLimits(ScaleFactor(203)), (Size{kPageWidth, kPageHeight}));
}

TEST(CropLimits, SaturateForResolutionsBeyondAnyImage) {
    Size limits = CropLimits(ScaleFactor(INT_MAX));
    EXPECT_EQ(limits.width, INT_MAX);
    EXPECT_EQ(limits.height, INT_MAX);
}

TEST(ScaledSize, ToleranceAbsorbsTheTruncationOfTheCrop) {
    // 2479 / s = 1677.45 and 3506 / s = 2372.4: both snap to the page.
    EXPECT_EQ(ScaledSize({2479, 3506}, ScaleFactor(300)), (Size{kPageWidth, kPageHeight}));
    EXPECT_EQ(ScaledSize({1239, 1753}, ScaleFactor(150)), (Size{kPageWidth, kPageHeight}));
    EXPECT_EQ(ScaledSize({kPageWidth, kPageHeight}, ScaleFactor(203)),
              (Size{kPageWidth, kPageHeight}));
}

TEST(ScaledSize, SidesOutsideTheToleranceAreOnlyTruncated) {
    // 2476 / s = 1675.43 (2.57 short) stays; 2478 / s = 1676.78 snaps.
    EXPECT_EQ(ScaledSize({2476, 3503}, ScaleFactor(300)), (Size{1675, 2370}));
    EXPECT_EQ(ScaledSize({2478, 3504}, ScaleFactor(300)), (Size{kPageWidth, kPageHeight}));
    EXPECT_EQ(ScaledSize({1000, 1000}, ScaleFactor(150)), (Size{1353, 1353}));
    EXPECT_EQ(ScaledSize({600, 400}, ScaleFactor(300)), (Size{406, 270}));
}

TEST(ScaledSize, FullSheetsOfScannerResolutionsFillThePage) {
    for (int dpi : {72, 100, 150, 240, 250, 300, 400, 500, 600, 1200}) {
        float scale = ScaleFactor(dpi);
        EXPECT_EQ(ScaledSize(CropLimits(scale), scale), (Size{kPageWidth, kPageHeight}))
            << dpi << " dpi";
    }
    // At 75 dpi the crop loses 2.6 page pixels of width; padding restores them.
    float scale = ScaleFactor(75);
    EXPECT_EQ(ScaledSize(CropLimits(scale), scale), (Size{1675, kPageHeight}));
}

TEST(ResolutionFigure, Is200OnlyForExactly200Dpi) {
    EXPECT_EQ(ResolutionFigure(200), 200);
    EXPECT_EQ(ResolutionFigure(199), 203);
    EXPECT_EQ(ResolutionFigure(201), 203);
    EXPECT_EQ(ResolutionFigure(300), 203);
    EXPECT_EQ(ResolutionFigure(203), 203);
}

}  // namespace
}  // namespace vexlo::imaging
