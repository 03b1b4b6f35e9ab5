// The GDI behaviour the agent relies on: object ownership and selection,
// DIB sections with real pixels, bitmap resources, map modes and StretchBlt.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <vector>

namespace {

DWORD GdiObjects() {
    return GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
}

HBITMAP MakeSection(int width, int height, int bits, void** pixels) {
    // Room for a full colour table: the section reads one for 1 and 8 bits.
    struct {
        BITMAPINFOHEADER bmiHeader;
        RGBQUAD colours[256];
    } info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = static_cast<WORD>(bits);
    info.bmiHeader.biCompression = BI_RGB;
    return CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS,
                            pixels, nullptr, 0);
}

TEST(GdiObjects, MemoryDcSelectionAndDeletion) {
    DWORD before = GdiObjects();
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    void* bits = nullptr;
    HBITMAP bitmap = MakeSection(4, 4, 24, &bits);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(GdiObjects(), before + 2);

    // A fresh memory DC holds a 1x1 stock bitmap, which SelectObject hands back.
    HGDIOBJ stock = SelectObject(dc, bitmap);
    ASSERT_NE(stock, nullptr);
    BITMAP info{};
    ASSERT_EQ(GetObjectW(stock, sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.bmWidth, 1);
    EXPECT_EQ(info.bmHeight, 1);

    // A selected bitmap is in one DC only and cannot be deleted.
    HDC other = CreateCompatibleDC(dc);
    EXPECT_EQ(SelectObject(other, bitmap), nullptr);
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_EQ(SelectObject(dc, stock), bitmap);
    EXPECT_NE(SelectObject(other, bitmap), nullptr);
    EXPECT_TRUE(DeleteDC(other));  // frees the selection, not the bitmap
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_FALSE(DeleteDC(dc));
    EXPECT_EQ(GdiObjects(), before);
}

TEST(GdiObjects, SectionsDescribeThemselves) {
    struct Case {
        int width, height, bits, stride;
    } cases[] = {
        {5, -3, 24, 16}, {5, 3, 24, 16}, {5000, -7000, 24, 15000}, {3, 2, 8, 4}, {33, 1, 1, 8}};
    for (const Case& c : cases) {
        void* bits = nullptr;
        HBITMAP bitmap = MakeSection(c.width, c.height, c.bits, &bits);
        ASSERT_NE(bitmap, nullptr) << c.width;
        ASSERT_NE(bits, nullptr);
        BITMAP info{};
        ASSERT_EQ(GetObjectW(bitmap, sizeof info, &info), static_cast<int>(sizeof info));
        EXPECT_EQ(info.bmWidth, c.width);
        EXPECT_EQ(info.bmHeight, c.height < 0 ? -c.height : c.height);  // positive when top-down
        EXPECT_EQ(info.bmWidthBytes, c.stride);
        EXPECT_EQ(info.bmBitsPixel, c.bits);
        EXPECT_EQ(info.bmBits, bits);
        EXPECT_TRUE(DeleteObject(bitmap));
    }
    void* bits = nullptr;
    EXPECT_EQ(MakeSection(0, 5, 24, &bits), nullptr);
    EXPECT_EQ(bits, nullptr);
    EXPECT_EQ(MakeSection(5, 0, 24, &bits), nullptr);
}

TEST(GdiDrawing, StretchBltScalesTopDownAndBottomUp) {
    for (int height : {-2, 2}) {
        void* srcBits = nullptr;
        HBITMAP source = MakeSection(2, height, 24, &srcBits);
        // The first stored row: top row for top-down, bottom row for bottom-up.
        auto* p = static_cast<uint8_t*>(srcBits);
        p[0] = 255;          // blue at stored (0, 0)
        p[8 + 3 + 2] = 255;  // red at stored (1, 1)
        void* dstBits = nullptr;
        HBITMAP target = MakeSection(4, -4, 24, &dstBits);
        HDC srcDc = CreateCompatibleDC(nullptr);
        HDC dstDc = CreateCompatibleDC(nullptr);
        HGDIOBJ oldSrc = SelectObject(srcDc, source);
        HGDIOBJ oldDst = SelectObject(dstDc, target);
        ASSERT_TRUE(StretchBlt(dstDc, 0, 0, 4, 4, srcDc, 0, 0, 2, 2, SRCCOPY));
        COLORREF blue = RGB(0, 0, 255);
        COLORREF red = RGB(255, 0, 0);
        int blueRow = height < 0 ? 0 : 2;
        int redRow = height < 0 ? 2 : 0;
        EXPECT_EQ(W32GetBitmapPixel(target, 1, blueRow + 1), blue) << height;
        EXPECT_EQ(W32GetBitmapPixel(target, 3, redRow), red) << height;
        EXPECT_EQ(W32GetBitmapPixel(target, 3, blueRow), RGB(0, 0, 0)) << height;
        SelectObject(srcDc, oldSrc);
        SelectObject(dstDc, oldDst);
        DeleteDC(srcDc);
        DeleteDC(dstDc);
        DeleteObject(source);
        DeleteObject(target);
    }
}

TEST(GdiDrawing, DcStateAndMapModes) {
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(GetBkMode(dc), OPAQUE);
    EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
    EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
    EXPECT_EQ(SetTextColor(dc, RGB(1, 2, 3)), RGB(0, 0, 0));
    EXPECT_EQ(GetTextColor(dc), RGB(1, 2, 3));
    EXPECT_EQ(GetMapMode(dc), MM_TEXT);
    EXPECT_EQ(SetMapMode(dc, MM_ISOTROPIC), MM_TEXT);
    SIZE old{};
    EXPECT_TRUE(SetWindowExtEx(dc, 100, 100, &old));
    EXPECT_FALSE(SetViewportExtEx(dc, 0, 10, nullptr));
    EXPECT_TRUE(SetViewportExtEx(dc, 50, 200, nullptr));  // isotropic: the smaller scale, 0.5
    EXPECT_TRUE(SetViewportOrgEx(dc, 0, 0, nullptr));
    void* bits = nullptr;
    HBITMAP target = MakeSection(10, -10, 24, &bits);
    HGDIOBJ stock = SelectObject(dc, target);
    HDC src = CreateCompatibleDC(nullptr);
    void* srcBits = nullptr;
    HBITMAP white = MakeSection(1, 1, 24, &srcBits);
    memset(srcBits, 255, 3);
    HGDIOBJ srcStock = SelectObject(src, white);
    ASSERT_TRUE(StretchBlt(dc, 0, 0, 8, 8, src, 0, 0, 1, 1, SRCCOPY));
    EXPECT_EQ(W32GetBitmapPixel(target, 3, 3), RGB(255, 255, 255));
    EXPECT_EQ(W32GetBitmapPixel(target, 4, 4), RGB(0, 0, 0));
    EXPECT_FALSE(StretchBlt(dc, 0, 0, 8, 8, src, 0, 0, 1, 1, 0x00EE0086));  // only SRCCOPY
    EXPECT_EQ(GetDeviceCaps(dc, PHYSICALWIDTH), 0);                         // no printer
    SelectObject(src, srcStock);
    SelectObject(dc, stock);
    DeleteDC(src);
    DeleteDC(dc);
    DeleteObject(white);
    DeleteObject(target);
}

// A red 2x1 bitmap as the resource compiler lays it out: header, rows.
struct PackedDib {
    BITMAPINFOHEADER header;
    uint8_t rows[8];
};
const PackedDib kRedPair = {{sizeof(BITMAPINFOHEADER), 2, 1, 1, 24, BI_RGB, 8, 0, 0, 0, 0},
                            {0, 0, 255, 0, 0, 255, 0, 0}};
const BITMAPINFOHEADER kCutShort = {
    sizeof(BITMAPINFOHEADER), 200, 200, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
W32_RESOURCE(RT_BITMAP, 77, &kRedPair, sizeof kRedPair);
W32_RESOURCE(RT_BITMAP, 78, &kCutShort, sizeof kCutShort);

TEST(GdiImages, BitmapResourcesAreRealBitmaps) {
    HINSTANCE self = GetModuleHandleW(nullptr);
    HBITMAP loaded = LoadBitmapW(self, MAKEINTRESOURCEW(77));
    ASSERT_NE(loaded, nullptr);
    BITMAP info{};
    ASSERT_EQ(GetObjectW(loaded, sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.bmWidth, 2);
    EXPECT_EQ(info.bmHeight, 1);
    EXPECT_EQ(W32GetBitmapPixel(loaded, 1, 0), RGB(255, 0, 0));
    HANDLE image = LoadImageW(self, MAKEINTRESOURCEW(77), IMAGE_BITMAP, 0, 0, 0);
    EXPECT_NE(image, nullptr);
    EXPECT_NE(image, loaded);  // each load is a bitmap of its own
    EXPECT_TRUE(DeleteObject(image));
    EXPECT_TRUE(DeleteObject(loaded));
    EXPECT_EQ(LoadBitmapW(self, MAKEINTRESOURCEW(78)), nullptr);  // rows missing
    EXPECT_EQ(LoadBitmapW(self, MAKEINTRESOURCEW(79)), nullptr);
}

}  // namespace
