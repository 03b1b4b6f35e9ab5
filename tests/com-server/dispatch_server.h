// The dispatch test server: an in-process COM server built on the framework,
// whose object is reached through IDispatch by name, with its type library
// kept as its own resource and registered with it.
#pragma once

#include <windows.h>

// {6A0B2C1D-3E4F-4A5B-8C7D-9E0F1A2B3C50}
inline constexpr CLSID CLSID_DispatchServer = {
    0x6A0B2C1D, 0x3E4F, 0x4A5B, {0x8C, 0x7D, 0x9E, 0x0F, 0x1A, 0x2B, 0x3C, 0x50}};
// {6A0B2C1D-3E4F-4A5B-8C7D-9E0F1A2B3C51}
inline constexpr IID IID_IDispatchThing = {
    0x6A0B2C1D, 0x3E4F, 0x4A5B, {0x8C, 0x7D, 0x9E, 0x0F, 0x1A, 0x2B, 0x3C, 0x51}};
// {6A0B2C1D-3E4F-4A5B-8C7D-9E0F1A2B3C52}
inline constexpr GUID LIBID_DispatchServerLib = {
    0x6A0B2C1D, 0x3E4F, 0x4A5B, {0x8C, 0x7D, 0x9E, 0x0F, 0x1A, 0x2B, 0x3C, 0x52}};

// Dual: DISPID 0 name (property get), 1 twice (value in, retval out).
struct IDispatchThing : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_name(BSTR* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE twice(LONG value, VARIANT* result) = 0;
};
W32_INTERFACE_ID(IDispatchThing, IID_IDispatchThing);
