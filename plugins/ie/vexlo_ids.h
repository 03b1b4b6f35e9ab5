// The add-on's COM ids: one consistent set, used by the class, its ProgIDs,
// the Browser Helper Objects key and the type library alike.
#pragma once

#include <windows.h>

namespace vexlo {

// The browser helper object VexloPlugin.
inline constexpr CLSID CLSID_VexloPlugin = {
    0xCBE55E29, 0x1D13, 0x4C84, {0x9E, 0x4E, 0xEC, 0x02, 0xAE, 0xFA, 0xD4, 0xA4}};
// The status object; described in the type library, never registered.
inline constexpr CLSID CLSID_VexloStatusCallback = {
    0x185B9C89, 0x2FB2, 0x4D3C, {0xBF, 0x96, 0x95, 0xBA, 0xCE, 0xF4, 0x9A, 0x6C}};
inline constexpr GUID APPID_VexloIePlugin = {
    0x12D1B308, 0x5A6A, 0x49A2, {0x9A, 0xF4, 0x45, 0x92, 0x00, 0xD6, 0x21, 0xDB}};
inline constexpr GUID LIBID_VexloIePluginLib = {
    0xF056BCBE, 0x7BE4, 0x492E, {0xBD, 0x95, 0x1F, 0xCE, 0x4B, 0x51, 0x06, 0x4C}};
inline constexpr IID IID_IVexloDisp = {
    0x500B934D, 0x5BBC, 0x458C, {0xA5, 0x06, 0x47, 0x6C, 0x36, 0xE5, 0x27, 0x77}};
inline constexpr IID IID_IVexloPlugin = {
    0x8C1788E5, 0xD8C1, 0x40AD, {0xAF, 0x5D, 0x3F, 0xDB, 0xFB, 0xF5, 0xEA, 0xFB}};
inline constexpr IID IID_IVexloStatusCallback = {
    0x56B345EE, 0x4F18, 0x4F2F, {0x8B, 0xE0, 0x9C, 0xC0, 0x3A, 0xF2, 0x80, 0x54}};

// The same ids as registry text, in braces.
inline constexpr const char16_t* kVexloPluginClsidText = u"{CBE55E29-1D13-4C84-9E4E-EC02AEFAD4A4}";
inline constexpr const char16_t* kAppIdText = u"{12D1B308-5A6A-49A2-9AF4-459200D621DB}";
inline constexpr const char16_t* kTypeLibIdText = u"{F056BCBE-7BE4-492E-BD95-1FCE4B51064C}";

// The type library's version.
inline constexpr WORD kTypeLibMajor = 1;
inline constexpr WORD kTypeLibMinor = 0;

}  // namespace vexlo
