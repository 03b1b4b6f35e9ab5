// Type information: type libraries, their type descriptions and the
// dispatch through them (ITypeInfo::GetIDsOfNames and ITypeInfo::Invoke).
//
// A module's type library is data compiled into the module (W32_TYPELIB_DATA)
// and kept as its resource of type "TYPELIB" with id 1, as the resource
// compiler keeps a compiled library. Each function of an interface is bound to
// a typed invoker of the interface's member function (W32_MEMBER), which the
// dispatcher calls with the arguments converted to the declared types; the
// library is refused when a declared parameter does not match its member
// (VT_BOOL matches a SHORT, VT_ERROR a LONG: they are the same C++ types).
#pragma once

#include <tuple>
#include <type_traits>
#include <utility>

#include "w32/oleauto.h"

struct ITypeLib;

typedef DWORD HREFTYPE;

typedef enum tagTYPEKIND {
    TKIND_ENUM = 0,
    TKIND_RECORD,
    TKIND_MODULE,
    TKIND_INTERFACE,
    TKIND_DISPATCH,
    TKIND_COCLASS,
    TKIND_ALIAS,
    TKIND_UNION,
    TKIND_MAX
} TYPEKIND;

typedef enum tagINVOKEKIND {
    INVOKE_FUNC = 1,
    INVOKE_PROPERTYGET = 2,
    INVOKE_PROPERTYPUT = 4,
    INVOKE_PROPERTYPUTREF = 8
} INVOKEKIND;

typedef enum tagFUNCKIND {
    FUNC_VIRTUAL = 0,
    FUNC_PUREVIRTUAL,
    FUNC_NONVIRTUAL,
    FUNC_STATIC,
    FUNC_DISPATCH
} FUNCKIND;

typedef enum tagSYSKIND { SYS_WIN16 = 0, SYS_WIN32, SYS_MAC, SYS_WIN64 } SYSKIND;

typedef enum tagREGKIND { REGKIND_DEFAULT = 0, REGKIND_REGISTER, REGKIND_NONE } REGKIND;

#define PARAMFLAG_NONE 0x00
#define PARAMFLAG_FIN 0x01
#define PARAMFLAG_FOUT 0x02
#define PARAMFLAG_FLCID 0x04
#define PARAMFLAG_FRETVAL 0x08
#define PARAMFLAG_FOPT 0x10
#define PARAMFLAG_FHASDEFAULT 0x20

#define TYPEFLAG_FAPPOBJECT 0x0001
#define TYPEFLAG_FCANCREATE 0x0002
#define TYPEFLAG_FLICENSED 0x0004
#define TYPEFLAG_FPREDECLID 0x0008
#define TYPEFLAG_FHIDDEN 0x0010
#define TYPEFLAG_FCONTROL 0x0020
#define TYPEFLAG_FDUAL 0x0040
#define TYPEFLAG_FNONEXTENSIBLE 0x0080
#define TYPEFLAG_FOLEAUTOMATION 0x0100

#define IMPLTYPEFLAG_FDEFAULT 0x1
#define IMPLTYPEFLAG_FSOURCE 0x2
#define IMPLTYPEFLAG_FRESTRICTED 0x4

#define LIBFLAG_FRESTRICTED 0x1
#define LIBFLAG_FCONTROL 0x2
#define LIBFLAG_FHIDDEN 0x4
#define LIBFLAG_FHASDISKIMAGE 0x8

#define MEMBERID_NIL DISPID_UNKNOWN

#define TYPE_E_REGISTRYACCESS ((HRESULT)0x8002801C)
#define TYPE_E_LIBNOTREGISTERED ((HRESULT)0x8002801D)
#define TYPE_E_INVALIDSTATE ((HRESULT)0x80028029)
#define TYPE_E_WRONGTYPEKIND ((HRESULT)0x8002802A)
#define TYPE_E_ELEMENTNOTFOUND ((HRESULT)0x8002802B)
#define TYPE_E_UNSUPFORMAT ((HRESULT)0x80028019)
#define TYPE_E_INVDATAREAD ((HRESULT)0x80028018)
#define TYPE_E_CANTLOADLIBRARY ((HRESULT)0x80029C4A)

typedef struct tagTLIBATTR {
    GUID guid;
    LCID lcid;
    SYSKIND syskind;
    WORD wMajorVerNum;
    WORD wMinorVerNum;
    WORD wLibFlags;
} TLIBATTR, *LPTLIBATTR;

typedef struct tagTYPEDESC {
    VARTYPE vt;
} TYPEDESC;

typedef struct tagPARAMDESC {
    USHORT wParamFlags;
} PARAMDESC;

typedef struct tagELEMDESC {
    TYPEDESC tdesc;
    PARAMDESC paramdesc;
} ELEMDESC;

typedef struct tagTYPEATTR {
    GUID guid;
    LCID lcid;
    MEMBERID memidConstructor;
    MEMBERID memidDestructor;
    ULONG cbSizeInstance;
    TYPEKIND typekind;
    WORD cFuncs;
    WORD cVars;
    WORD cImplTypes;
    WORD cbSizeVft;
    WORD cbAlignment;
    WORD wTypeFlags;
    WORD wMajorVerNum;
    WORD wMinorVerNum;
} TYPEATTR, *LPTYPEATTR;

typedef struct tagFUNCDESC {
    MEMBERID memid;
    ELEMDESC* lprgelemdescParam;
    FUNCKIND funckind;
    INVOKEKIND invkind;
    SHORT cParams;
    SHORT cParamsOpt;
    SHORT oVft;
    ELEMDESC elemdescFunc;
    WORD wFuncFlags;
} FUNCDESC, *LPFUNCDESC;

struct ITypeInfo : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** ppTypeAttr) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) = 0;
    // The member's name, then its parameters' names.
    virtual HRESULT STDMETHODCALLTYPE GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames,
                                               UINT* pcNames) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT index, INT* pImplTypeFlags) = 0;
    // Names without regard to case; DISP_E_UNKNOWNNAME (DISPID_UNKNOWN for
    // each name not found) when a name is unknown.
    virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames,
                                                    MEMBERID* pMemId) = 0;
    // Calls the member of the interface pointer pvInstance through its
    // invoker. Arguments arrive last first; each is converted to its declared
    // type (DISP_E_TYPEMISMATCH or DISP_E_OVERFLOW with its index in
    // *puArgErr), a pointer parameter takes the caller's reference, a missing
    // optional VARIANT is VT_ERROR / DISP_E_PARAMNOTFOUND, an [out, retval]
    // arrives initialised (a temporary when pVarResult is null). A put needs
    // its value as the named argument DISPID_PROPERTYPUT (DISP_E_PARAMNOTFOUND);
    // other calls take no named arguments (DISP_E_NONAMEDARGS). A failing
    // member gives DISP_E_EXCEPTION with its HRESULT in pExcepInfo->scode.
    virtual HRESULT STDMETHODCALLTYPE Invoke(PVOID pvInstance, MEMBERID memid, WORD wFlags,
                                             DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                             EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID memid, BSTR* pBstrName,
                                                       BSTR* pBstrDocString, DWORD* pdwHelpContext,
                                                       BSTR* pBstrHelpFile) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) = 0;
    virtual void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR* pTypeAttr) = 0;
    virtual void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC* pFuncDesc) = 0;
};

struct ITypeLib : public IUnknown {
    virtual UINT STDMETHODCALLTYPE GetTypeInfoCount() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** ppTInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT index, TYPEKIND* pTKind) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** ppTLibAttr) = 0;
    // index -1 documents the library itself.
    virtual HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* pBstrName,
                                                       BSTR* pBstrDocString, DWORD* pdwHelpContext,
                                                       BSTR* pBstrHelpFile) = 0;
    virtual void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* pTLibAttr) = 0;
};

inline constexpr IID IID_ITypeInfo = {0x00020401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_ITypeLib = {0x00020402, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
W32_INTERFACE_ID(ITypeInfo, IID_ITypeInfo);
W32_INTERFACE_ID(ITypeLib, IID_ITypeLib);

// Proxy classes named under HKCR\Interface for the interfaces of a library.
inline constexpr CLSID CLSID_PSDispatch = {
    0x00020420, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr CLSID CLSID_PSOAInterface = {
    0x00020424, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Loads the type library of a module: szFile is the module's path, or the
// path followed by "\N" for the library resource N. The module stays loaded
// while the library lives. REGKIND_REGISTER also registers it (REGKIND_DEFAULT
// and REGKIND_NONE do not). TYPE_E_CANTLOADLIBRARY when the module or its
// library cannot be loaded or its description is inconsistent.
W32API HRESULT WINAPI LoadTypeLibEx(LPCOLESTR szFile, REGKIND regkind, ITypeLib** pptlib);
W32API HRESULT WINAPI LoadTypeLib(LPCOLESTR szFile, ITypeLib** pptlib);
// The library registered under HKCR\TypeLib\{rguid}: the highest minor
// version not below wVerMinor with major version wVerMajor, for lcid or the
// neutral language. TYPE_E_LIBNOTREGISTERED when there is none.
W32API HRESULT WINAPI LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                                     ITypeLib** pptlib);
// Writes HKCR\TypeLib\{libid}\major.minor (the library's documentation, FLAGS,
// HELPDIR, lcid\win32 = szFullPath) and HKCR\Interface\{iid} for each
// interface of the library (name, ProxyStubClsid, ProxyStubClsid32, TypeLib
// with Version). The ForUser forms write under HKCU\Software\Classes.
W32API HRESULT WINAPI RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir);
W32API HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* ptlib, LPOLESTR szFullPath,
                                             LPOLESTR szHelpDir);
// Removes the version's key (and the library's key when no version is left)
// and the Interface keys that name this library.
W32API HRESULT WINAPI UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                                        SYSKIND syskind);
W32API HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID libID, WORD wMajorVerNum, WORD wMinorVerNum,
                                               LCID lcid, SYSKIND syskind);

// Dispatch through a type description, for objects that implement IDispatch
// themselves.
W32API HRESULT WINAPI DispGetIDsOfNames(ITypeInfo* ptinfo, LPOLESTR* rgszNames, UINT cNames,
                                        DISPID* rgdispid);
W32API HRESULT WINAPI DispInvoke(void* _this, ITypeInfo* ptinfo, DISPID dispidMember, WORD wFlags,
                                 DISPPARAMS* pparams, VARIANT* pvarResult, EXCEPINFO* pexcepinfo,
                                 UINT* puArgErr);

// ---------------------------------------------------------------------------
// The data form of a type library.

// Calls a member of the interface pointer instance with args in declared
// order, each holding the declared type in its union (VT_BYREF parameters
// hold the pointer).
typedef HRESULT (*W32_MEMBER_INVOKER)(void* instance, VARIANTARG* args);

typedef struct tagW32_MEMBER_BINDING {
    W32_MEMBER_INVOKER invoke;
    const VARTYPE* signature;  // the member's parameter types, as it takes them
    UINT cSignature;
} W32_MEMBER_BINDING;

typedef struct tagW32_PARAM_DATA {
    LPCOLESTR name;
    VARTYPE vt;    // VT_I4, VT_BSTR, VT_VARIANT | VT_BYREF (a VARIANT*), ...
    USHORT flags;  // PARAMFLAG_*
} W32_PARAM_DATA;

typedef struct tagW32_FUNC_DATA {
    MEMBERID memid;
    LPCOLESTR name;
    INVOKEKIND invkind;
    const W32_PARAM_DATA* params;
    UINT cParams;
    W32_MEMBER_BINDING member;
} W32_FUNC_DATA;

typedef struct tagW32_IMPL_DATA {
    GUID iid;
    INT flags;  // IMPLTYPEFLAG_*
} W32_IMPL_DATA;

typedef struct tagW32_TYPE_DATA {
    TYPEKIND kind;  // TKIND_DISPATCH or TKIND_INTERFACE (with TYPEFLAG_FDUAL), TKIND_COCLASS
    GUID guid;
    LPCOLESTR name;
    LPCOLESTR doc;
    WORD flags;  // TYPEFLAG_*
    const W32_FUNC_DATA* funcs;
    UINT cFuncs;
    const W32_IMPL_DATA* impls;  // a coclass's interfaces
    UINT cImpls;
} W32_TYPE_DATA;

#define W32_TYPELIB_MAGIC 0x42494C54u  // "TLIB"
#define W32_TYPELIB_FORMAT 1

typedef struct tagW32_TYPELIB_DATA {
    DWORD magic;   // W32_TYPELIB_MAGIC
    DWORD format;  // W32_TYPELIB_FORMAT
    GUID libid;
    LPCOLESTR name;
    LPCOLESTR doc;
    WORD wMajorVerNum;
    WORD wMinorVerNum;
    LCID lcid;
    WORD wLibFlags;
    const W32_TYPE_DATA* types;
    UINT cTypes;
} W32_TYPELIB_DATA;

#define RT_TYPELIB u"TYPELIB"

// Keeps a library's data as resource "TYPELIB" 1 of the module this line is
// compiled into.
#define W32_TYPELIB_RESOURCE(data) \
    W32_RESOURCE(RT_TYPELIB, 1, &(data), static_cast<DWORD>(sizeof(data)))

namespace w32::typelib {

// The VARTYPE a member takes for a C++ parameter type.
template <class T>
struct VarTypeOf;
template <>
struct VarTypeOf<SHORT> {
    static constexpr VARTYPE value = VT_I2;  // also VARIANT_BOOL, which a VT_BOOL parameter takes
};
template <>
struct VarTypeOf<LONG> {
    static constexpr VARTYPE value = VT_I4;
};
template <>
struct VarTypeOf<DOUBLE> {
    static constexpr VARTYPE value = VT_R8;
};
template <>
struct VarTypeOf<BSTR> {
    static constexpr VARTYPE value = VT_BSTR;
};
template <>
struct VarTypeOf<IDispatch*> {
    static constexpr VARTYPE value = VT_DISPATCH;
};
template <>
struct VarTypeOf<IUnknown*> {
    static constexpr VARTYPE value = VT_UNKNOWN;
};
template <>
struct VarTypeOf<VARIANT*> {
    static constexpr VARTYPE value = VT_VARIANT | VT_BYREF;
};
template <class T>
struct VarTypeOf<T*> {
    static constexpr VARTYPE value = VarTypeOf<T>::value | VT_BYREF;
};

// Reads a parameter of C++ type T from the variant the dispatcher prepared.
template <class T>
T ArgumentOf(VARIANTARG& v) {
    if constexpr (std::is_pointer_v<T> && !std::is_same_v<T, BSTR> &&
                  !std::is_same_v<T, IDispatch*> && !std::is_same_v<T, IUnknown*>) {
        return static_cast<T>(v.byref);
    } else if constexpr (std::is_same_v<T, SHORT>) {
        return v.iVal;
    } else if constexpr (std::is_same_v<T, LONG>) {
        return v.lVal;
    } else if constexpr (std::is_same_v<T, DOUBLE>) {
        return v.dblVal;
    } else if constexpr (std::is_same_v<T, BSTR>) {
        return v.bstrVal;
    } else if constexpr (std::is_same_v<T, IDispatch*>) {
        return v.pdispVal;
    } else {
        static_assert(std::is_same_v<T, IUnknown*>, "a parameter type that automation lacks");
        return v.punkVal;
    }
}

template <auto Member>
struct MemberInvoker;

template <class Interface, class... Args, HRESULT (STDMETHODCALLTYPE Interface::*Member)(Args...)>
struct MemberInvoker<Member> {
    static constexpr VARTYPE signature[sizeof...(Args) + 1] = {VarTypeOf<Args>::value..., 0};

    static HRESULT Invoke(void* instance, VARIANTARG* args) {
        return Call(static_cast<Interface*>(instance), args, std::index_sequence_for<Args...>{});
    }

    template <size_t... I>
    static HRESULT Call(Interface* object, [[maybe_unused]] VARIANTARG* args,
                        std::index_sequence<I...>) {
        return (object->*Member)(ArgumentOf<Args>(args[I])...);
    }

    static constexpr W32_MEMBER_BINDING Binding() {
        return W32_MEMBER_BINDING{&Invoke, signature, static_cast<UINT>(sizeof...(Args))};
    }
};

}  // namespace w32::typelib

// The binding of a function's description to its member, e.g.
// W32_MEMBER(&IVexample::doThing).
#define W32_MEMBER(member) (w32::typelib::MemberInvoker<member>::Binding())
