#include "test_resources.h"

namespace {

const W32_DIALOG_ITEM kDialogItems[] = {
    {IDOK, u"Button", 0, u"OK", 0, 53, 83, 50, 14,
     WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0},
    {IDCANCEL, u"Button", 0, u"Cancel", 0, 104, 83, 50, 14, WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0},
    {testres::kStatic, nullptr, 0x82, u"Сканеры:", 0, 7, 7, 147, 8,
     WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT, 0},
};
const W32_DIALOG_TEMPLATE kDialog = {0x80C800C8,
                                     0,
                                     80,
                                     80,
                                     161,
                                     102,
                                     u"Выбор сканера",
                                     u"MS Shell Dlg",
                                     8,
                                     400,
                                     0,
                                     1,
                                     kDialogItems,
                                     sizeof kDialogItems / sizeof kDialogItems[0],
                                     nullptr,
                                     nullptr};

const W32_DIALOG_ITEM kAboutItems[] = {
    {IDOK, u"Button", 0, u"Закрыть", 0, 47, 130, 50, 14,
     WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0},
    {testres::kVersionLine, u"Static", 0, u"version", 0, 15, 74, 115, 8,
     WS_CHILD | WS_VISIBLE | WS_GROUP | SS_CENTER, 0},
    {testres::kLink, u"Static", 0, u"https://example.org", 0, 48, 117, 58, 8,
     WS_CHILD | WS_VISIBLE | WS_GROUP | SS_NOTIFY, 0},
    {testres::kStatic, u"Static", 0, nullptr, testres::kBitmap, 16, 10, 114, 36,
     WS_CHILD | WS_VISIBLE | SS_BITMAP, 0},
};
const W32_DIALOG_TEMPLATE kAbout = {
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT | DS_FIXEDSYS,
    0,
    0,
    0,
    146,
    153,
    u"О программе",
    u"MS Shell Dlg",
    8,
    400,
    0,
    1,
    kAboutItems,
    sizeof kAboutItems / sizeof kAboutItems[0],
    nullptr,
    nullptr};

const W32_MENU_ITEM kTrayItems[] = {
    {MF_STRING, 301, u"О программе", nullptr, 0},
    {MF_SEPARATOR, 0, nullptr, nullptr, 0},
    {MF_STRING | MF_GRAYED, 302, u"Недоступно", nullptr, 0},
    {MF_STRING, 300, u"Выход", nullptr, 0},
};
const W32_MENU_ITEM kTrayTop[] = {{MF_POPUP, 0, u"Tray", kTrayItems, 4}};
const W32_MENU_TEMPLATE kMenu = {kTrayTop, 1};

const DWORD kIcon16[16 * 16] = {0xFF0000FF};
const DWORD kIcon32[32 * 32] = {0xFF00FF00};
const W32_ICON_IMAGE kIconImages[] = {{16, 16, kIcon16}, {32, 32, kIcon32}};
const W32_ICON_RESOURCE kIcon = {kIconImages, 2, 0, 0};

const DWORD kBitmapPixels[4 * 2] = {0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00,
                                    0x0000FF, 0x123456, 0x654321, 0xABCDEF};
const W32_BITMAP_RESOURCE kBitmap = {4, 2, kBitmapPixels};

const W32_STRING_ENTRY kStrings[] = {{7, u"Агент Vexlo"}, {8, u"Build"}};
const W32_STRING_TABLE kStringTable = {kStrings, 2};

const W32_VERSION_STRING kVersionStrings[] = {{u"ProductVersion", u"0.0.81.91"},
                                              {u"MIMEType", u"application/agent_vexlo"}};
const W32_VERSION_RESOURCE kVersion = {
    MAKELONG(0, 0), MAKELONG(91, 81), MAKELONG(0, 0), MAKELONG(91, 81), 0, VOS_NT_WINDOWS32,
    VFT_DLL,        LANG_EN_US,       1200,           kVersionStrings,  2};

const W32_REGISTRY_SCRIPT kRegistry = {u"HKCR { NoRemove CLSID { } }"};

const W32_RESOURCE kResources[] = {
    {W32_RES_TYPE(RT_DIALOG), W32_RES_ID(testres::kDialog), LANG_RU_RU, &kDialog, sizeof kDialog},
    {W32_RES_TYPE(RT_DIALOG), W32_RES_ID(testres::kAboutLike), LANG_RU_RU, &kAbout, sizeof kAbout},
    {W32_RES_TYPE(RT_MENU), W32_RES_ID(testres::kMenu), LANG_EN_US, &kMenu, sizeof kMenu},
    {W32_RES_TYPE(RT_GROUP_ICON), W32_RES_ID(testres::kIcon), LANG_EN_US, &kIcon, sizeof kIcon},
    {W32_RES_TYPE(RT_BITMAP), W32_RES_ID(testres::kBitmap), LANG_EN_US, &kBitmap, sizeof kBitmap},
    {W32_RES_TYPE(RT_STRING), W32_RES_ID(1), LANG_EN_US, &kStringTable, sizeof kStringTable},
    {W32_RES_TYPE(RT_VERSION), W32_RES_ID(1), LANG_EN_US, &kVersion, sizeof kVersion},
    {W32_RES_NAME(u"REGISTRY"), W32_RES_ID(102), LANG_EN_US, &kRegistry, sizeof kRegistry},
};

}  // namespace

W32_MODULE_RESOURCES(kResources);
