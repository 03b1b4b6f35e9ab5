// The plain test server: an in-process COM server written on the platform
// alone, for the platform's own conformance tests.
#pragma once

#include <windows.h>

// {6A0B2C1D-3E4F-4A5B-8C7D-9E0F1A2B3C4D}
inline constexpr CLSID CLSID_PlainServer = {
    0x6A0B2C1D, 0x3E4F, 0x4A5B, {0x8C, 0x7D, 0x9E, 0x0F, 0x1A, 0x2B, 0x3C, 0x4D}};
// {6A0B2C1D-3E4F-4A5B-8C7D-9E0F1A2B3C4E}
inline constexpr IID IID_IPlainThing = {
    0x6A0B2C1D, 0x3E4F, 0x4A5B, {0x8C, 0x7D, 0x9E, 0x0F, 0x1A, 0x2B, 0x3C, 0x4E}};

struct IPlainThing : public IUnknown {
    virtual int STDMETHODCALLTYPE Twice(int value) = 0;
};
W32_INTERFACE_ID(IPlainThing, IID_IPlainThing);

// Its string table: ids 100 and 117 (two blocks).
inline constexpr UINT kPlainNameId = 100;
inline constexpr UINT kPlainOtherId = 117;
