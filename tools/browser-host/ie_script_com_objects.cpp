// COM objects as script objects: a proxy whose traps ask the object's
// IDispatch, around a target that holds the object's slot. A member that
// does not answer a property get is a method, called with
// DISPATCH_METHOD | DISPATCH_PROPERTYGET as script engines call members. A
// failing call raises an Error whose number is the HRESULT.
#include <duktape.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ie_script_state.h"
#include "script_bridge.h"
#include "script_host.h"

namespace browser::ie {

using namespace engine;

namespace {

// What a failed call leaves for the native that raises it: plain data only.
struct ComError {
    ErrorText message;  // engine text
    int32_t number;
};

void SetComError(ComError* error, HRESULT number, const std::string& message) {
    error->number = static_cast<int32_t>(number);
    SetError(&error->message, message);
}

duk_ret_t Raise(duk_context* ctx, const ComError* error) {
    duk_push_error_object(ctx, DUK_ERR_ERROR, "%s", error->message.text);
    duk_push_int(ctx, error->number);
    duk_put_prop_string(ctx, -2, "number");
    duk_get_prop_string(ctx, -1, "message");
    duk_put_prop_string(ctx, -2, "description");
    return duk_throw(ctx);
}

std::string Hex(HRESULT code) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", static_cast<unsigned>(code));
    return text;
}

// An EXCEPINFO's wCode as an HRESULT, as the COM support classes map it.
HRESULT FromWCode(WORD code) {
    constexpr HRESULT kFirst = static_cast<HRESULT>(0x80040200);
    constexpr HRESULT kLast = static_cast<HRESULT>(0x8004FFFF);
    return code >= 0xFE00 ? kLast : kFirst + code;
}

void FreeException(EXCEPINFO* exception) {
    SysFreeString(exception->bstrSource);
    SysFreeString(exception->bstrDescription);
    SysFreeString(exception->bstrHelpFile);
    *exception = EXCEPINFO{};
}

// A failed call of member as a script error; frees the EXCEPINFO.
void Describe(HRESULT result, EXCEPINFO* exception, const std::string& member, ComError* error) {
    HRESULT number = result;
    std::string description;
    if (result == DISP_E_EXCEPTION) {
        if (exception->pfnDeferredFillIn != nullptr) {
            exception->pfnDeferredFillIn(exception);
            exception->pfnDeferredFillIn = nullptr;
        }
        number = exception->scode != 0   ? exception->scode
                 : exception->wCode != 0 ? FromWCode(exception->wCode)
                                         : DISP_E_EXCEPTION;
        if (exception->bstrDescription != nullptr) {
            description =
                WideToEngine(exception->bstrDescription, SysStringLen(exception->bstrDescription));
        }
    }
    FreeException(exception);
    std::string message = member + " failed with " + Hex(number);
    if (!description.empty()) {
        message += ": " + description;
    }
    SetComError(error, number, message);
}

// Keeps a COM object alive across a call that may give back the proxy's
// own reference (a page callback that drops the object, the page's end).
class CallGuard {
public:
    explicit CallGuard(IDispatch* object) : object(object) { object->AddRef(); }
    ~CallGuard() { object->Release(); }
    CallGuard(const CallGuard&) = delete;
    CallGuard& operator=(const CallGuard&) = delete;

private:
    IDispatch* object;
};

// Clears the VARIANTs of a call's arguments.
class Arguments {
public:
    explicit Arguments(size_t count) : values(count) {
        for (VARIANT& value : values) {
            VariantInit(&value);
        }
    }
    ~Arguments() {
        for (VARIANT& value : values) {
            VariantClear(&value);
        }
    }
    Arguments(const Arguments&) = delete;
    Arguments& operator=(const Arguments&) = delete;

    VARIANT* Data() { return values.empty() ? nullptr : values.data(); }
    VARIANT& operator[](size_t index) { return values[index]; }
    UINT Count() const { return static_cast<UINT>(values.size()); }

private:
    std::vector<VARIANT> values;
};

void SetGone(ComError* error, const std::string& member) {
    SetComError(error, E_UNEXPECTED, member + ": the COM object was given back");
}

// The DISPID of a name; false when the object does not know it.
bool FindMember(IDispatch* object, const std::string& name, DISPID* id, HRESULT* result) {
    std::u16string wide = EngineToWide(name.data(), name.size());
    if (wide.find(u'\0') != std::u16string::npos) {
        *result = DISP_E_UNKNOWNNAME;
        return false;
    }
    LPOLESTR names[] = {wide.data()};
    *id = DISPID_UNKNOWN;
    *result = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id);
    return SUCCEEDED(*result);
}

// The member a trap's key names on the COM object behind its target.
struct TrapMember {
    IDispatch* object = nullptr;
    DISPID id = DISPID_UNKNOWN;
    HRESULT answer = S_OK;  // why the object does not know the name
};

// 1 for a member of the object, 0 for a name it does not know, -1 with the
// error set once the object was given back.
int FindTrapMember(ScriptState* state, const std::string& name, TrapMember* member,
                   ComError* error) {
    member->object = state->ComObjectOf(0);
    if (member->object == nullptr) {
        SetGone(error, name);
        return -1;
    }
    return FindMember(member->object, name, &member->id, &member->answer) ? 1 : 0;
}

duk_ret_t ProxyFinalizer(duk_context* ctx) {
    uint32_t id = 0;
    if (HiddenSlot(ctx, 0, kComId, &id)) {
        ScriptState::Of(ctx)->ReleaseHeld(id);
    }
    return 0;
}

// Invokes a member: 1 with its result pushed (true for a put), or -1 with
// the failure in error; answer is what the object answered.
int InvokeMember(ScriptState* state, IDispatch* object, DISPID id, WORD flags, DISPPARAMS* params,
                 const std::string& name, ComError* error, HRESULT* answer = nullptr) {
    bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception{};
    UINT argError = 0;
    HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, params,
                                put ? nullptr : &result, &exception, &argError);
    if (answer != nullptr) {
        *answer = hr;
    }
    if (FAILED(hr)) {
        VariantClear(&result);
        Describe(hr, &exception, name, error);
        return -1;
    }
    FreeException(&exception);
    if (put) {
        duk_push_true(state->Context());
    } else {
        state->PushVariant(result);
        VariantClear(&result);
    }
    return 1;
}

// A method of a COM object: obj.name(args) invokes its DISPID with the
// arguments last first.
int MethodCallImpl(duk_context* ctx, ComError* error) {
    ScriptState* state = ScriptState::Of(ctx);
    duk_idx_t count = duk_get_top(ctx);
    duk_push_current_function(ctx);
    duk_get_prop_string(ctx, -1, kMethodDispid);
    DISPID id = duk_get_int(ctx, -1);
    duk_get_prop_string(ctx, -2, kMethodName);
    std::string name = EngineString(ctx, -1);
    duk_get_prop_string(ctx, -3, kMethodTarget);
    IDispatch* object = state->ComObjectOf(-1);
    duk_set_top(ctx, count);
    if (object == nullptr) {
        SetGone(error, name);
        return -1;
    }
    CallGuard guard(object);
    Arguments args(static_cast<size_t>(count));
    for (duk_idx_t i = 0; i < count; ++i) {
        state->ToVariant(i, &args[static_cast<size_t>(count - 1 - i)]);
    }
    DISPPARAMS params{args.Data(), nullptr, args.Count(), 0};
    return InvokeMember(state, object, id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params, name,
                        error);
}

// get(target, key, receiver): 1 with the value pushed, -1 for an error, 0
// for the target's own property.
int GetTrapImpl(duk_context* ctx, ComError* error) {
    ScriptState* state = ScriptState::Of(ctx);
    if (!duk_is_string(ctx, 1) || duk_is_symbol(ctx, 1)) {
        return 0;
    }
    std::string name = EngineString(ctx, 1);
    TrapMember member;
    if (int found = FindTrapMember(state, name, &member, error); found <= 0) {
        return found;  // 0: not the object's (toString, valueOf, ...)
    }
    CallGuard guard(member.object);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    HRESULT hr = S_OK;
    int pushed = InvokeMember(state, member.object, member.id, DISPATCH_PROPERTYGET, &none, name,
                              error, &hr);
    if (hr == DISP_E_MEMBERNOTFOUND) {
        // A method: a function that calls it, holding the object's target.
        duk_push_c_function(ctx, Native<ComError, MethodCallImpl, Raise>, DUK_VARARGS);
        duk_push_int(ctx, member.id);
        duk_put_prop_string(ctx, -2, kMethodDispid);
        duk_dup(ctx, 1);
        duk_put_prop_string(ctx, -2, kMethodName);
        duk_dup(ctx, 0);
        duk_put_prop_string(ctx, -2, kMethodTarget);
        return 1;
    }
    return pushed;
}

// set(target, key, value, receiver): a property put, by reference for an
// object, with its value as the named argument DISPID_PROPERTYPUT.
int SetTrapImpl(duk_context* ctx, ComError* error) {
    ScriptState* state = ScriptState::Of(ctx);
    if (!duk_is_string(ctx, 1) || duk_is_symbol(ctx, 1)) {
        return SetOnTarget(ctx);
    }
    std::string name = EngineString(ctx, 1);
    TrapMember member;
    int found = FindTrapMember(state, name, &member, error);
    if (found == 0) {
        SetComError(error, member.answer,
                    name + " is no member of the COM object (" + Hex(member.answer) + ")");
    }
    if (found <= 0) {
        return -1;
    }
    CallGuard guard(member.object);
    Arguments value(1);
    state->ToVariant(2, &value[0]);
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{value.Data(), &named, 1, 1};
    WORD flags = DISPATCH_PROPERTYPUT;
    if (value[0].vt == VT_DISPATCH) {
        flags |= DISPATCH_PROPERTYPUTREF;
    }
    return InvokeMember(state, member.object, member.id, flags, &params, name, error);
}

// has(target, key): the object's members, then the target's own.
duk_ret_t HasTrap(duk_context* ctx) {
    IDispatch* object = ScriptState::Of(ctx)->ComObjectOf(0);
    bool found = false;
    if (object != nullptr && duk_is_string(ctx, 1) && !duk_is_symbol(ctx, 1)) {
        DISPID id = DISPID_UNKNOWN;
        HRESULT hr = S_OK;
        found = FindMember(object, EngineString(ctx, 1), &id, &hr);
    }
    return AnswerHas(ctx, found);
}

}  // namespace

void PushComHandler(duk_context* ctx) {
    PushHandler(ctx,
                {Trap{"get", GetTrapNative<ComError, GetTrapImpl, Raise>, 3},
                 Trap{"set", Native<ComError, SetTrapImpl, Raise>, 4}, Trap{"has", HasTrap, 2}});
}

void ScriptState::PushComObject(IDispatch* object) {
    if (object == nullptr) {
        duk_push_null(ctx);
        return;
    }
    object->AddRef();
    uint32_t id = nextId++;
    held[id] = object;
    duk_push_object(ctx);
    duk_push_uint(ctx, id);
    duk_put_prop_string(ctx, -2, kComId);
    duk_push_c_function(ctx, ProxyFinalizer, 2);
    duk_set_finalizer(ctx, -2);
    MakeProxy(ctx, kStashComHandler);
}

IDispatch* ScriptState::HeldObject(uint32_t id) const {
    auto found = held.find(id);
    return found == held.end() ? nullptr : found->second;
}

IDispatch* ScriptState::ComObjectOf(duk_idx_t index) const {
    uint32_t id = 0;
    return HiddenSlot(ctx, index, kComId, &id) ? HeldObject(id) : nullptr;
}

void ScriptState::ReleaseHeld(uint32_t id) {
    auto found = held.find(id);
    if (found == held.end()) {
        return;
    }
    IDispatch* object = found->second;
    held.erase(found);
    object->Release();
}

void ScriptState::ReleaseComObjects() {
    // A release may re-enter the engine (and even hand it a new object).
    while (!held.empty()) {
        std::unordered_map<uint32_t, IDispatch*> giving;
        giving.swap(held);
        for (auto& [id, object] : giving) {
            object->Release();
        }
    }
}

}  // namespace browser::ie
