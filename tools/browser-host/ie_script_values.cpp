// Script values and COM: VARIANTs to script values and back, and script
// values that COM holds as IDispatch wrappers of the engine's own (page
// callbacks above all), counted as COM counts and kept in the stash while a
// wrapper lives.
#include <duktape.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "ie_script_state.h"
#include "script_bridge.h"
#include "script_host.h"

namespace browser::ie {

using namespace engine;

namespace {

void PushWide(duk_context* ctx, const char16_t* text, size_t length) {
    std::string engine = WideToEngine(text, length);
    duk_push_lstring(ctx, engine.data(), engine.size());
}

BSTR EngineBstr(duk_context* ctx, duk_idx_t index) {
    duk_size_t length = 0;
    const char* text = duk_get_lstring(ctx, index, &length);
    std::u16string wide = EngineToWide(text, length);
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

// Answers the wrapper itself to the engine that made it (never to a caller
// outside this file, which sees no such interface).
constexpr IID kIidScriptDispatch = {
    0x5B0E7C41, 0x93D2, 0x4A6F, {0x8E, 0x1C, 0x27, 0x4D, 0xB3, 0x90, 0x6A, 0x15}};

}  // namespace

// --- Wrappers of script values -----------------------------------------------------

class ScriptDispatch final : public IDispatch {
public:
    ScriptDispatch(ScriptState* owner, uint32_t slot, void* heapPointer)
        : owner(owner), slot(slot), heapPointer(heapPointer) {}

    ScriptState* Owner() const { return owner; }
    uint32_t Slot() const { return slot; }
    void* HeapPointer() const { return heapPointer; }
    void MakeInert() { owner = nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == kIidScriptDispatch) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++count; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --count;
        if (left == 0) {
            if (owner != nullptr) {
                owner->Forget(this);
            }
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
        if (owner == nullptr) {
            return E_UNEXPECTED;
        }
        if (pctinfo == nullptr) {
            return E_INVALIDARG;
        }
        *pctinfo = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
        if (owner == nullptr) {
            return E_UNEXPECTED;
        }
        if (ppTInfo != nullptr) {
            *ppTInfo = nullptr;
        }
        return DISP_E_BADINDEX;
    }
    // The names of the value's properties (its prototypes' included), each
    // with a DISPID of its own for as long as the wrapper lives; further
    // names (of parameters) are unknown.
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                                            DISPID* rgDispId) override {
        if (owner == nullptr) {
            return E_UNEXPECTED;
        }
        if (riid != IID_NULL) {
            return DISP_E_UNKNOWNINTERFACE;
        }
        if (rgszNames == nullptr || rgDispId == nullptr || cNames == 0) {
            return E_INVALIDARG;
        }
        for (UINT i = 0; i < cNames; ++i) {
            rgDispId[i] = DISPID_UNKNOWN;
        }
        if (rgszNames[0] == nullptr) {
            return DISP_E_UNKNOWNNAME;
        }
        std::u16string wide(rgszNames[0]);
        std::string name = WideToEngine(wide.data(), wide.size());
        if (!owner->HasMember(slot, name)) {
            return DISP_E_UNKNOWNNAME;
        }
        size_t index = 0;
        while (index < names.size() && names[index] != name) {
            ++index;
        }
        if (index == names.size()) {
            names.push_back(name);
        }
        rgDispId[0] = static_cast<DISPID>(index + 1);
        return cNames > 1 ? DISP_E_UNKNOWNNAME : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                     EXCEPINFO* pExcepInfo, UINT*) override {
        if (owner == nullptr) {
            return E_UNEXPECTED;
        }
        if (riid != IID_NULL) {
            return DISP_E_UNKNOWNINTERFACE;
        }
        if (pDispParams == nullptr || (pDispParams->cArgs > 0 && pDispParams->rgvarg == nullptr) ||
            (pDispParams->cNamedArgs > 0 && pDispParams->rgdispidNamedArgs == nullptr) ||
            pDispParams->cNamedArgs > pDispParams->cArgs) {
            return E_INVALIDARG;
        }
        std::string member;
        if (dispIdMember != DISPID_VALUE) {
            if (dispIdMember < 1 || static_cast<size_t>(dispIdMember) > names.size()) {
                return DISP_E_MEMBERNOTFOUND;
            }
            member = names[static_cast<size_t>(dispIdMember) - 1];
        }
        if (pVarResult != nullptr) {
            VariantInit(pVarResult);
        }
        // The call may drop the caller's reference (a page function that
        // ends its own registration).
        AddRef();
        HRESULT hr = owner->InvokeWrapped(slot, dispIdMember == DISPID_VALUE ? nullptr : &member,
                                          wFlags, *pDispParams, pVarResult, pExcepInfo);
        Release();
        return hr;
    }

private:
    ~ScriptDispatch() = default;

    std::atomic<ULONG> count{1};
    ScriptState* owner;  // null once inert
    uint32_t slot;       // the value's slot in the stash
    void* heapPointer;
    std::vector<std::string> names;  // DISPID n is names[n - 1]
};

IDispatch* ScriptState::WrapperOf(duk_idx_t index) {
    void* pointer = duk_get_heapptr(ctx, index);
    if (pointer == nullptr) {
        return nullptr;
    }
    auto found = wrappers.find(pointer);
    if (found != wrappers.end()) {
        found->second->AddRef();
        return found->second;
    }
    auto* wrapper = new (std::nothrow) ScriptDispatch(this, nextId++, pointer);
    if (wrapper == nullptr) {
        return nullptr;
    }
    KeepValue(ctx, kStashWrapped, wrapper->Slot(), index);
    wrappers[pointer] = wrapper;
    return wrapper;
}

void ScriptState::PushWrapped(uint32_t slot) {
    PushKeptValue(ctx, kStashWrapped, slot);
}

void ScriptState::Forget(ScriptDispatch* wrapper) {
    auto found = wrappers.find(wrapper->HeapPointer());
    if (found != wrappers.end() && found->second == wrapper) {
        wrappers.erase(found);
    }
    // Dropping the value may run finalizers, which may give COM objects back.
    DropKeptValue(ctx, kStashWrapped, wrapper->Slot());
}

void ScriptState::MakeWrappersInert() {
    while (!wrappers.empty()) {
        std::unordered_map<void*, ScriptDispatch*> inert;
        inert.swap(wrappers);
        for (auto& [pointer, wrapper] : inert) {
            wrapper->MakeInert();
        }
        DropKeptValues(ctx, kStashWrapped);
    }
}

// --- Calls from COM into the values ------------------------------------------------

bool ScriptState::HasMember(uint32_t slot, const std::string& name) {
    duk_idx_t base = duk_get_top(ctx);
    PushWrapped(slot);
    PropertyOperation has{PropertyKind::Has, name.data(), name.size()};
    bool ok = duk_is_object(ctx, -1) &&
              duk_safe_call(ctx, RunPropertyOperation, &has, 1, 1) == DUK_EXEC_SUCCESS;
    bool found = ok && duk_get_boolean(ctx, -1);
    duk_set_top(ctx, base);
    return found;
}

namespace {

// [error] -> [its number, its message as text], protected: getters may run.
duk_ret_t ReadError(duk_context* ctx, void*) {
    if (duk_is_object(ctx, -1)) {
        duk_get_prop_string(ctx, -1, "number");
    } else {
        duk_push_undefined(ctx);
    }
    if (duk_is_error(ctx, -2)) {
        duk_get_prop_string(ctx, -2, "message");
    } else {
        duk_dup(ctx, -2);
    }
    duk_to_string(ctx, -1);
    return 2;
}

}  // namespace

// The error on top as the call's answer: the failure is the page's, and it
// ends the run as an error in any page function that the host calls does.
HRESULT ScriptState::Failure(EXCEPINFO* exception) {
    if (exception != nullptr) {
        *exception = EXCEPINFO{};
        exception->scode = E_FAIL;
        duk_dup_top(ctx);
        if (duk_safe_call(ctx, ReadError, nullptr, 1, 2) == DUK_EXEC_SUCCESS) {
            // A failure code the page gave its error, as script engines pass it on.
            if (duk_is_number(ctx, -2)) {
                double number = duk_get_number(ctx, -2);
                if (number >= -2147483648.0 && number < 0 && std::trunc(number) == number) {
                    exception->scode = static_cast<SCODE>(number);
                }
            }
            duk_size_t length = 0;
            const char* text = duk_get_lstring(ctx, -1, &length);
            std::u16string wide = EngineToWide(text, length);
            exception->bstrDescription =
                SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
        }
        duk_pop_2(ctx);
    }
    Report("a page function called by the add-on");
    return DISP_E_EXCEPTION;
}

// [function, this, args...] -> called; the result into result.
HRESULT ScriptState::CallTop(duk_idx_t argCount, VARIANT* result, EXCEPINFO* exception) {
    if (duk_pcall_method(ctx, argCount) != DUK_EXEC_SUCCESS) {
        return Failure(exception);
    }
    if (result != nullptr) {
        ToVariant(-1, result);
    }
    return S_OK;
}

HRESULT ScriptState::InvokeWrapped(uint32_t slot, const std::string* member, WORD flags,
                                   const DISPPARAMS& params, VARIANT* result,
                                   EXCEPINFO* exception) {
    duk_idx_t base = duk_get_top(ctx);
    PushWrapped(slot);
    HRESULT hr = DISP_E_MEMBERNOTFOUND;
    bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    if (put && member != nullptr) {
        if (params.cArgs != 1 || params.cNamedArgs != 1 ||
            params.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) {
            hr = params.cNamedArgs == 1 && params.rgdispidNamedArgs[0] == DISPID_PROPERTYPUT
                     ? DISP_E_BADPARAMCOUNT
                     : DISP_E_PARAMNOTFOUND;
        } else {
            PushVariant(params.rgvarg[0]);
            PropertyOperation set{PropertyKind::Set, member->data(), member->size()};
            hr = duk_safe_call(ctx, RunPropertyOperation, &set, 2, 1) == DUK_EXEC_SUCCESS
                     ? S_OK
                     : Failure(exception);
        }
    } else if (member == nullptr) {
        // The value itself: a function is called with no this.
        if ((flags & DISPATCH_METHOD) != 0 && duk_is_callable(ctx, -1)) {
            if (params.cNamedArgs > 0) {
                hr = DISP_E_NONAMEDARGS;
            } else {
                duk_push_undefined(ctx);
                for (UINT i = params.cArgs; i > 0; --i) {
                    PushVariant(params.rgvarg[i - 1]);
                }
                hr = CallTop(static_cast<duk_idx_t>(params.cArgs), result, exception);
            }
        }
    } else if ((flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) != 0) {
        PropertyOperation get{PropertyKind::Get, member->data(), member->size()};
        duk_dup_top(ctx);
        if (duk_safe_call(ctx, RunPropertyOperation, &get, 1, 1) != DUK_EXEC_SUCCESS) {
            hr = Failure(exception);
        } else if ((flags & DISPATCH_METHOD) != 0 && duk_is_callable(ctx, -1)) {
            if (params.cNamedArgs > 0) {
                hr = DISP_E_NONAMEDARGS;
            } else {
                duk_swap_top(ctx, -2);  // [member, this = the value]
                for (UINT i = params.cArgs; i > 0; --i) {
                    PushVariant(params.rgvarg[i - 1]);
                }
                hr = CallTop(static_cast<duk_idx_t>(params.cArgs), result, exception);
            }
        } else if ((flags & DISPATCH_PROPERTYGET) != 0) {
            if (result != nullptr) {
                ToVariant(-1, result);
            }
            hr = S_OK;
        }
    }
    duk_set_top(ctx, base);
    return hr;
}

// --- VARIANTs and script values ----------------------------------------------------

void ScriptState::ToVariant(duk_idx_t index, VARIANT* out) {
    VariantInit(out);
    duk_idx_t at = duk_normalize_index(ctx, index);
    switch (duk_get_type(ctx, at)) {
        case DUK_TYPE_NULL:
            out->vt = VT_NULL;
            break;
        case DUK_TYPE_BOOLEAN:
            out->vt = VT_BOOL;
            out->boolVal = duk_get_boolean(ctx, at) ? VARIANT_TRUE : VARIANT_FALSE;
            break;
        case DUK_TYPE_NUMBER: {
            // Whole numbers of the int32 range go as VT_I4, as script engines do.
            double number = duk_get_number(ctx, at);
            if (std::trunc(number) == number && number >= -2147483648.0 && number <= 2147483647.0 &&
                !(number == 0 && std::signbit(number))) {
                out->vt = VT_I4;
                out->lVal = static_cast<LONG>(number);
            } else {
                out->vt = VT_R8;
                out->dblVal = number;
            }
            break;
        }
        case DUK_TYPE_STRING:
            if (!duk_is_symbol(ctx, at)) {
                out->vt = VT_BSTR;
                out->bstrVal = EngineBstr(ctx, at);
            }
            break;
        case DUK_TYPE_OBJECT: {
            // A COM object goes back as itself, a given-back one as nothing.
            uint32_t slot = 0;
            bool isProxy = HiddenSlot(ctx, at, kComId, &slot);
            IDispatch* object = isProxy ? HeldObject(slot) : WrapperOf(at);
            if (object != nullptr) {
                if (isProxy) {
                    object->AddRef();
                }
                out->vt = VT_DISPATCH;
                out->pdispVal = object;
            }
            break;
        }
        default:
            break;
    }
}

namespace {

// The types read as plain data: the size of what a VT_BYREF variant of the
// type points to, and the number a value of it holds (null for the types
// that are no number). Types read no other way are not listed.
struct PlainType {
    VARTYPE type;
    size_t size;
    double (*number)(const VARIANT& value);
};

constexpr PlainType kPlainTypes[] = {
    {VT_I1, 1, [](const VARIANT& value) -> double { return value.cVal; }},
    {VT_UI1, 1, [](const VARIANT& value) -> double { return value.bVal; }},
    {VT_I2, 2, [](const VARIANT& value) -> double { return value.iVal; }},
    {VT_UI2, 2, [](const VARIANT& value) -> double { return value.uiVal; }},
    {VT_BOOL, 2, nullptr},
    {VT_I4, 4, [](const VARIANT& value) -> double { return value.lVal; }},
    {VT_UI4, 4, [](const VARIANT& value) -> double { return value.ulVal; }},
    {VT_INT, 4, [](const VARIANT& value) -> double { return value.intVal; }},
    {VT_UINT, 4, [](const VARIANT& value) -> double { return value.uintVal; }},
    {VT_R4, 4, [](const VARIANT& value) -> double { return value.fltVal; }},
    {VT_ERROR, 4, nullptr},
    {VT_I8, 8, [](const VARIANT& value) { return static_cast<double>(value.llVal); }},
    {VT_UI8, 8, [](const VARIANT& value) { return static_cast<double>(value.ullVal); }},
    {VT_R8, 8, [](const VARIANT& value) { return value.dblVal; }},
    // A count of ten-thousandths.
    {VT_CY, 8, [](const VARIANT& value) { return static_cast<double>(value.llVal) / 10000.0; }},
    {VT_DATE, 8, nullptr},
    {VT_BSTR, sizeof(BSTR), nullptr},
    {VT_DISPATCH, sizeof(void*), nullptr},
    {VT_UNKNOWN, sizeof(void*), nullptr},
};

const PlainType* PlainTypeOf(VARTYPE type) {
    for (const PlainType& plain : kPlainTypes) {
        if (plain.type == type) {
            return &plain;
        }
    }
    return nullptr;
}

}  // namespace

void ScriptState::PushVariant(const VARIANT& value) {
    if ((value.vt & VT_BYREF) != 0) {
        // What it points to, one level: a VARIANT that is itself a reference
        // is no value.
        VARTYPE base = static_cast<VARTYPE>(value.vt & ~VT_BYREF);
        if (value.byref == nullptr) {
            duk_push_undefined(ctx);
        } else if (base == VT_VARIANT) {
            const VARIANT& inner = *value.pvarVal;
            if ((inner.vt & VT_BYREF) != 0) {
                duk_push_undefined(ctx);
            } else {
                PushVariant(inner);
            }
        } else if (const PlainType* plain = PlainTypeOf(base); plain != nullptr) {
            VARIANT copy;  // borrows what the reference points to
            VariantInit(&copy);
            copy.vt = base;
            std::memcpy(&copy.llVal, value.byref, plain->size);
            PushVariant(copy);
        } else {
            duk_push_undefined(ctx);
        }
        return;
    }
    if (const PlainType* plain = PlainTypeOf(value.vt); plain != nullptr && plain->number) {
        duk_push_number(ctx, plain->number(value));
        return;
    }
    switch (value.vt) {
        case VT_EMPTY:
            duk_push_undefined(ctx);
            return;
        case VT_NULL:
            duk_push_null(ctx);
            return;
        case VT_BOOL:
            duk_push_boolean(ctx, value.boolVal != VARIANT_FALSE);
            return;
        case VT_BSTR:
            if (value.bstrVal == nullptr) {
                duk_push_string(ctx, "");
            } else {
                PushWide(ctx, value.bstrVal, SysStringLen(value.bstrVal));
            }
            return;
        case VT_DISPATCH: {
            IDispatch* object = value.pdispVal;
            if (object == nullptr) {
                duk_push_null(ctx);
                return;
            }
            // A wrapper of this engine's own gives its value back.
            void* self = nullptr;
            if (SUCCEEDED(object->QueryInterface(kIidScriptDispatch, &self))) {
                auto* wrapper = static_cast<ScriptDispatch*>(static_cast<IDispatch*>(self));
                bool own = wrapper->Owner() == this;
                if (own) {
                    PushWrapped(wrapper->Slot());
                }
                wrapper->Release();
                if (own) {
                    return;
                }
            }
            PushComObject(object);
            return;
        }
        case VT_UNKNOWN: {
            IDispatch* object = nullptr;
            if (value.punkVal == nullptr) {
                duk_push_null(ctx);
            } else if (SUCCEEDED(value.punkVal->QueryInterface(
                           IID_IDispatch, reinterpret_cast<void**>(&object)))) {
                VARIANT dispatch;
                VariantInit(&dispatch);
                dispatch.vt = VT_DISPATCH;
                dispatch.pdispVal = object;
                PushVariant(dispatch);
                object->Release();
            } else {
                duk_push_undefined(ctx);
            }
            return;
        }
        default: {
            // Anything else as its text, when it has one.
            VARIANT text;
            VariantInit(&text);
            if (SUCCEEDED(VariantChangeType(&text, &value, 0, VT_BSTR)) && text.vt == VT_BSTR) {
                PushWide(ctx, text.bstrVal,
                         text.bstrVal == nullptr ? 0 : SysStringLen(text.bstrVal));
            } else {
                duk_push_undefined(ctx);
            }
            VariantClear(&text);
            return;
        }
    }
}

}  // namespace browser::ie
