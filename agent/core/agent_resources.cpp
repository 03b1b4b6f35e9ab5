// The agent program's resources: its version block, the icons, the tray's
// menu, the about dialog and its logo.
#include <windows.h>

#include <cstring>
#include <vector>

#include "agent/core/resource_ids.h"
#include "framework/version_block.h"

namespace vexlo {
namespace {

const std::vector<uint8_t>& AgentVersionBlock() {
    static const std::vector<uint8_t> block = BuildVersionBlock(VersionBlockContent{
        {0, 0, 81, 91},
        {0, 0, 81, 91},
        kFileTypeApp,
        0x0409,
        0x04E4,
        {
            {u"CompanyName", u"Vexlo"},
            {u"FileDescription", u"Агент Vexlo"},
            {u"FileVersion", u"0.0.81.91"},
            {u"InternalName", u"agent_vexlo"},
            {u"LegalCopyright", u"Copyright (C) Vexlo"},
            {u"OriginalFilename", u"agent_vexlo.exe"},
            {u"ProductName", u"Агент Vexlo"},
            {u"ProductVersion", u"0.0.81.91"},
        },
    });
    return block;
}

// An icon group with one 16 x 16 and one 32 x 32 image (the directory of an
// RT_GROUP_ICON resource: reserved, type 1, count, then one entry each).
const uint8_t kIconGroup[] = {
    0,  0,  1, 0, 2, 0,                                 //
    16, 16, 0, 0, 1, 0, 32, 0, 0x68, 0x04, 0, 0, 1, 0,  // 16 x 16, icon 1
    32, 32, 0, 0, 1, 0, 32, 0, 0xA8, 0x10, 0, 0, 2, 0,  // 32 x 32, icon 2
};

const W32_MENU_ITEM kTrayItems[] = {
    {kCommandAbout, u"О программе", nullptr, 0},
    {kCommandExit, u"Выход", nullptr, 0},
};
const W32_MENU_ITEM kTrayPopup[] = {{0, u"Tray", kTrayItems, 2}};
const W32_MENU_TEMPLATE kTrayMenu = {kTrayPopup, 1};

constexpr DWORD kStatic = WS_CHILD | WS_VISIBLE | WS_GROUP;
const W32_DIALOG_CONTROL kAboutControls[] = {
    {IDOK, u"Button", u"Закрыть", 47, 130, 50, 14,
     WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0},
    {-1, u"Static", u"Агент Vexlo", 15, 52, 115, 10, kStatic | SS_CENTER, 0},
    {kAboutVersionId, u"Static", u"version", 15, 74, 115, 8, kStatic | SS_CENTER, 0},
    {kAboutBuildId, u"Static", u"Build", 15, 82, 115, 8, kStatic | SS_CENTER, 0},
    {-1, u"Static", u"Разработка: Vexlo", 16, 96, 115, 21, kStatic | SS_CENTER, 0},
    {kAboutSiteLinkId, u"Static", u"www.vexlo.example", 48, 117, 58, 8,
     kStatic | SS_LEFT | SS_NOTIFY, 0},
    // The resource compiler writes a bitmap static's image as an ordinal.
    {kAboutLogoControlId, u"Static", MAKEINTRESOURCEW(kAboutLogoBitmapId), 16, 10, 114, 36,
     WS_CHILD | WS_VISIBLE | SS_BITMAP, 0},
    {-1, u"Static", u"для сканирования и печати", 12, 61, 122, 8, kStatic | SS_CENTER, 0},
};
const W32_DIALOG_TEMPLATE kAboutDialog = {
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT | DS_FIXEDSYS,
    0,
    0,
    0,
    146,
    153,
    u"О программе",
    u"MS Shell Dlg",
    8,
    kAboutControls,
    static_cast<int>(std::size(kAboutControls)),
};

// The logo: a packed 24-bit DIB of the frame's size in pixels, a blue band
// with a white bar, bottom row first.
const std::vector<uint8_t>& LogoBitmap() {
    static const std::vector<uint8_t> bitmap = [] {
        constexpr int kWidth = 171;
        constexpr int kHeight = 58;
        constexpr int kStride = (kWidth * 3 + 3) & ~3;
        BITMAPINFOHEADER header = {};
        header.biSize = sizeof(header);
        header.biWidth = kWidth;
        header.biHeight = kHeight;
        header.biPlanes = 1;
        header.biBitCount = 24;
        header.biCompression = BI_RGB;
        header.biSizeImage = kStride * kHeight;
        std::vector<uint8_t> bytes(sizeof(header) + kStride * kHeight, 0);
        memcpy(bytes.data(), &header, sizeof(header));
        for (int y = 0; y < kHeight; ++y) {
            uint8_t* row = bytes.data() + sizeof(header) + static_cast<size_t>(y) * kStride;
            for (int x = 0; x < kWidth; ++x) {
                bool bar = y > kHeight / 3 && y < kHeight * 2 / 3 && x > 12 && x < kWidth - 12;
                row[x * 3] = bar ? 255 : 160;     // blue
                row[x * 3 + 1] = bar ? 255 : 80;  // green
                row[x * 3 + 2] = bar ? 255 : 20;  // red
            }
        }
        return bytes;
    }();
    return bitmap;
}

}  // namespace

void LinkAgentResources() {}

}  // namespace vexlo

W32_RESOURCE(RT_VERSION, vexlo::kVersionResourceId, vexlo::AgentVersionBlock().data(),
             static_cast<DWORD>(vexlo::AgentVersionBlock().size()))
W32_RESOURCE(RT_GROUP_ICON, vexlo::kAgentClassIconId, vexlo::kIconGroup, sizeof(vexlo::kIconGroup))
W32_RESOURCE(RT_GROUP_ICON, vexlo::kTrayIconId, vexlo::kIconGroup, sizeof(vexlo::kIconGroup))
W32_RESOURCE(RT_MENU, vexlo::kTrayMenuId, &vexlo::kTrayMenu, sizeof(vexlo::kTrayMenu))
W32_RESOURCE(RT_DIALOG, vexlo::kAboutDialogId, &vexlo::kAboutDialog, sizeof(vexlo::kAboutDialog))
W32_RESOURCE(RT_BITMAP, vexlo::kAboutLogoBitmapId, vexlo::LogoBitmap().data(),
             static_cast<DWORD>(vexlo::LogoBitmap().size()))
