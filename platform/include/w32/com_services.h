// Services of COM that in-process objects use: the Global Interface Table,
// objects that keep their site, and the safety options of scriptable objects.
#pragma once

#include "w32/com.h"

// The Global Interface Table. Apartments and marshalling do not exist here:
// the table hands back the same object on any thread. It is one per process,
// whatever the number of creations, and never destroyed.
struct IGlobalInterfaceTable : public IUnknown {
    // Keeps a reference of the interface riid of pUnk under a non-zero cookie.
    virtual HRESULT STDMETHODCALLTYPE RegisterInterfaceInGlobal(IUnknown* pUnk, REFIID riid,
                                                                DWORD* pdwCookie) = 0;
    // Releases the reference kept; E_INVALIDARG for an unknown cookie.
    virtual HRESULT STDMETHODCALLTYPE RevokeInterfaceFromGlobal(DWORD dwCookie) = 0;
    // A new reference of the object under the cookie; E_INVALIDARG for an
    // unknown cookie.
    virtual HRESULT STDMETHODCALLTYPE GetInterfaceFromGlobal(DWORD dwCookie, REFIID riid,
                                                             void** ppv) = 0;
};

inline constexpr CLSID CLSID_StdGlobalInterfaceTable = {
    0x00000323, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IGlobalInterfaceTable = {
    0x00000146, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
W32_INTERFACE_ID(IGlobalInterfaceTable, IID_IGlobalInterfaceTable);

// Test hook of the stand-in: while hr is a failure, creating the Global
// Interface Table answers it; S_OK lets creation succeed again.
W32API void WINAPI W32FailGlobalInterfaceTableCreation(HRESULT hr);

struct IObjectWithSite : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetSite(IUnknown* pUnkSite) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSite(REFIID riid, void** ppvSite) = 0;
};

#define INTERFACESAFE_FOR_UNTRUSTED_CALLER 0x00000001
#define INTERFACESAFE_FOR_UNTRUSTED_DATA 0x00000002
#define INTERFACE_USES_DISPEX 0x00000004
#define INTERFACE_USES_SECURITY_MANAGER 0x00000008

struct IObjectSafety : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetInterfaceSafetyOptions(REFIID riid,
                                                                DWORD* pdwSupportedOptions,
                                                                DWORD* pdwEnabledOptions) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetInterfaceSafetyOptions(REFIID riid, DWORD dwOptionSetMask,
                                                                DWORD dwEnabledOptions) = 0;
};

inline constexpr IID IID_IObjectWithSite = {
    0xFC4801A3, 0x2BA9, 0x11CF, {0xA2, 0x29, 0x00, 0xAA, 0x00, 0x3D, 0x73, 0x52}};
inline constexpr IID IID_IObjectSafety = {
    0xCB5BDC81, 0x93C1, 0x11CF, {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};
W32_INTERFACE_ID(IObjectWithSite, IID_IObjectWithSite);
W32_INTERFACE_ID(IObjectSafety, IID_IObjectSafety);
