// Dispatch through a type description: names to DISPIDs, and Invoke, which
// checks and converts the arguments to the declared types and calls the
// member through its typed invoker.
#include <vector>

#include "type_library.h"

namespace w32::typelib {
namespace {

bool Matches(const W32_FUNC_DATA& func, WORD flags) {
    switch (func.invkind) {
        case INVOKE_FUNC:
            return (flags & DISPATCH_METHOD) != 0;
        case INVOKE_PROPERTYGET:
            return (flags & DISPATCH_PROPERTYGET) != 0;
        case INVOKE_PROPERTYPUT:
            return (flags & DISPATCH_PROPERTYPUT) != 0;
        case INVOKE_PROPERTYPUTREF:
            return (flags & DISPATCH_PROPERTYPUTREF) != 0;
    }
    return false;
}

const W32_FUNC_DATA* FindFunction(const W32_TYPE_DATA& type, DISPID member, WORD flags) {
    // A method before a property get, so METHOD|PROPERTYGET (a script's call)
    // reaches either.
    const W32_FUNC_DATA* found = nullptr;
    for (UINT f = 0; f < type.cFuncs; ++f) {
        const W32_FUNC_DATA& func = type.funcs[f];
        if (func.memid == member && Matches(func, flags) &&
            (found == nullptr || func.invkind < found->invkind)) {
            found = &func;
        }
    }
    return found;
}

// What the member receives for one parameter, owned until the call ends.
struct Argument {
    VARIANTARG value;      // the union that the invoker reads
    VARIANTARG converted;  // a conversion's result, cleared after the call
    VARIANT retval;        // storage of an [out, retval] that is not a VARIANT
};

HRESULT Coerce(VARIANTARG* source, const W32_PARAM_DATA& param, Argument& argument) {
    VARTYPE base = static_cast<VARTYPE>(param.vt & ~VT_BYREF);
    if ((param.vt & VT_BYREF) != 0) {
        // A pointer parameter: a VARIANT* points at the caller's variant (or
        // the one it refers to); another pointer needs exactly that reference.
        if (base == VT_VARIANT) {
            argument.value.byref = source->vt == (VT_BYREF | VT_VARIANT) ? source->pvarVal : source;
            return argument.value.byref != nullptr ? S_OK : DISP_E_TYPEMISMATCH;
        }
        if (source->vt != param.vt || source->byref == nullptr) {
            return DISP_E_TYPEMISMATCH;
        }
        argument.value.byref = source->byref;
        return S_OK;
    }
    HRESULT hr = VariantChangeType(&argument.converted, source, 0, base);
    if (FAILED(hr)) {
        return hr == DISP_E_OVERFLOW ? hr : DISP_E_TYPEMISMATCH;
    }
    argument.value = argument.converted;
    return S_OK;
}

// Moves an [out, retval] of the declared type into the caller's result.
void TakeRetval(VARTYPE vt, Argument& argument, VARIANT* result) {
    VARTYPE base = static_cast<VARTYPE>(vt & ~VT_BYREF);
    if (base == VT_VARIANT) {
        if (result != nullptr) {
            *result = argument.retval;
        } else {
            VariantClear(&argument.retval);
        }
        return;
    }
    argument.retval.vt = base;
    if (result != nullptr) {
        *result = argument.retval;
    } else {
        VariantClear(&argument.retval);
    }
}

}  // namespace

HRESULT GetIDsOfNames(const W32_TYPE_DATA& type, LPOLESTR* names, UINT count, DISPID* ids) {
    if (count == 0) {
        return S_OK;
    }
    if (names == nullptr || ids == nullptr) {
        return E_INVALIDARG;
    }
    for (UINT i = 0; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
    }
    const W32_FUNC_DATA* func = nullptr;
    for (UINT f = 0; f < type.cFuncs && names[0] != nullptr; ++f) {
        if (SameName(type.funcs[f].name, names[0])) {
            func = &type.funcs[f];
            break;
        }
    }
    if (func == nullptr) {
        return DISP_E_UNKNOWNNAME;
    }
    ids[0] = func->memid;
    HRESULT hr = S_OK;
    // The further names are the member's parameters: their positions.
    for (UINT i = 1; i < count; ++i) {
        for (UINT p = 0; p < func->cParams && names[i] != nullptr; ++p) {
            if (SameName(func->params[p].name, names[i])) {
                ids[i] = static_cast<DISPID>(p);
                break;
            }
        }
        if (ids[i] == DISPID_UNKNOWN) {
            hr = DISP_E_UNKNOWNNAME;
        }
    }
    return hr;
}

HRESULT Invoke(const W32_TYPE_DATA& type, void* instance, DISPID member, WORD flags,
               DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception, UINT* argumentError) {
    if (instance == nullptr || params == nullptr ||
        (params->cArgs > 0 && params->rgvarg == nullptr) ||
        (params->cNamedArgs > 0 && params->rgdispidNamedArgs == nullptr) ||
        params->cNamedArgs > params->cArgs) {
        return E_INVALIDARG;
    }
    const W32_FUNC_DATA* func = FindFunction(type, member, flags);
    if (func == nullptr) {
        return DISP_E_MEMBERNOTFOUND;
    }
    bool put = (func->invkind & (INVOKE_PROPERTYPUT | INVOKE_PROPERTYPUTREF)) != 0;
    // A property put takes its value as the one named argument
    // DISPID_PROPERTYPUT; nothing else may be named.
    if (put) {
        if (params->cNamedArgs != 1 || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) {
            return DISP_E_PARAMNOTFOUND;
        }
    } else if (params->cNamedArgs > 0) {
        return DISP_E_NONAMEDARGS;
    }
    UINT declared = func->cParams;
    bool hasRetval = declared > 0 && (func->params[declared - 1].flags & PARAMFLAG_FRETVAL) != 0;
    UINT inputs = hasRetval ? declared - 1 : declared;
    UINT optional = 0;
    for (UINT p = 0; p < inputs; ++p) {
        if ((func->params[p].flags & PARAMFLAG_FOPT) != 0) {
            ++optional;
        }
    }
    if (params->cArgs > inputs || params->cArgs + optional < inputs) {
        return DISP_E_BADPARAMCOUNT;
    }

    std::vector<Argument> arguments(declared);
    std::vector<VARIANTARG> signature(declared);
    HRESULT hr = S_OK;
    UINT positional = params->cArgs - params->cNamedArgs;
    for (UINT p = 0; p < inputs && SUCCEEDED(hr); ++p) {
        Argument& argument = arguments[p];
        VariantInit(&argument.converted);
        VariantInit(&argument.value);
        // Arguments arrive last first; a put's value is the named one at 0.
        UINT slot = 0;
        bool present = true;
        if (put && p + 1 == inputs) {
            slot = 0;
        } else if (p < positional) {
            slot = params->cArgs - 1 - p;
        } else {
            present = false;
        }
        VARIANTARG* source = nullptr;
        if (present) {
            source = &params->rgvarg[slot];
        } else {
            // A missing optional VARIANT arrives as VT_ERROR / DISP_E_PARAMNOTFOUND.
            argument.converted.vt = VT_ERROR;
            argument.converted.scode = DISP_E_PARAMNOTFOUND;
            source = &argument.converted;
        }
        hr = Coerce(source, func->params[p], argument);
        if (FAILED(hr) && argumentError != nullptr) {
            *argumentError = slot;
        }
    }
    if (SUCCEEDED(hr) && hasRetval) {
        // The [out, retval] arrives initialised, whether or not the caller
        // wants the result.
        Argument& argument = arguments[declared - 1];
        VariantInit(&argument.converted);
        VariantInit(&argument.retval);
        VariantInit(&argument.value);
        VARTYPE base = static_cast<VARTYPE>(func->params[declared - 1].vt & ~VT_BYREF);
        argument.value.byref =
            base == VT_VARIANT ? static_cast<void*>(&argument.retval) : &argument.retval.llVal;
    }
    if (SUCCEEDED(hr)) {
        for (UINT p = 0; p < declared; ++p) {
            signature[p] = arguments[p].value;
        }
        HRESULT called = func->member.invoke(instance, signature.data());
        if (FAILED(called)) {
            if (hasRetval) {
                // A failing member's out value is not trusted: only VARIANTs
                // are cleared, other types were never handed out.
                if ((func->params[declared - 1].vt & ~VT_BYREF) == VT_VARIANT) {
                    VariantClear(&arguments[declared - 1].retval);
                }
            }
            if (exception != nullptr) {
                *exception = EXCEPINFO{};
                exception->scode = called;
            }
            hr = DISP_E_EXCEPTION;
        } else if (hasRetval) {
            TakeRetval(func->params[declared - 1].vt, arguments[declared - 1], result);
        }
    }
    for (UINT p = 0; p < inputs; ++p) {
        VariantClear(&arguments[p].converted);
    }
    return hr;
}

}  // namespace w32::typelib

W32API HRESULT WINAPI DispGetIDsOfNames(ITypeInfo* ptinfo, LPOLESTR* rgszNames, UINT cNames,
                                        DISPID* rgdispid) {
    if (ptinfo == nullptr) {
        return E_INVALIDARG;
    }
    return ptinfo->GetIDsOfNames(rgszNames, cNames, rgdispid);
}

W32API HRESULT WINAPI DispInvoke(void* _this, ITypeInfo* ptinfo, DISPID dispidMember, WORD wFlags,
                                 DISPPARAMS* pparams, VARIANT* pvarResult, EXCEPINFO* pexcepinfo,
                                 UINT* puArgErr) {
    if (ptinfo == nullptr) {
        return E_INVALIDARG;
    }
    return ptinfo->Invoke(_this, dispidMember, wFlags, pparams, pvarResult, pexcepinfo, puArgErr);
}
