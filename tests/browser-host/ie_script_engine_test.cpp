// The IE mode's script engine: VARIANTs and script values, COM objects as
// script objects, script functions as IDispatch, the reference counts of
// both across the document's end, and the window's globals.
#include "ie_script_engine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using browser::ie::FrameControl;
using browser::ie::ScriptEngine;

// A frame that records what the scripts ask of it.
class FakeFrame final : public FrameControl {
public:
    void Print(const std::string& line, bool error) override {
        (error ? errors : prints).push_back(line);
    }
    void Done(int exitCode) override { doneCodes.push_back(exitCode); }
    void ScriptFailed(const std::string& message) override { failures.push_back(message); }
    void StartTimer(uint32_t id, uint32_t) override { started.push_back(id); }
    void StopTimer(uint32_t id) override { stopped.push_back(id); }
    HWND PageWindow() override { return nullptr; }
    void Status(const std::string&) override {}
    void Navigate(const std::string& url) override { navigations.push_back(url); }

    std::string LastPrint() const { return prints.empty() ? "" : prints.back(); }

    std::vector<std::string> prints, errors, failures, navigations;
    std::vector<int> doneCodes;
    std::vector<uint32_t> started, stopped;
};

// A COM object whose members are a table of names (found without regard to
// case) and whose calls a test answers; every call is recorded.
class TestObject final : public IDispatch {
public:
    using Handler = std::function<HRESULT(DISPID, WORD, const DISPPARAMS&, VARIANT*, EXCEPINFO*)>;
    struct Call {
        DISPID id;
        WORD flags;
        std::vector<std::string> args;  // in the caller's order
        std::vector<DISPID> named;
    };

    TestObject(std::map<std::u16string, DISPID> members, bool* destroyed = nullptr)
        : members(std::move(members)), destroyed(destroyed) {}

    ULONG Count() const { return count; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
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
            if (destroyed != nullptr) {
                *destroyed = true;
            }
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
        *pctinfo = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID lcid,
                                            DISPID* ids) override {
        EXPECT_EQ(lcid, static_cast<LCID>(LOCALE_USER_DEFAULT));
        std::u16string name = names[0];
        for (char16_t& c : name) {
            if (c >= u'A' && c <= u'Z') {
                c = static_cast<char16_t>(c - u'A' + u'a');
            }
        }
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
        }
        auto found = members.find(name);
        if (found == members.end()) {
            return DISP_E_UNKNOWNNAME;
        }
        ids[0] = found->second;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT*) override {
        Call call{id, flags, {}, {}};
        for (UINT i = params->cArgs; i > 0; --i) {
            call.args.push_back(Describe(params->rgvarg[i - 1]));
        }
        call.named.assign(params->rgdispidNamedArgs,
                          params->rgdispidNamedArgs + params->cNamedArgs);
        calls.push_back(call);
        return handler ? handler(id, flags, *params, result, exception) : DISP_E_MEMBERNOTFOUND;
    }

    static std::string Describe(const VARIANT& value) {
        switch (value.vt) {
            case VT_EMPTY:
                return "empty";
            case VT_NULL:
                return "null";
            case VT_BOOL:
                return value.boolVal == VARIANT_TRUE ? "true" : "false";
            case VT_I4:
                return "i4:" + std::to_string(value.lVal);
            case VT_R8:
                return "r8:" + std::to_string(value.dblVal);
            case VT_BSTR: {
                std::string text;
                for (UINT i = 0; i < SysStringLen(value.bstrVal); ++i) {
                    text += static_cast<char>(value.bstrVal[i]);
                }
                return "bstr:" + text;
            }
            case VT_DISPATCH:
                return value.pdispVal == nullptr ? "dispatch:null" : "dispatch";
            default:
                return "vt:" + std::to_string(value.vt);
        }
    }

    Handler handler;
    std::vector<Call> calls;

private:
    ~TestObject() = default;

    std::atomic<ULONG> count{1};
    std::map<std::u16string, DISPID> members;
    bool* destroyed;
};

// Holds a COM reference for a test.
template <class T>
struct Ref {
    explicit Ref(T* object) : object(object) {}
    ~Ref() {
        if (object != nullptr) {
            object->Release();
        }
    }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    T* operator->() const { return object; }
    T* get() const { return object; }
    T* object;
};

struct Variant {
    Variant() { VariantInit(&value); }
    ~Variant() { VariantClear(&value); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT value;
};

VARIANT Dispatch(IDispatch* object) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_DISPATCH;
    value.pdispVal = object;  // borrowed: PutGlobal takes its own reference
    return value;
}

class IeScriptEngineTest : public ::testing::Test {
protected:
    IeScriptEngineTest() : engine(std::make_unique<ScriptEngine>(frame, "http://page.test/a")) {}

    // Runs a script that must succeed and answers its last print.
    std::string Eval(const std::string& source) {
        EXPECT_TRUE(engine->Run(source, "test")) << source << ": " << Failures();
        return frame.LastPrint();
    }
    std::string Failures() const {
        std::string all;
        for (const std::string& failure : frame.failures) {
            all += failure + "\n";
        }
        return all;
    }
    // A script value as an IDispatch the test owns.
    IDispatch* Global(const std::u16string& name) {
        Variant value;
        EXPECT_EQ(engine->GetGlobal(name, &value.value), S_OK);
        EXPECT_EQ(value.value.vt, VT_DISPATCH);
        IDispatch* object = value.value.pdispVal;
        value.value.vt = VT_EMPTY;  // the test takes the reference
        return object;
    }

    FakeFrame frame;
    std::unique_ptr<ScriptEngine> engine;
};

TEST_F(IeScriptEngineTest, VariantsRoundTripThroughScriptValues) {
    VARIANT inner;
    VariantInit(&inner);
    inner.vt = VT_I4;
    inner.lVal = 7;
    LONG referenced = -12;
    BSTR text = SysAllocString(u"ключ \U0001F600");
    BSTR lone = SysAllocStringLen(u"\xD800x", 2);
    struct Case {
        const char* name;
        VARTYPE vt;
        std::function<void(VARIANT*)> fill;
        std::string seen;  // typeof and text as the script sees it
        VARTYPE backVt;    // what GetGlobal gives back
        std::function<bool(const VARIANT&)> backValue;
    };
    auto i4 = [](LONG expected) {
        return [expected](const VARIANT& v) { return v.lVal == expected; };
    };
    auto r8 = [](double expected) {
        return [expected](const VARIANT& v) { return v.dblVal == expected; };
    };
    auto any = [](const VARIANT&) { return true; };
    const Case cases[] = {
        {"empty", VT_EMPTY, [](VARIANT*) {}, "undefined:undefined", VT_EMPTY, any},
        {"null", VT_NULL, [](VARIANT*) {}, "object:null", VT_NULL, any},
        {"bool", VT_BOOL, [](VARIANT* v) { v->boolVal = VARIANT_TRUE; }, "boolean:true", VT_BOOL,
         [](const VARIANT& v) { return v.boolVal == VARIANT_TRUE; }},
        {"i1", VT_I1, [](VARIANT* v) { v->cVal = -5; }, "number:-5", VT_I4, i4(-5)},
        {"i2", VT_I2, [](VARIANT* v) { v->iVal = -300; }, "number:-300", VT_I4, i4(-300)},
        {"i4", VT_I4, [](VARIANT* v) { v->lVal = -2147483647 - 1; }, "number:-2147483648", VT_I4,
         i4(-2147483647 - 1)},
        {"int", VT_INT, [](VARIANT* v) { v->intVal = 9; }, "number:9", VT_I4, i4(9)},
        {"ui1", VT_UI1, [](VARIANT* v) { v->bVal = 200; }, "number:200", VT_I4, i4(200)},
        {"ui2", VT_UI2, [](VARIANT* v) { v->uiVal = 65535; }, "number:65535", VT_I4, i4(65535)},
        {"ui4", VT_UI4, [](VARIANT* v) { v->ulVal = 4000000000u; }, "number:4000000000", VT_R8,
         r8(4e9)},
        {"uint", VT_UINT, [](VARIANT* v) { v->uintVal = 3; }, "number:3", VT_I4, i4(3)},
        {"r4", VT_R4, [](VARIANT* v) { v->fltVal = 1.5f; }, "number:1.5", VT_R8, r8(1.5)},
        {"whole r8", VT_R8, [](VARIANT* v) { v->dblVal = 2.0; }, "number:2", VT_I4, i4(2)},
        {"negative zero", VT_R8, [](VARIANT* v) { v->dblVal = -0.0; }, "number:0", VT_R8,
         [](const VARIANT& v) { return v.dblVal == 0 && std::signbit(v.dblVal); }},
        {"cy", VT_CY, [](VARIANT* v) { v->llVal = 12345; }, "number:1.2345", VT_R8, r8(1.2345)},
        {"bstr", VT_BSTR, [&](VARIANT* v) { v->bstrVal = SysAllocString(text); },
         "string:ключ \xF0\x9F\x98\x80", VT_BSTR,
         [&](const VARIANT& v) { return std::u16string(v.bstrVal) == text; }},
        {"lone surrogate", VT_BSTR, [&](VARIANT* v) { v->bstrVal = SysAllocStringLen(lone, 2); },
         "string:\xEF\xBF\xBDx", VT_BSTR,
         [&](const VARIANT& v) {
             return SysStringLen(v.bstrVal) == 2 && v.bstrVal[0] == 0xD800 && v.bstrVal[1] == 'x';
         }},
        {"null bstr", VT_BSTR, [](VARIANT* v) { v->bstrVal = nullptr; }, "string:", VT_BSTR,
         [](const VARIANT& v) { return SysStringLen(v.bstrVal) == 0; }},
        {"byref variant", VT_BYREF | VT_VARIANT, [&](VARIANT* v) { v->pvarVal = &inner; },
         "number:7", VT_I4, i4(7)},
        {"byref i4", VT_BYREF | VT_I4, [&](VARIANT* v) { v->plVal = &referenced; }, "number:-12",
         VT_I4, i4(-12)},
        {"missing argument", VT_ERROR, [](VARIANT* v) { v->scode = DISP_E_PARAMNOTFOUND; },
         "undefined:undefined", VT_EMPTY, any},
        {"null object", VT_DISPATCH, [](VARIANT* v) { v->pdispVal = nullptr; }, "object:null",
         VT_NULL, any},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Variant in;
        in.value.vt = c.vt;
        c.fill(&in.value);
        ASSERT_EQ(engine->PutGlobal(u"v", in.value), S_OK);
        EXPECT_EQ(Eval("print(typeof v + ':' + String(v))"), c.seen);
        Variant back;
        ASSERT_EQ(engine->GetGlobal(u"v", &back.value), S_OK);
        EXPECT_EQ(back.value.vt, c.backVt);
        EXPECT_TRUE(c.backValue(back.value));
        if ((c.vt & VT_BYREF) != 0) {
            in.value.vt = VT_EMPTY;  // nothing of its own to clear
        }
    }
    SysFreeString(text);
    SysFreeString(lone);

    // A script object goes out as a wrapper and comes back as itself.
    Eval("var o = {};");
    {
        Variant wrapped;
        ASSERT_EQ(engine->GetGlobal(u"o", &wrapped.value), S_OK);
        ASSERT_EQ(wrapped.value.vt, VT_DISPATCH);
        EXPECT_EQ(engine->LiveWrappers(), 1u);
        ASSERT_EQ(engine->PutGlobal(u"p", wrapped.value), S_OK);
        EXPECT_EQ(Eval("print(o === p)"), "true");
    }
    EXPECT_EQ(engine->LiveWrappers(), 0u) << "the last release ends the wrapper";
    EXPECT_EQ(engine->HeldComObjects(), 0u);

    Variant missing;
    EXPECT_EQ(engine->GetGlobal(u"nothing", &missing.value), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(engine->DeleteGlobal(u"v"), S_OK);
    EXPECT_EQ(engine->DeleteGlobal(u"v"), S_FALSE);
    EXPECT_FALSE(engine->HasGlobal(u"v"));
}

TEST_F(IeScriptEngineTest, ComObjectsAnswerPropertiesAndMethodsWithArgumentsInOrder) {
    bool destroyed = false;
    auto* object = new TestObject({{u"name", 1}, {u"join", 2}}, &destroyed);
    object->handler = [](DISPID id, WORD flags, const DISPPARAMS& params, VARIANT* result,
                         EXCEPINFO*) -> HRESULT {
        if (id == 1 && flags == DISPATCH_PROPERTYGET) {
            result->vt = VT_BSTR;
            result->bstrVal = SysAllocString(u"scanner");
            return S_OK;
        }
        if (id == 1) {
            return S_OK;  // a put
        }
        if (id == 2 && (flags & DISPATCH_METHOD) != 0) {
            result->vt = VT_I4;
            result->lVal = static_cast<LONG>(params.cArgs);
            return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
    };
    {
        VARIANT value = Dispatch(object);
        ASSERT_EQ(engine->PutGlobal(u"obj", value), S_OK);
    }
    EXPECT_EQ(object->Count(), 2u);
    EXPECT_EQ(engine->HeldComObjects(), 1u);

    EXPECT_EQ(Eval("print(window.obj.NAME)"), "scanner") << "names without regard to case";
    EXPECT_EQ(Eval("print(obj.join('a', 2, true, 1.5, null, undefined, function () {}))"), "7");
    const TestObject::Call& call = object->calls.back();
    EXPECT_EQ(call.id, 2);
    EXPECT_EQ(call.flags, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
    EXPECT_EQ(call.args, (std::vector<std::string>{"bstr:a", "i4:2", "true", "r8:1.500000", "null",
                                                   "empty", "dispatch"}));
    EXPECT_TRUE(call.named.empty());
    EXPECT_EQ(engine->LiveWrappers(), 0u) << "the function's wrapper lived for the call only";

    // Puts: the value as the named argument, objects by reference too.
    Eval("obj.name = 'x'; obj.name = {};");
    ASSERT_GE(object->calls.size(), 2u);
    const TestObject::Call& byValue = object->calls[object->calls.size() - 2];
    EXPECT_EQ(byValue.flags, DISPATCH_PROPERTYPUT);
    EXPECT_EQ(byValue.args, std::vector<std::string>{"bstr:x"});
    EXPECT_EQ(byValue.named, std::vector<DISPID>{DISPID_PROPERTYPUT});
    EXPECT_EQ(object->calls.back().flags, DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);

    // What the object does not know is the script object's own; a script's
    // own proxy passed on runs none of its traps.
    EXPECT_EQ(Eval("print(typeof obj.toString + ' ' + ('join' in obj) + ' ' + ('other' in obj))"),
              "function true false");
    EXPECT_EQ(Eval("try { obj.other = 1; } catch (e) { print(e.number); }"),
              std::to_string(static_cast<int32_t>(DISP_E_UNKNOWNNAME)));
    EXPECT_EQ(Eval("print(obj.join(new Proxy({}, {get: function () { throw 1; }})))"), "1");
    EXPECT_EQ(Eval("Object.defineProperty(Object.prototype, 'inheritedAndBroken', {"
                   "  get: function () { throw new Error('from the prototype'); },"
                   "  configurable: true });"
                   "try { obj.inheritedAndBroken; } catch (e) { print(e.message); }"
                   "delete Object.prototype.inheritedAndBroken;"),
              "from the prototype");
    EXPECT_TRUE(frame.failures.empty()) << Failures();

    // A COM object given back to COM is itself, not a wrapper.
    Variant back;
    ASSERT_EQ(engine->GetGlobal(u"obj", &back.value), S_OK);
    EXPECT_EQ(back.value.pdispVal, object);
    VariantClear(&back.value);

    EXPECT_EQ(engine->DeleteGlobal(u"obj"), S_OK);
    Eval("Duktape.gc()");
    EXPECT_EQ(engine->HeldComObjects(), 0u);
    EXPECT_EQ(object->Count(), 1u) << "the proxy gave its reference back";
    object->Release();
    EXPECT_TRUE(destroyed);
}

// A deferred fill-in that gives the failure its code and text.
HRESULT STDMETHODCALLTYPE FillIn(EXCEPINFO* exception) {
    exception->scode = E_ACCESSDENIED;
    exception->bstrDescription = SysAllocString(u"filled in later");
    return S_OK;
}

TEST_F(IeScriptEngineTest, FailingCallsRaiseScriptErrorsWithTheirNumber) {
    struct Case {
        const char* name;
        HRESULT result;
        SCODE scode;
        WORD wCode;
        bool deferred;
        const char16_t* description;
        HRESULT number;
        std::string message;
    };
    const Case cases[] = {
        {"plain failure", E_INVALIDARG, 0, 0, false, nullptr, E_INVALIDARG,
         "doScan failed with 0x80070057"},
        {"exception with scode", DISP_E_EXCEPTION, E_ACCESSDENIED, 0, false, u"нет доступа",
         E_ACCESSDENIED, "doScan failed with 0x80070005: нет доступа"},
        {"exception with wCode", DISP_E_EXCEPTION, 0, 5, false, u"five",
         static_cast<HRESULT>(0x80040205), "doScan failed with 0x80040205: five"},
        {"exception filled in later", DISP_E_EXCEPTION, 0, 0, true, nullptr, E_ACCESSDENIED,
         "doScan failed with 0x80070005: filled in later"},
        {"exception without a code", DISP_E_EXCEPTION, 0, 0, false, nullptr, DISP_E_EXCEPTION,
         "doScan failed with 0x80020009"},
    };
    auto* object = new TestObject({{u"doscan", 1}});
    VARIANT value = Dispatch(object);
    ASSERT_EQ(engine->PutGlobal(u"bho", value), S_OK);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        object->handler = [&c](DISPID, WORD flags, const DISPPARAMS&, VARIANT*,
                               EXCEPINFO* exception) -> HRESULT {
            if (flags == DISPATCH_PROPERTYGET) {
                return DISP_E_MEMBERNOTFOUND;
            }
            exception->scode = c.scode;
            exception->wCode = c.wCode;
            exception->bstrSource = SysAllocString(u"source");
            exception->bstrHelpFile = SysAllocString(u"help");
            if (c.description != nullptr) {
                exception->bstrDescription = SysAllocString(c.description);
            }
            if (c.deferred) {
                exception->pfnDeferredFillIn = FillIn;
            }
            return c.result;
        };
        EXPECT_EQ(
            Eval("try { bho.doScan('key', 1, 1); print('no error'); }"
                 "catch (e) { print(e.number + '|' + e.message + '|' + (e instanceof Error)); }"),
            std::to_string(static_cast<int32_t>(c.number)) + "|" + c.message + "|true");
    }
    // A failing property read is a script error as well.
    object->handler = [](DISPID, WORD, const DISPPARAMS&, VARIANT*, EXCEPINFO*) -> HRESULT {
        return E_NOTIMPL;
    };
    EXPECT_EQ(Eval("try { bho.doScan; } catch (e) { print(e.number); }"),
              std::to_string(static_cast<int32_t>(E_NOTIMPL)));
    // An error no script catches ends the run.
    EXPECT_FALSE(engine->Run("bho.doScan", "uncaught"));
    ASSERT_EQ(frame.failures.size(), 1u);
    EXPECT_NE(frame.failures[0].find("0x80004001"), std::string::npos) << frame.failures[0];
    object->Release();
}

TEST_F(IeScriptEngineTest, ScriptFunctionsAreCalledThroughIDispatch) {
    Eval(R"(
        var seen = [];
        function join(a, b, c) { seen.push(this === undefined || this === window); return a + '-' + b + '-' + c; }
        function fails() { var e = new Error('bad key'); e.number = -2147024809; throw e; }
        function throwsText() { throw 'plain'; }
        var counter = { n: 1, bump: function (by) { this.n += by; return this.n; } };
    )");
    Ref<IDispatch> join(Global(u"join"));
    EXPECT_EQ(engine->LiveWrappers(), 1u);
    {
        Ref<IDispatch> again(Global(u"join"));
        EXPECT_EQ(again.get(), join.get()) << "one wrapper per script value";
    }

    // Arguments arrive last first.
    VARIANT args[3];
    for (VARIANT& arg : args) {
        VariantInit(&arg);
    }
    args[2].vt = VT_I4;
    args[2].lVal = 1;
    args[1].vt = VT_BSTR;
    args[1].bstrVal = SysAllocString(u"x");
    args[0].vt = VT_BOOL;
    args[0].boolVal = VARIANT_TRUE;
    DISPPARAMS params{args, nullptr, 3, 0};
    Variant result;
    EXCEPINFO exception{};
    ASSERT_EQ(join->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                           &result.value, &exception, nullptr),
              S_OK);
    EXPECT_EQ(TestObject::Describe(result.value), "bstr:1-x-true");
    EXPECT_EQ(Eval("print(seen.join())"), "true");
    VariantClear(&args[1]);

    // Refusals as Windows gives them.
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(join->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr,
                           nullptr),
              E_INVALIDARG);
    EXPECT_EQ(join->Invoke(77, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    Ref<IDispatch> counter(Global(u"counter"));
    EXPECT_EQ(counter->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr,
                              nullptr),
              DISP_E_MEMBERNOTFOUND)
        << "not callable";

    // Members by name: get, put, call with this.
    LPOLESTR names[] = {const_cast<LPOLESTR>(u"n"), const_cast<LPOLESTR>(u"bump"),
                        const_cast<LPOLESTR>(u"missing")};
    DISPID n = 0, bump = 0, missing = 0;
    ASSERT_EQ(counter->GetIDsOfNames(IID_NULL, &names[0], 1, 0, &n), S_OK);
    ASSERT_EQ(counter->GetIDsOfNames(IID_NULL, &names[1], 1, 0, &bump), S_OK);
    EXPECT_EQ(counter->GetIDsOfNames(IID_NULL, &names[2], 1, 0, &missing), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(missing, DISPID_UNKNOWN);
    DISPID nAgain = 0;
    ASSERT_EQ(counter->GetIDsOfNames(IID_NULL, &names[0], 1, 0, &nAgain), S_OK);
    EXPECT_EQ(nAgain, n) << "stable per name";
    VARIANT by;
    VariantInit(&by);
    by.vt = VT_I4;
    by.lVal = 41;
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS put{&by, &putId, 1, 1};
    EXPECT_EQ(
        counter->Invoke(n, IID_NULL, 0, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr),
        S_OK);
    DISPPARAMS unnamed{&by, nullptr, 1, 0};
    EXPECT_EQ(
        counter->Invoke(n, IID_NULL, 0, DISPATCH_PROPERTYPUT, &unnamed, nullptr, nullptr, nullptr),
        DISP_E_PARAMNOTFOUND);
    by.lVal = 1;
    Variant bumped;
    ASSERT_EQ(counter->Invoke(bump, IID_NULL, 0, DISPATCH_METHOD, &unnamed, &bumped.value, nullptr,
                              nullptr),
              S_OK);
    EXPECT_EQ(TestObject::Describe(bumped.value), "i4:42");
    Variant got;
    ASSERT_EQ(
        counter->Invoke(n, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &got.value, nullptr, nullptr),
        S_OK);
    EXPECT_EQ(TestObject::Describe(got.value), "i4:42");

    // An error inside: DISP_E_EXCEPTION with the error's number or E_FAIL,
    // and the run's failure.
    struct Failing {
        const char16_t* name;
        SCODE scode;
        std::u16string description;
    };
    const Failing failing[] = {{u"fails", E_INVALIDARG, u"bad key"},
                               {u"throwsText", E_FAIL, u"plain"}};
    for (const Failing& f : failing) {
        Ref<IDispatch> function(Global(f.name));
        EXCEPINFO info{};
        EXPECT_EQ(function->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr,
                                   &info, nullptr),
                  DISP_E_EXCEPTION);
        EXPECT_EQ(info.scode, f.scode);
        ASSERT_NE(info.bstrDescription, nullptr);
        EXPECT_EQ(std::u16string(info.bstrDescription), f.description);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrHelpFile);
    }
    ASSERT_EQ(frame.failures.size(), 2u);
    EXPECT_NE(frame.failures[0].find("bad key"), std::string::npos) << frame.failures[0];
    EXPECT_NE(frame.failures[1].find("plain"), std::string::npos) << frame.failures[1];
}

TEST_F(IeScriptEngineTest, ComObjectsAreGivenBackWithTheDocument) {
    struct Case {
        const char* name;
        std::function<void(ScriptEngine&)> end;
    };
    const Case cases[] = {
        {"the window drops the expando",
         [](ScriptEngine& e) {
             EXPECT_EQ(e.DeleteGlobal(u"bho"), S_OK);
             EXPECT_TRUE(e.Run("Duktape.gc()", "gc"));
         }},
        {"the document ends", [](ScriptEngine& e) { e.ReleaseComObjects(); }},
        {"the engine is destroyed", [](ScriptEngine&) {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto page = std::make_unique<ScriptEngine>(frame, "http://page.test/");
        bool destroyed = false;
        auto* object = new TestObject({{u"version", 0}}, &destroyed);
        object->handler = [](DISPID, WORD, const DISPPARAMS&, VARIANT* result,
                             EXCEPINFO*) -> HRESULT {
            result->vt = VT_BSTR;
            result->bstrVal = SysAllocString(u"0.0.81");
            return S_OK;
        };
        VARIANT value = Dispatch(object);
        ASSERT_EQ(page->PutGlobal(u"bho", value), S_OK);
        ASSERT_TRUE(page->Run("var v = window._kept = bho; print(bho.version)", "page"));
        EXPECT_EQ(frame.LastPrint(), "0.0.81");
        EXPECT_EQ(object->Count(), 2u);
        c.end(*page);
        if (std::string(c.name) == "the document ends") {
            EXPECT_EQ(page->HeldComObjects(), 0u);
            ASSERT_TRUE(page->Run("try { v.version; } catch (e) { print(e.number); }", "late"));
            EXPECT_EQ(frame.LastPrint(), std::to_string(static_cast<int32_t>(E_UNEXPECTED)));
        }
        if (std::string(c.name) == "the window drops the expando") {
            // Still held by the script's other references.
            EXPECT_EQ(object->Count(), 2u);
            ASSERT_TRUE(page->Run("v = undefined; delete window._kept; Duktape.gc()", "gc"));
            EXPECT_EQ(object->Count(), 1u);
        }
        page.reset();
        EXPECT_EQ(object->Count(), 1u);
        object->Release();
        EXPECT_TRUE(destroyed);
    }
}

TEST_F(IeScriptEngineTest, WrappersGoInertWithTheDocumentAndDieWithTheirLastRelease) {
    Eval("var calls = 0; function callback(status) { calls++; }");
    IDispatch* callback = Global(u"callback");
    callback->AddRef();  // as the add-on's table holds it
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(callback->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr,
                               nullptr),
              S_OK);
    engine->MakeWrappersInert();
    EXPECT_EQ(engine->LiveWrappers(), 0u);
    EXPECT_EQ(callback->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr,
                               nullptr),
              E_UNEXPECTED);
    LPOLESTR name = const_cast<LPOLESTR>(u"length");
    DISPID id = 0;
    EXPECT_EQ(callback->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), E_UNEXPECTED);
    EXPECT_EQ(Eval("print(calls)"), "1");

    // A wrapper still held when the engine goes: inert, counted, freed at
    // its last release (the sanitizer tells a leak or a use after free).
    Eval("function other() {}");
    IDispatch* other = Global(u"other");
    engine.reset();
    EXPECT_EQ(
        other->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
        E_UNEXPECTED);
    IDispatch* asked = nullptr;
    EXPECT_EQ(other->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&asked)), S_OK);
    EXPECT_EQ(asked->Release(), 1u);
    EXPECT_EQ(other->Release(), 0u);
    EXPECT_EQ(callback->Release(), 1u);
    EXPECT_EQ(callback->Release(), 0u);
}

TEST_F(IeScriptEngineTest, ACallbackMayDropTheObjectThatCallsIt) {
    struct Case {
        const char* name;
        const char* callback;  // run by the script function the object calls
        bool releaseAll;       // the page's end inside the call
    };
    const Case cases[] = {
        {"the script deletes the global", "delete window.bho; Duktape.gc();", false},
        {"the document ends inside the call", "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bool destroyed = false;
        auto* object = new TestObject({{u"doscan", 1}}, &destroyed);
        ScriptEngine* page = engine.get();
        object->handler = [&](DISPID, WORD flags, const DISPPARAMS& params, VARIANT* result,
                              EXCEPINFO*) -> HRESULT {
            if (flags == DISPATCH_PROPERTYGET) {
                return DISP_E_MEMBERNOTFOUND;
            }
            if (c.releaseAll) {
                page->DeleteGlobal(u"bho");
                page->ReleaseComObjects();
            }
            // The callback, as the add-on calls it: one status object.
            auto* status = new TestObject({{u"state", 0}});
            status->handler = [](DISPID, WORD, const DISPPARAMS&, VARIANT* value,
                                 EXCEPINFO*) -> HRESULT {
                value->vt = VT_I4;
                value->lVal = -1;
                return S_OK;
            };
            VARIANT arg = Dispatch(status);
            DISPPARAMS one{&arg, nullptr, 1, 0};
            HRESULT hr =
                params.rgvarg[0].pdispVal->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT,
                                                  DISPATCH_METHOD, &one, nullptr, nullptr, nullptr);
            status->Release();
            result->vt = VT_I4;
            result->lVal = 12;
            return hr;
        };
        VARIANT value = Dispatch(object);
        ASSERT_EQ(engine->PutGlobal(u"bho", value), S_OK);
        EXPECT_EQ(Eval(std::string("var job = bho.doScan(function (status) {") + c.callback +
                       " print('state ' + status.state); }); print('job ' + job);"),
                  "job 12");
        EXPECT_EQ(frame.prints[frame.prints.size() - 2], "state -1");
        Eval("Duktape.gc()");
        EXPECT_FALSE(engine->HasGlobal(u"bho"));
        EXPECT_EQ(engine->HeldComObjects(), 0u) << "the status object went with its call";
        EXPECT_EQ(object->Count(), 1u);
        object->Release();
        EXPECT_TRUE(destroyed);
    }
}

TEST_F(IeScriptEngineTest, TheWindowGlobals) {
    Eval(R"(
        print(window === this, typeof print, typeof done, document.URL, location.href,
              typeof document.title);
        console.log('log', 1); console.error('oops');
        location.href = 'http://page.test/b';
        location.assign('http://page.test/c');
        window.navigate('http://page.test/d');
        window.location = 'http://page.test/e';
        window.expando = 5;
        done(3);
    )");
    EXPECT_EQ(frame.prints[0],
              "true function function http://page.test/a http://page.test/a string");
    EXPECT_EQ(frame.prints[1], "log 1");
    EXPECT_EQ(frame.errors, std::vector<std::string>{"oops"});
    EXPECT_EQ(frame.navigations,
              (std::vector<std::string>{"http://page.test/b", "http://page.test/c",
                                        "http://page.test/d", "http://page.test/e"}));
    EXPECT_EQ(Eval("print(location.href)"), "http://page.test/a") << "navigation is posted";
    EXPECT_TRUE(engine->HasGlobal(u"expando")) << "the window's properties are the globals";
    EXPECT_EQ(frame.doneCodes, std::vector<int>{3});

    // Timers: ids unique across engines, each engine owns its own.
    FakeFrame otherFrame;
    ScriptEngine other(otherFrame, "http://page.test/frame");
    Eval("setTimeout(function (a) { print('fired ' + a); }, 10, 'x');");
    ASSERT_TRUE(other.Run("setInterval('print(1)', 10)", "frame"));
    ASSERT_EQ(frame.started.size(), 1u);
    ASSERT_EQ(otherFrame.started.size(), 1u);
    uint32_t mine = frame.started[0];
    uint32_t theirs = otherFrame.started[0];
    EXPECT_NE(mine, theirs);
    EXPECT_TRUE(engine->OwnsTimer(mine));
    EXPECT_FALSE(engine->OwnsTimer(theirs));
    EXPECT_TRUE(other.OwnsTimer(theirs));
    engine->FireTimer(theirs);  // not this engine's: ignored
    engine->FireTimer(mine);
    EXPECT_EQ(frame.LastPrint(), "fired x");
    EXPECT_FALSE(engine->OwnsTimer(mine)) << "a timeout fires once";
    Eval("clearInterval(" + std::to_string(theirs) + ")");
    EXPECT_TRUE(other.OwnsTimer(theirs)) << "another frame's timer is not this page's to clear";
    ASSERT_TRUE(other.Run("clearInterval(" + std::to_string(theirs) + ")", "frame"));
    EXPECT_FALSE(other.OwnsTimer(theirs));
    EXPECT_EQ(otherFrame.stopped, std::vector<uint32_t>{theirs});

    // onload, and an uncaught error reported to the frame.
    Eval("window.onload = function () { throw new Error('onload broke'); };");
    EXPECT_FALSE(engine->CallOnload());
    ASSERT_EQ(frame.failures.size(), 1u);
    EXPECT_NE(frame.failures[0].find("onload broke"), std::string::npos);
}

}  // namespace
