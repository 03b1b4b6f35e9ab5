// Type libraries kept as module resources: the ITypeLib and ITypeInfo
// objects over their data, and LoadTypeLibEx.
#include "type_library.h"

#include <atomic>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "internal/com_object.h"
#include "w32/module.h"

namespace w32::typelib {
namespace {

VARTYPE Storage(VARTYPE vt) {
    VARTYPE base = static_cast<VARTYPE>(vt & ~VT_BYREF);
    if (base == VT_BOOL) {
        base = VT_I2;
    } else if (base == VT_ERROR) {
        base = VT_I4;
    }
    return static_cast<VARTYPE>(base | (vt & VT_BYREF));
}

bool IsAutomationType(VARTYPE vt) {
    switch (vt & ~VT_BYREF) {
        case VT_I2:
        case VT_I4:
        case VT_R8:
        case VT_BOOL:
        case VT_BSTR:
        case VT_DISPATCH:
        case VT_UNKNOWN:
        case VT_ERROR:
            return true;
        case VT_VARIANT:
            return (vt & VT_BYREF) != 0;  // a VARIANT is passed by pointer
        default:
            return false;
    }
}

bool IsConsistent(const W32_FUNC_DATA& func) {
    if (func.name == nullptr || (func.cParams > 0 && func.params == nullptr) ||
        func.member.invoke == nullptr || func.member.cSignature != func.cParams ||
        (func.cParams > 0 && func.member.signature == nullptr)) {
        return false;
    }
    if (func.invkind != INVOKE_FUNC && func.invkind != INVOKE_PROPERTYGET &&
        func.invkind != INVOKE_PROPERTYPUT && func.invkind != INVOKE_PROPERTYPUTREF) {
        return false;
    }
    bool optionalSeen = false;
    UINT inputs = 0;
    for (UINT i = 0; i < func.cParams; ++i) {
        const W32_PARAM_DATA& param = func.params[i];
        if (param.name == nullptr || !IsAutomationType(param.vt) ||
            Storage(param.vt) != Storage(func.member.signature[i])) {
            return false;
        }
        if ((param.flags & PARAMFLAG_FRETVAL) != 0) {
            // The retval is the last parameter, an out pointer.
            if (i + 1 != func.cParams || (param.vt & VT_BYREF) == 0 ||
                (param.flags & PARAMFLAG_FOUT) == 0) {
                return false;
            }
            continue;
        }
        ++inputs;
        if ((param.flags & PARAMFLAG_FOPT) != 0) {
            // Only a VARIANT can be missing, and only at the end.
            if ((param.vt & ~VT_BYREF) != VT_VARIANT) {
                return false;
            }
            optionalSeen = true;
        } else if (optionalSeen) {
            return false;
        }
    }
    bool hasRetval = func.cParams > 0 && (func.params[func.cParams - 1].flags & PARAMFLAG_FRETVAL);
    if ((func.invkind & (INVOKE_PROPERTYPUT | INVOKE_PROPERTYPUTREF)) != 0 &&
        (inputs == 0 || hasRetval)) {
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------

class TypeLib;

class TypeInfo final : public ITypeInfo {
public:
    TypeInfo(TypeLib& library, const W32_TYPE_DATA& data, UINT index)
        : library(library), data(data), index(index) {}

    const W32_TYPE_DATA& Data() const { return data; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        return w32::com::AnswerInterface<ITypeInfo>(this, riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** ppTypeAttr) override;
    HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT i, FUNCDESC** ppFuncDesc) override {
        if (ppFuncDesc == nullptr) {
            return E_INVALIDARG;
        }
        *ppFuncDesc = nullptr;
        if (i >= data.cFuncs) {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        const W32_FUNC_DATA& func = data.funcs[i];
        auto desc = std::make_unique<FUNCDESC>();
        std::unique_ptr<ELEMDESC[]> params(new ELEMDESC[func.cParams > 0 ? func.cParams : 1]);
        SHORT optional = 0;
        for (UINT p = 0; p < func.cParams; ++p) {
            params[p].tdesc.vt = func.params[p].vt;
            params[p].paramdesc.wParamFlags = func.params[p].flags;
            if ((func.params[p].flags & PARAMFLAG_FOPT) != 0) {
                ++optional;
            }
        }
        desc->memid = func.memid;
        desc->funckind = FUNC_DISPATCH;
        desc->invkind = func.invkind;
        desc->cParams = static_cast<SHORT>(func.cParams);
        desc->cParamsOpt = optional;
        desc->oVft = 0;
        desc->elemdescFunc.tdesc.vt = VT_HRESULT;
        desc->elemdescFunc.paramdesc.wParamFlags = PARAMFLAG_NONE;
        desc->wFuncFlags = 0;
        desc->lprgelemdescParam = params.release();
        *ppFuncDesc = desc.release();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames,
                                       UINT* pcNames) override {
        if (rgBstrNames == nullptr || pcNames == nullptr) {
            return E_INVALIDARG;
        }
        *pcNames = 0;
        for (UINT f = 0; f < data.cFuncs; ++f) {
            const W32_FUNC_DATA& func = data.funcs[f];
            if (func.memid != memid) {
                continue;
            }
            std::vector<LPCOLESTR> names{func.name};
            for (UINT p = 0; p < func.cParams; ++p) {
                if ((func.params[p].flags & PARAMFLAG_FRETVAL) == 0) {
                    names.push_back(func.params[p].name);
                }
            }
            UINT count = 0;
            for (; count < names.size() && count < cMaxNames; ++count) {
                rgBstrNames[count] = SysAllocString(names[count]);
            }
            *pcNames = count;
            return S_OK;
        }
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT i, HREFTYPE* pRefType) override {
        if (pRefType == nullptr) {
            return E_INVALIDARG;
        }
        if (i >= data.cImpls) {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        *pRefType = i;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT i, INT* pImplTypeFlags) override {
        if (pImplTypeFlags == nullptr) {
            return E_INVALIDARG;
        }
        if (i >= data.cImpls) {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        *pImplTypeFlags = data.impls[i].flags;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames,
                                            MEMBERID* pMemId) override {
        return typelib::GetIDsOfNames(data, rgszNames, cNames, pMemId);
    }
    HRESULT STDMETHODCALLTYPE Invoke(PVOID pvInstance, MEMBERID memid, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                     EXCEPINFO* pExcepInfo, UINT* puArgErr) override {
        return typelib::Invoke(data, pvInstance, memid, wFlags, pDispParams, pVarResult, pExcepInfo,
                               puArgErr);
    }
    HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID memid, BSTR* pBstrName,
                                               BSTR* pBstrDocString, DWORD* pdwHelpContext,
                                               BSTR* pBstrHelpFile) override {
        LPCOLESTR name = nullptr;
        LPCOLESTR doc = nullptr;
        if (memid == MEMBERID_NIL) {
            name = data.name;
            doc = data.doc;
        } else {
            for (UINT f = 0; f < data.cFuncs && name == nullptr; ++f) {
                if (data.funcs[f].memid == memid) {
                    name = data.funcs[f].name;
                }
            }
            if (name == nullptr) {
                return TYPE_E_ELEMENTNOTFOUND;
            }
        }
        if (pBstrName != nullptr) {
            *pBstrName = SysAllocString(name);
        }
        if (pBstrDocString != nullptr) {
            *pBstrDocString = SysAllocString(doc);
        }
        if (pdwHelpContext != nullptr) {
            *pdwHelpContext = 0;
        }
        if (pBstrHelpFile != nullptr) {
            *pBstrHelpFile = nullptr;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) override;
    HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) override;
    void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR* pTypeAttr) override { delete pTypeAttr; }
    void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC* pFuncDesc) override {
        if (pFuncDesc != nullptr) {
            delete[] pFuncDesc->lprgelemdescParam;
            delete pFuncDesc;
        }
    }

private:
    TypeLib& library;
    const W32_TYPE_DATA& data;
    UINT index;
};

// The library owns its type descriptions, whose references count the
// library, so a description keeps its library (and the module) alive.
class TypeLib final : public ITypeLib {
public:
    TypeLib(const W32_TYPELIB_DATA& data, HMODULE module) : data(data), module(module) {
        infos.reserve(data.cTypes);
        for (UINT i = 0; i < data.cTypes; ++i) {
            infos.push_back(std::make_unique<TypeInfo>(*this, data.types[i], i));
        }
    }

    const W32_TYPELIB_DATA& Data() const { return data; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        return w32::com::AnswerInterface<ITypeLib>(this, riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++count; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --count;
        if (left == 0) {
            HMODULE held = module;
            delete this;
            if (held != nullptr) {
                FreeLibrary(held);
            }
        }
        return left;
    }

    UINT STDMETHODCALLTYPE GetTypeInfoCount() override { return data.cTypes; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT i, ITypeInfo** ppTInfo) override {
        if (ppTInfo == nullptr) {
            return E_INVALIDARG;
        }
        *ppTInfo = nullptr;
        if (i >= infos.size()) {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        *ppTInfo = infos[i].get();
        AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT i, TYPEKIND* pTKind) override {
        if (pTKind == nullptr) {
            return E_INVALIDARG;
        }
        if (i >= data.cTypes) {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        *pTKind = data.types[i].kind;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) override {
        if (ppTinfo == nullptr) {
            return E_INVALIDARG;
        }
        *ppTinfo = nullptr;
        for (UINT i = 0; i < data.cTypes; ++i) {
            if (data.types[i].guid == guid) {
                return GetTypeInfo(i, ppTinfo);
            }
        }
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** ppTLibAttr) override {
        if (ppTLibAttr == nullptr) {
            return E_INVALIDARG;
        }
        auto* attr = new (std::nothrow) TLIBATTR;
        if (attr == nullptr) {
            return E_OUTOFMEMORY;
        }
        attr->guid = data.libid;
        attr->lcid = data.lcid;
        attr->syskind = SYS_WIN32;
        attr->wMajorVerNum = data.wMajorVerNum;
        attr->wMinorVerNum = data.wMinorVerNum;
        attr->wLibFlags = data.wLibFlags;
        *ppTLibAttr = attr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDocumentation(INT i, BSTR* pBstrName, BSTR* pBstrDocString,
                                               DWORD* pdwHelpContext,
                                               BSTR* pBstrHelpFile) override {
        if (i == -1) {
            if (pBstrName != nullptr) {
                *pBstrName = SysAllocString(data.name);
            }
            if (pBstrDocString != nullptr) {
                *pBstrDocString = SysAllocString(data.doc);
            }
            if (pdwHelpContext != nullptr) {
                *pdwHelpContext = 0;
            }
            if (pBstrHelpFile != nullptr) {
                *pBstrHelpFile = nullptr;
            }
            return S_OK;
        }
        if (i < 0 || static_cast<UINT>(i) >= infos.size()) {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        return infos[static_cast<UINT>(i)]->GetDocumentation(
            MEMBERID_NIL, pBstrName, pBstrDocString, pdwHelpContext, pBstrHelpFile);
    }
    void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* pTLibAttr) override { delete pTLibAttr; }

    ITypeInfo* Info(UINT i) { return infos[i].get(); }

private:
    ~TypeLib() = default;

    std::atomic<ULONG> count{1};
    const W32_TYPELIB_DATA& data;
    HMODULE module;
    std::vector<std::unique_ptr<TypeInfo>> infos;
};

ULONG STDMETHODCALLTYPE TypeInfo::AddRef() {
    return library.AddRef();
}

ULONG STDMETHODCALLTYPE TypeInfo::Release() {
    return library.Release();
}

HRESULT STDMETHODCALLTYPE TypeInfo::GetTypeAttr(TYPEATTR** ppTypeAttr) {
    if (ppTypeAttr == nullptr) {
        return E_INVALIDARG;
    }
    auto* attr = new (std::nothrow) TYPEATTR{};
    if (attr == nullptr) {
        return E_OUTOFMEMORY;
    }
    attr->guid = data.guid;
    attr->lcid = library.Data().lcid;
    attr->memidConstructor = MEMBERID_NIL;
    attr->memidDestructor = MEMBERID_NIL;
    attr->typekind = data.kind;
    attr->cFuncs = static_cast<WORD>(data.cFuncs);
    attr->cImplTypes = static_cast<WORD>(data.cImpls);
    attr->cbSizeVft = static_cast<WORD>(7 * sizeof(void*));
    attr->cbAlignment = sizeof(void*);
    attr->wTypeFlags = data.flags;
    attr->wMajorVerNum = library.Data().wMajorVerNum;
    attr->wMinorVerNum = library.Data().wMinorVerNum;
    *ppTypeAttr = attr;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TypeInfo::GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) {
    if (ppTInfo == nullptr) {
        return E_INVALIDARG;
    }
    *ppTInfo = nullptr;
    if (hRefType >= data.cImpls) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    return library.GetTypeInfoOfGuid(data.impls[hRefType].iid, ppTInfo);
}

HRESULT STDMETHODCALLTYPE TypeInfo::GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) {
    if (ppTLib != nullptr) {
        *ppTLib = &library;
        library.AddRef();
    }
    if (pIndex != nullptr) {
        *pIndex = index;
    }
    return S_OK;
}

// The module of a path: the program's own, or a library loaded (and held) for
// the type library.
HMODULE ModuleOfPath(const std::u16string& path, bool& loaded) {
    loaded = false;
    OLECHAR program[1024];
    DWORD length = GetModuleFileNameW(nullptr, program, 1024);
    if (length > 0 && length < 1024 && path == std::u16string(program, length)) {
        return GetModuleHandleW(nullptr);
    }
    HMODULE module = LoadLibraryW(path.c_str());
    loaded = module != nullptr;
    return module;
}

}  // namespace

bool IsConsistent(const W32_TYPELIB_DATA& data) {
    if (data.magic != W32_TYPELIB_MAGIC || data.format != W32_TYPELIB_FORMAT ||
        data.name == nullptr || (data.cTypes > 0 && data.types == nullptr)) {
        return false;
    }
    for (UINT t = 0; t < data.cTypes; ++t) {
        const W32_TYPE_DATA& type = data.types[t];
        if (type.name == nullptr || (type.cFuncs > 0 && type.funcs == nullptr) ||
            (type.cImpls > 0 && type.impls == nullptr)) {
            return false;
        }
        bool coclass = type.kind == TKIND_COCLASS;
        if (!coclass && type.kind != TKIND_DISPATCH && type.kind != TKIND_INTERFACE) {
            return false;
        }
        if (coclass ? type.cFuncs != 0 : type.cImpls != 0) {
            return false;
        }
        for (UINT f = 0; f < type.cFuncs; ++f) {
            if (!IsConsistent(type.funcs[f])) {
                return false;
            }
            for (UINT g = 0; g < f; ++g) {
                if (type.funcs[g].memid == type.funcs[f].memid &&
                    type.funcs[g].invkind == type.funcs[f].invkind) {
                    return false;  // one function per id and kind
                }
            }
        }
    }
    return true;
}

HRESULT CreateTypeLib(const W32_TYPELIB_DATA& data, HMODULE module, ITypeLib** library) {
    auto* made = new (std::nothrow) TypeLib(data, module);
    if (made == nullptr) {
        return E_OUTOFMEMORY;
    }
    *library = made;
    return S_OK;
}

const W32_TYPELIB_DATA* DataOf(ITypeLib* library) {
    auto* own = dynamic_cast<TypeLib*>(library);
    return own != nullptr ? &own->Data() : nullptr;
}

const W32_TYPE_DATA* TypeDataOf(ITypeInfo* info) {
    auto* own = dynamic_cast<TypeInfo*>(info);
    return own != nullptr ? &own->Data() : nullptr;
}

bool SameName(LPCOLESTR a, LPCOLESTR b) {
    auto lower = [](char16_t c) {
        return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
    };
    for (; *a != 0 && *b != 0; ++a, ++b) {
        if (lower(*a) != lower(*b)) {
            return false;
        }
    }
    return *a == *b;
}

}  // namespace w32::typelib

W32API HRESULT WINAPI LoadTypeLibEx(LPCOLESTR szFile, REGKIND regkind, ITypeLib** pptlib) {
    if (szFile == nullptr || pptlib == nullptr) {
        return E_INVALIDARG;
    }
    *pptlib = nullptr;
    std::u16string path(szFile);
    WORD resource = 1;
    // "path\N" names the library resource N.
    size_t mark = path.rfind(u'\\');
    if (mark != std::u16string::npos && mark + 1 < path.size() && path.size() - mark <= 6) {
        unsigned value = 0;
        bool digits = true;
        for (size_t i = mark + 1; i < path.size(); ++i) {
            if (path[i] < u'0' || path[i] > u'9') {
                digits = false;
                break;
            }
            value = value * 10 + static_cast<unsigned>(path[i] - u'0');
        }
        if (digits && value > 0 && value <= 0xFFFF) {
            resource = static_cast<WORD>(value);
            path.resize(mark);
        }
    }
    bool loaded = false;
    HMODULE module = w32::typelib::ModuleOfPath(path, loaded);
    if (module == nullptr) {
        return TYPE_E_CANTLOADLIBRARY;
    }
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(resource), RT_TYPELIB);
    const auto* data =
        found != nullptr
            ? static_cast<const W32_TYPELIB_DATA*>(LockResource(LoadResource(module, found)))
            : nullptr;
    if (data == nullptr || SizeofResource(module, found) < sizeof(W32_TYPELIB_DATA) ||
        !w32::typelib::IsConsistent(*data)) {
        if (loaded) {
            FreeLibrary(module);
        }
        return TYPE_E_CANTLOADLIBRARY;
    }
    ITypeLib* library = nullptr;
    HRESULT hr = w32::typelib::CreateTypeLib(*data, loaded ? module : nullptr, &library);
    if (FAILED(hr)) {
        if (loaded) {
            FreeLibrary(module);
        }
        return hr;
    }
    if (regkind == REGKIND_REGISTER) {
        hr = RegisterTypeLib(library, szFile, nullptr);
        if (FAILED(hr)) {
            library->Release();
            return hr;
        }
    }
    *pptlib = library;
    return S_OK;
}

W32API HRESULT WINAPI LoadTypeLib(LPCOLESTR szFile, ITypeLib** pptlib) {
    return LoadTypeLibEx(szFile, REGKIND_DEFAULT, pptlib);
}
