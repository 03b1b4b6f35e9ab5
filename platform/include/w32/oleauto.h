// OLE Automation: IDispatch and its parameters, the dispatch constants,
// variant conversion, IDispatchEx, and the small interfaces that scriptable
// objects answer (IServiceProvider, ISupportErrorInfo).
#pragma once

#include "w32/com.h"

typedef LONG MEMBERID;

#define LOCALE_NEUTRAL 0x0000
#define LOCALE_USER_DEFAULT 0x0400
#define LOCALE_SYSTEM_DEFAULT 0x0800

inline constexpr IID IID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// Result codes of dispatch (those already in com.h are not repeated).
#define DISP_E_UNKNOWNINTERFACE ((HRESULT)0x80020001)
#define DISP_E_PARAMNOTFOUND ((HRESULT)0x80020004)
#define DISP_E_NONAMEDARGS ((HRESULT)0x80020007)
#define DISP_E_EXCEPTION ((HRESULT)0x80020009)
#define DISP_E_BADINDEX ((HRESULT)0x8002000B)
#define DISP_E_UNKNOWNLCID ((HRESULT)0x8002000C)
#define DISP_E_PARAMNOTOPTIONAL ((HRESULT)0x8002000F)
#define DISP_E_BADCALLEE ((HRESULT)0x80020010)

// Reserved DISPIDs.
#define DISPID_UNKNOWN ((DISPID)-1)
#define DISPID_VALUE ((DISPID)0)
#define DISPID_PROPERTYPUT ((DISPID)-3)
#define DISPID_NEWENUM ((DISPID)-4)
#define DISPID_EVALUATE ((DISPID)-5)
#define DISPID_CONSTRUCTOR ((DISPID)-6)
#define DISPID_DESTRUCTOR ((DISPID)-7)
#define DISPID_COLLECT ((DISPID)-8)

// Invoke flags.
#define DISPATCH_METHOD 0x1
#define DISPATCH_PROPERTYGET 0x2
#define DISPATCH_PROPERTYPUT 0x4
#define DISPATCH_PROPERTYPUTREF 0x8

// VariantChangeType(Ex) flags.
#define VARIANT_NOVALUEPROP 0x01
#define VARIANT_ALPHABOOL 0x02
#define VARIANT_NOUSEROVERRIDE 0x04
#define VARIANT_LOCALBOOL 0x10

typedef struct tagDISPPARAMS {
    VARIANTARG* rgvarg;  // arguments in reverse order: the last one first
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
} DISPPARAMS;

typedef struct tagEXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    PVOID pvReserved;
    HRESULT(STDMETHODCALLTYPE* pfnDeferredFillIn)(struct tagEXCEPINFO*);
    SCODE scode;
} EXCEPINFO, *LPEXCEPINFO;

struct ITypeInfo;

struct IDispatch : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames,
                                                    LCID lcid, DISPID* rgDispId) = 0;
    virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid,
                                             WORD wFlags, DISPPARAMS* pDispParams,
                                             VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                             UINT* puArgErr) = 0;
};
typedef IDispatch* LPDISPATCH;

struct IServiceProvider : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryService(REFGUID guidService, REFIID riid,
                                                   void** ppvObject) = 0;
};

// IDispatchEx::GetDispID flags.
#define fdexNameCaseSensitive 0x00000001L
#define fdexNameEnsure 0x00000002L
#define fdexNameImplicit 0x00000004L
#define fdexNameCaseInsensitive 0x00000008L
#define fdexNameInternal 0x00000010L
#define fdexNameNoDynamicProperties 0x00000020L
#define DISPATCH_CONSTRUCT 0x4000
#define DISPID_THIS ((DISPID)-613)
#define DISPID_STARTENUM DISPID_UNKNOWN

struct IDispatchEx : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE GetDispID(BSTR bstrName, DWORD grfdex, DISPID* pid) = 0;
    virtual HRESULT STDMETHODCALLTYPE InvokeEx(DISPID id, LCID lcid, WORD wFlags, DISPPARAMS* pdp,
                                               VARIANT* pvarRes, EXCEPINFO* pei,
                                               IServiceProvider* pspCaller) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteMemberByName(BSTR bstrName, DWORD grfdex) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteMemberByDispID(DISPID id) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMemberProperties(DISPID id, DWORD grfdexFetch,
                                                          DWORD* pgrfdex) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMemberName(DISPID id, BSTR* pbstrName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNextDispID(DWORD grfdex, DISPID id, DISPID* pid) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNameSpaceParent(IUnknown** ppunk) = 0;
};

struct ISupportErrorInfo : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) = 0;
};

inline constexpr IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IServiceProvider = {
    0x6D5140C1, 0x7436, 0x11CE, {0x80, 0x34, 0x00, 0xAA, 0x00, 0x60, 0x09, 0xFA}};
inline constexpr IID IID_IDispatchEx = {
    0xA6EF9860, 0xC720, 0x11D0, {0x93, 0x37, 0x00, 0xA0, 0xC9, 0x0D, 0xCA, 0xA9}};
inline constexpr IID IID_ISupportErrorInfo = {
    0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
W32_INTERFACE_ID(IDispatch, IID_IDispatch);
W32_INTERFACE_ID(IServiceProvider, IID_IServiceProvider);
W32_INTERFACE_ID(IDispatchEx, IID_IDispatchEx);
W32_INTERFACE_ID(ISupportErrorInfo, IID_ISupportErrorInfo);

// Converts a variant to another type (VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_R8,
// VT_BOOL, VT_BSTR, VT_DISPATCH, VT_UNKNOWN, VT_ERROR; DISP_E_BADVARTYPE for
// others), reading a VT_BYREF source through its reference (one level for a
// VARIANT). pvargDest may be pvarSrc; on failure the destination is left as
// it was. Numbers convert to integers with banker's rounding (DISP_E_OVERFLOW
// out of range), strings are parsed as numbers ("5" gives 5; "True"/"False"
// for VT_BOOL; DISP_E_TYPEMISMATCH when they are not one), VT_BOOL gives "-1"
// or "0" ("True"/"False" with VARIANT_ALPHABOOL). VT_EMPTY gives 0, "",
// VARIANT_FALSE or a null pointer; VT_NULL and VT_ERROR (a missing argument
// too) convert to nothing else. An object converts to an interface by
// QueryInterface (E_NOINTERFACE when it has none; a null object stays null),
// and to a value through its DISPID_VALUE property unless VARIANT_NOVALUEPROP.
W32API HRESULT WINAPI VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc,
                                        USHORT wFlags, VARTYPE vt);
W32API HRESULT WINAPI VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc,
                                          LCID lcid, USHORT wFlags, VARTYPE vt);
