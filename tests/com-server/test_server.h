// The test COM server: an in-process server built on the framework's DLL
// module and registrar, with a dual interface described by its type library.
#pragma once

#include <windows.h>

// {7B1C3D2E-4F50-4B6C-9D8E-0F1A2B3C4D01}
inline constexpr GUID LIBID_TestServerLib = {
    0x7B1C3D2E, 0x4F50, 0x4B6C, {0x9D, 0x8E, 0x0F, 0x1A, 0x2B, 0x3C, 0x4D, 0x01}};
// {7B1C3D2E-4F50-4B6C-9D8E-0F1A2B3C4D02}
inline constexpr IID IID_IGreeter = {
    0x7B1C3D2E, 0x4F50, 0x4B6C, {0x9D, 0x8E, 0x0F, 0x1A, 0x2B, 0x3C, 0x4D, 0x02}};
// {7B1C3D2E-4F50-4B6C-9D8E-0F1A2B3C4D03}
inline constexpr CLSID CLSID_Greeter = {
    0x7B1C3D2E, 0x4F50, 0x4B6C, {0x9D, 0x8E, 0x0F, 0x1A, 0x2B, 0x3C, 0x4D, 0x03}};

inline constexpr char16_t kGreeterClsid[] = u"{7B1C3D2E-4F50-4B6C-9D8E-0F1A2B3C4D03}";
inline constexpr char16_t kTestServerAppId[] = u"{7B1C3D2E-4F50-4B6C-9D8E-0F1A2B3C4D04}";

struct IGreeter : public IDispatch {
    // DISPID 1: "Hello, " and the name.
    virtual HRESULT STDMETHODCALLTYPE Greet(BSTR name, BSTR* greeting) = 0;
    // DISPID 2: the sum.
    virtual HRESULT STDMETHODCALLTYPE Add(LONG a, LONG b, LONG* sum) = 0;
};
W32_INTERFACE_ID(IGreeter, IID_IGreeter);

// The string table: the project name.
inline constexpr UINT IDS_PROJNAME = 100;
