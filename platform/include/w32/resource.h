// Resources of the stand-in: each program or library carries a table of
// resources as C++ data compiled into it, registered when the module is
// loaded and looked up by module handle, type and name (an id or a string),
// and language. The types keep their Windows numbers; each type's data is a
// record of this header rather than the compiled Windows format:
//
// | type            | data                        |
// |-----------------|-----------------------------|
// | RT_ICON, RT_GROUP_ICON | W32_ICON_RESOURCE    |
// | RT_CURSOR, RT_GROUP_CURSOR | W32_ICON_RESOURCE |
// | RT_BITMAP       | W32_BITMAP_RESOURCE         |
// | RT_MENU         | W32_MENU_TEMPLATE           |
// | RT_DIALOG       | W32_DIALOG_TEMPLATE         |
// | RT_STRING       | W32_STRING_TABLE            |
// | RT_VERSION      | W32_VERSION_RESOURCE        |
// | "REGISTRY"      | W32_REGISTRY_SCRIPT         |
// | RT_RCDATA, others | raw bytes                 |
//
// A module lists its resources in one table and registers it with
// W32_MODULE_RESOURCES, at namespace scope in one of its source files:
//
//   static const W32_MENU_ITEM kTrayItems[] = {
//       {MF_STRING, 301, u"О программе"}, {MF_STRING, 300, u"Выход"}};
//   static const W32_MENU_ITEM kTrayMenu[] = {{MF_POPUP, 0, u"Tray", kTrayItems, 2}};
//   static const W32_MENU_TEMPLATE kMenu250 = {kTrayMenu, 1};
//   static const W32_RESOURCE kResources[] = {
//       {W32_RES_ID(RT_MENU), W32_RES_ID(250), LANG_EN_US, &kMenu250, sizeof kMenu250}};
//   W32_MODULE_RESOURCES(kResources);
#pragma once

#include <cstddef>

#include "w32/types.h"
#include "w32/user.h"

// Resource types.
#define RT_CURSOR MAKEINTRESOURCEW(1)
#define RT_BITMAP MAKEINTRESOURCEW(2)
#define RT_ICON MAKEINTRESOURCEW(3)
#define RT_MENU MAKEINTRESOURCEW(4)
#define RT_DIALOG MAKEINTRESOURCEW(5)
#define RT_STRING MAKEINTRESOURCEW(6)
#define RT_FONTDIR MAKEINTRESOURCEW(7)
#define RT_FONT MAKEINTRESOURCEW(8)
#define RT_ACCELERATOR MAKEINTRESOURCEW(9)
#define RT_RCDATA MAKEINTRESOURCEW(10)
#define RT_MESSAGETABLE MAKEINTRESOURCEW(11)
#define RT_GROUP_CURSOR MAKEINTRESOURCEW(12)
#define RT_GROUP_ICON MAKEINTRESOURCEW(14)
#define RT_VERSION MAKEINTRESOURCEW(16)
#define RT_MANIFEST MAKEINTRESOURCEW(24)

// Languages (MAKELANGID(primary, sub)).
#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))
#define PRIMARYLANGID(lgid) ((WORD)(lgid)&0x3ff)
#define SUBLANGID(lgid) ((WORD)(lgid) >> 10)
#define LANG_NEUTRAL 0x00
#define LANG_ENGLISH 0x09
#define LANG_RUSSIAN 0x19
#define SUBLANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define SUBLANG_ENGLISH_US 0x01
#define SUBLANG_RUSSIAN_RUSSIA 0x01
#define LANG_EN_US 0x0409
#define LANG_RU_RU 0x0419

// Version block fixed part.
#define VS_FFI_SIGNATURE 0xFEEF04BDL
#define VS_FFI_STRUCVERSION 0x00010000L
#define VS_FF_DEBUG 0x00000001L
#define VOS__WINDOWS32 0x00000004L
#define VOS_NT_WINDOWS32 0x00040004L
#define VFT_UNKNOWN 0x00000000L
#define VFT_APP 0x00000001L
#define VFT_DLL 0x00000002L

// A type or a name: an id (text null) or a string.
struct W32_RES_KEY {
    WORD id;
    const char16_t* text;
};
constexpr W32_RES_KEY W32_RES_ID(WORD id) {
    return W32_RES_KEY{id, nullptr};
}
constexpr W32_RES_KEY W32_RES_NAME(const char16_t* text) {
    return W32_RES_KEY{0, text};
}
#define W32_RES_TYPE(rt) W32_RES_ID((WORD)(ULONG_PTR)(rt))

struct W32_RESOURCE {
    W32_RES_KEY type;
    W32_RES_KEY name;
    WORD language;
    const void* data;
    DWORD size;
};

// An icon or cursor: one or more images, each 32-bit 0xAARRGGBB pixels,
// top-down rows. LoadImageW picks the image closest to the asked size.
struct W32_ICON_IMAGE {
    int width;
    int height;
    const DWORD* pixels;  // width * height values; may be null (fully transparent)
};
struct W32_ICON_RESOURCE {
    const W32_ICON_IMAGE* images;
    size_t count;
    DWORD xHotspot;  // cursors only
    DWORD yHotspot;
};

// A bitmap: 32-bit 0x00RRGGBB pixels, top-down rows.
struct W32_BITMAP_RESOURCE {
    int width;
    int height;
    const DWORD* pixels;  // width * height values
};

// A menu: items with MF_* flags (MF_POPUP with children, MF_SEPARATOR,
// MF_GRAYED, MF_CHECKED, MF_DEFAULT), a command id and a text.
struct W32_MENU_ITEM {
    UINT flags;
    UINT id;
    const char16_t* text;
    const W32_MENU_ITEM* children;  // MF_POPUP only
    size_t childCount;
};
struct W32_MENU_TEMPLATE {
    const W32_MENU_ITEM* items;
    size_t count;
};

// A dialog template. Positions and sizes are in dialog units; the stand-in's
// dialog base units are 6 x 13 pixels for "MS Shell Dlg" 8 point (so a dialog
// unit is 1.5 x 1.625 pixels). A control's class is a name ("Button",
// "Static", "Edit", "SysListView32", ...) or one of the predefined atoms
// 0x0080 (Button), 0x0081 (Edit), 0x0082 (Static), 0x0083 (ListBox),
// 0x0084 (ScrollBar), 0x0085 (ComboBox) given as classId. A control's text is
// a string or, for SS_BITMAP / SS_ICON statics, the resource id textId of its
// image in the dialog's module.
struct W32_DIALOG_ITEM {
    int id;
    const char16_t* className;
    WORD classId;
    const char16_t* text;
    WORD textId;
    short x;
    short y;
    short cx;
    short cy;
    DWORD style;
    DWORD exStyle;
};
struct W32_DIALOG_TEMPLATE {
    DWORD style;
    DWORD exStyle;
    short x;
    short y;
    short cx;
    short cy;
    const char16_t* caption;
    const char16_t* fontName;  // with DS_SETFONT
    WORD pointSize;
    WORD weight;
    BYTE italic;
    BYTE charset;
    const W32_DIALOG_ITEM* items;
    size_t itemCount;
    const char16_t* className;  // null: the dialog class "#32770"
    const char16_t* menuName;   // unused by the stand-in's dialogs
};

// A string table: ids and texts (one table may hold any ids; LoadStringW
// searches every table of the module).
struct W32_STRING_ENTRY {
    UINT id;
    const char16_t* text;
};
struct W32_STRING_TABLE {
    const W32_STRING_ENTRY* entries;
    size_t count;
};

// A version block: the fixed part and the strings of one language and code
// page ("CompanyName", "FileDescription", "FileVersion", "ProductName",
// "ProductVersion", "MIMEType", ...).
struct W32_VERSION_STRING {
    const char16_t* key;
    const char16_t* value;
};
struct W32_VERSION_RESOURCE {
    DWORD fileVersionMS;  // MAKELONG(minor, major)
    DWORD fileVersionLS;  // MAKELONG(build, revision)
    DWORD productVersionMS;
    DWORD productVersionLS;
    DWORD fileFlags;
    DWORD fileOS;
    DWORD fileType;
    WORD language;
    WORD codePage;
    const W32_VERSION_STRING* strings;
    size_t stringCount;
};

// A registry script (type "REGISTRY"), in the text form of the COM
// framework's registrar.
struct W32_REGISTRY_SCRIPT {
    const char16_t* text;
};

// Registration: anchor is any address inside the registering module (it
// finds the module); the table must live as long as the module.
W32API BOOL WINAPI W32RegisterModuleResources(const void* anchor, const W32_RESOURCE* table,
                                              size_t count);
W32API void WINAPI W32UnregisterModuleResources(const void* anchor, const W32_RESOURCE* table);

struct W32ModuleResourceRegistration {
    const W32_RESOURCE* table;
    W32ModuleResourceRegistration(const W32_RESOURCE* t, size_t n) : table(t) {
        W32RegisterModuleResources(this, t, n);
    }
    ~W32ModuleResourceRegistration() { W32UnregisterModuleResources(this, table); }
    W32ModuleResourceRegistration(const W32ModuleResourceRegistration&) = delete;
    W32ModuleResourceRegistration& operator=(const W32ModuleResourceRegistration&) = delete;
};
#define W32_MODULE_RESOURCES(table)                                   \
    static W32ModuleResourceRegistration w32ModuleResources_##table { \
        table, sizeof(table) / sizeof((table)[0])                     \
    }

// Resource lookup. FindResourceW matches any language (the module's first
// entry of that type and name); FindResourceExW prefers the given language,
// then a neutral one, then any. LockResource gives the record above.
W32API HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType);
W32API HRSRC WINAPI FindResourceExW(HMODULE hModule, LPCWSTR lpType, LPCWSTR lpName,
                                    WORD wLanguage);
W32API HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo);
W32API LPVOID WINAPI LockResource(HGLOBAL hResData);
W32API DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo);
W32API BOOL WINAPI FreeResource(HGLOBAL hResData);
// Lists the module's resources of one type: the callback gets each name
// (an id as MAKEINTRESOURCEW or a string valid during the call).
typedef BOOL(CALLBACK* ENUMRESNAMEPROCW)(HMODULE hModule, LPCWSTR lpType, LPWSTR lpName,
                                         LONG_PTR lParam);
W32API BOOL WINAPI EnumResourceNamesW(HMODULE hModule, LPCWSTR lpType, ENUMRESNAMEPROCW lpEnumFunc,
                                      LONG_PTR lParam);
