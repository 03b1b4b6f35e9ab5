// COM basics of the stand-in: GUIDs, IUnknown, class objects, task memory,
// BSTR, VARIANT, PROPVARIANT and STGMEDIUM.
#pragma once

#include <cstring>
#include <type_traits>

#include "w32/types.h"

typedef struct _GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
} GUID;
typedef GUID IID;
typedef GUID CLSID;
typedef GUID FMTID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;
typedef GUID* LPGUID;
typedef CLSID* LPCLSID;

inline bool operator==(const GUID& a, const GUID& b) {
    return memcmp(&a, &b, sizeof(GUID)) == 0;
}
inline bool operator!=(const GUID& a, const GUID& b) {
    return !(a == b);
}
inline bool IsEqualGUID(REFGUID a, REFGUID b) {
    return a == b;
}
#define IsEqualIID(a, b) IsEqualGUID(a, b)
#define IsEqualCLSID(a, b) IsEqualGUID(a, b)
inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

typedef LONG SCODE;
typedef unsigned short VARTYPE;
typedef short VARIANT_BOOL;
typedef double DATE;
typedef LONG DISPID;
typedef DWORD LCID;
#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

// The interface id of an interface type, in place of the compiler's __uuidof;
// W32_INTERFACE_ID is used at global scope.
template <typename T>
struct InterfaceId;
#define W32_INTERFACE_ID(Interface, iid)        \
    template <>                                 \
    struct InterfaceId<Interface> {             \
        static const IID& Get() { return iid; } \
    }
#define IID_PPV_ARGS(pp)                                                                 \
    InterfaceId<std::remove_pointer_t<std::remove_reference_t<decltype(*(pp))>>>::Get(), \
        reinterpret_cast<void**>(pp)

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
typedef IUnknown* LPUNKNOWN;

struct IClassFactory : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                                     void** ppvObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;
};

inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
W32_INTERFACE_ID(IUnknown, IID_IUnknown);
W32_INTERFACE_ID(IClassFactory, IID_IClassFactory);

// Result codes of COM.
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110)
#define CLASS_E_CLASSNOTAVAILABLE ((HRESULT)0x80040111)
#define CO_E_NOTINITIALIZED ((HRESULT)0x800401F0)
#define CO_E_CLASSSTRING ((HRESULT)0x800401F3)
#define CO_E_SERVER_EXEC_FAILURE ((HRESULT)0x80080005)
#define RPC_E_CHANGED_MODE ((HRESULT)0x80010106)
#define DISP_E_MEMBERNOTFOUND ((HRESULT)0x80020003)
#define DISP_E_TYPEMISMATCH ((HRESULT)0x80020005)
#define DISP_E_UNKNOWNNAME ((HRESULT)0x80020006)
#define DISP_E_BADPARAMCOUNT ((HRESULT)0x8002000E)
#define DISP_E_BADVARTYPE ((HRESULT)0x80020008)
#define DISP_E_OVERFLOW ((HRESULT)0x8002000A)

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_REMOTE_SERVER 0x10
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_SERVER (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
#define CLSCTX_ALL \
    (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

#define COINIT_APARTMENTTHREADED 0x2
#define COINIT_MULTITHREADED 0x0
#define REGCLS_SINGLEUSE 0
#define REGCLS_MULTIPLEUSE 1

// Initialisation, counted per thread: the first call answers S_OK, later
// ones S_FALSE, and each needs its CoUninitialize.
W32API HRESULT WINAPI CoInitialize(LPVOID pvReserved);
W32API HRESULT WINAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
W32API void WINAPI CoUninitialize(void);

// Class objects registered by the process (CoRegisterClassObject) come
// first; then the classes that a module of the stand-in provides (a module
// registers its class table with W32RegisterClassProvider when it is loaded);
// then the system's own classes, such as the WIA device manager (a local
// server, served by a module of the stand-in loaded on first use). A class
// that nobody provides gives REGDB_E_CLASSNOTREG.
W32API HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                       REFIID riid, LPVOID* ppv);
W32API HRESULT WINAPI CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved,
                                       REFIID riid, LPVOID* ppv);
W32API HRESULT WINAPI CoRegisterClassObject(REFCLSID rclsid, LPUNKNOWN pUnk, DWORD dwClsContext,
                                            DWORD flags, LPDWORD lpdwRegister);
W32API HRESULT WINAPI CoRevokeClassObject(DWORD dwRegister);

// Class providers: a function that gives the class object of a class, as
// DllGetClassObject does, for the contexts it serves.
typedef HRESULT(WINAPI* W32_CLASS_PROVIDER)(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
W32API HRESULT WINAPI W32RegisterClassProvider(REFCLSID rclsid, DWORD dwClsContext,
                                               W32_CLASS_PROVIDER provider);
W32API void WINAPI W32RevokeClassProvider(REFCLSID rclsid);

// Task memory.
W32API LPVOID WINAPI CoTaskMemAlloc(SIZE_T cb);
W32API LPVOID WINAPI CoTaskMemRealloc(LPVOID pv, SIZE_T cb);
W32API void WINAPI CoTaskMemFree(LPVOID pv);

// GUID strings: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
W32API int WINAPI StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
W32API HRESULT WINAPI CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid);
W32API HRESULT WINAPI IIDFromString(LPCOLESTR lpsz, LPGUID lpiid);
W32API HRESULT WINAPI StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz);

// BSTR: length-prefixed UTF-16, terminated; the prefix holds the byte length.
W32API BSTR WINAPI SysAllocString(const OLECHAR* psz);
W32API BSTR WINAPI SysAllocStringLen(const OLECHAR* strIn, UINT ui);
W32API INT WINAPI SysReAllocString(BSTR* pbstr, const OLECHAR* psz);
W32API INT WINAPI SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len);
W32API void WINAPI SysFreeString(BSTR bstrString);
W32API UINT WINAPI SysStringLen(BSTR pbstr);
W32API UINT WINAPI SysStringByteLen(BSTR bstr);

// Variant types.
enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VOID = 24,
    VT_HRESULT = 25,
    VT_LPSTR = 30,
    VT_LPWSTR = 31,
    VT_FILETIME = 64,
    VT_CLSID = 72,
    VT_VECTOR = 0x1000,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
};

struct IDispatch;

typedef struct tagVARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
        LONG* plVal;
        BSTR* pbstrVal;
        IDispatch** ppdispVal;
        struct tagVARIANT* pvarVal;
        PVOID byref;
    };
} VARIANT, VARIANTARG, *LPVARIANT, *LPVARIANTARG;

W32API void WINAPI VariantInit(VARIANTARG* pvarg);
// Frees what the variant owns (a BSTR, a reference) and makes it VT_EMPTY.
W32API HRESULT WINAPI VariantClear(VARIANTARG* pvarg);
W32API HRESULT WINAPI VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);

typedef struct tagPROPVARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        CHAR cVal;
        UCHAR bVal;
        SHORT iVal;
        USHORT uiVal;
        LONG lVal;
        ULONG ulVal;
        INT intVal;
        UINT uintVal;
        LONGLONG hVal;
        ULONGLONG uhVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        FILETIME filetime;
        CLSID* puuid;
        BSTR bstrVal;
        LPSTR pszVal;
        LPWSTR pwszVal;
        IUnknown* punkVal;
    };
} PROPVARIANT, *LPPROPVARIANT;
typedef const PROPVARIANT* REFPROPVARIANT;

// Frees a BSTR, a string or a CLSID that the variant owns.
W32API HRESULT WINAPI PropVariantClear(PROPVARIANT* pvar);

// Storage media.
typedef enum tagTYMED {
    TYMED_HGLOBAL = 1,
    TYMED_FILE = 2,
    TYMED_ISTREAM = 4,
    TYMED_ISTORAGE = 8,
    TYMED_GDI = 16,
    TYMED_MFPICT = 32,
    TYMED_ENHMF = 64,
    TYMED_NULL = 0
} TYMED;

typedef struct tagSTGMEDIUM {
    DWORD tymed;
    union {
        HBITMAP hBitmap;
        HGLOBAL hGlobal;
        LPOLESTR lpszFileName;
        IUnknown* pstm;
    };
    IUnknown* pUnkForRelease;
} STGMEDIUM, *LPSTGMEDIUM;

// TYMED_FILE deletes the file and frees its name (task memory); a medium
// whose name was cleared deletes nothing. pUnkForRelease, when set, is
// released instead.
W32API void WINAPI ReleaseStgMedium(LPSTGMEDIUM pmedium);
