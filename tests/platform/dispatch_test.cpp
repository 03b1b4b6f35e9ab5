// Type libraries kept as module resources and the dispatch through them:
// names, argument order and conversion, optional arguments, the retval,
// property puts and the errors, as Windows' type-library dispatch answers.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/com_objects.h"

namespace {

struct ITestCalc : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_value(BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE add(LONG a, LONG b, VARIANT* sum) = 0;
    virtual HRESULT STDMETHODCALLTYPE order(BSTR first, LONG second, DOUBLE third) = 0;
    virtual HRESULT STDMETHODCALLTYPE callback(LONG n, VARIANT* optional, VARIANT* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE fail() = 0;
    virtual HRESULT STDMETHODCALLTYPE get_name(BSTR* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_name(BSTR name) = 0;
    virtual HRESULT STDMETHODCALLTYPE flag(VARIANT_BOOL on, LONG* count) = 0;
};

constexpr GUID kLibId = {
    0x5A0B1C2D, 0x1111, 0x4222, {0x83, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x01}};
constexpr IID kCalcIid = {
    0x5A0B1C2D, 0x1111, 0x4222, {0x83, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x02}};
constexpr CLSID kCalcClsid = {
    0x5A0B1C2D, 0x1111, 0x4222, {0x83, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x03}};

constexpr USHORT kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
const W32_PARAM_DATA kValueParams[] = {{u"result", VT_BSTR | VT_BYREF, kRetval}};
const W32_PARAM_DATA kAddParams[] = {{u"a", VT_I4, PARAMFLAG_FIN},
                                     {u"b", VT_I4, PARAMFLAG_FIN},
                                     {u"sum", VT_VARIANT | VT_BYREF, kRetval}};
const W32_PARAM_DATA kOrderParams[] = {{u"first", VT_BSTR, PARAMFLAG_FIN},
                                       {u"second", VT_I4, PARAMFLAG_FIN},
                                       {u"third", VT_R8, PARAMFLAG_FIN}};
const W32_PARAM_DATA kCallbackParams[] = {
    {u"n", VT_I4, PARAMFLAG_FIN},
    {u"optional", VT_VARIANT | VT_BYREF, PARAMFLAG_FIN | PARAMFLAG_FOPT},
    {u"result", VT_VARIANT | VT_BYREF, kRetval}};
const W32_PARAM_DATA kNameGetParams[] = {{u"name", VT_BSTR | VT_BYREF, kRetval}};
const W32_PARAM_DATA kNamePutParams[] = {{u"name", VT_BSTR, PARAMFLAG_FIN}};
const W32_PARAM_DATA kFlagParams[] = {{u"on", VT_BOOL, PARAMFLAG_FIN},
                                      {u"count", VT_I4 | VT_BYREF, PARAMFLAG_FIN | PARAMFLAG_FOUT}};

const W32_FUNC_DATA kCalcFuncs[] = {
    {0, u"value", INVOKE_PROPERTYGET, kValueParams, 1, W32_MEMBER(&ITestCalc::get_value)},
    {1, u"add", INVOKE_FUNC, kAddParams, 3, W32_MEMBER(&ITestCalc::add)},
    {2, u"order", INVOKE_FUNC, kOrderParams, 3, W32_MEMBER(&ITestCalc::order)},
    {3, u"callback", INVOKE_FUNC, kCallbackParams, 3, W32_MEMBER(&ITestCalc::callback)},
    {4, u"fail", INVOKE_FUNC, nullptr, 0, W32_MEMBER(&ITestCalc::fail)},
    {5, u"name", INVOKE_PROPERTYGET, kNameGetParams, 1, W32_MEMBER(&ITestCalc::get_name)},
    {5, u"name", INVOKE_PROPERTYPUT, kNamePutParams, 1, W32_MEMBER(&ITestCalc::put_name)},
    {6, u"flag", INVOKE_FUNC, kFlagParams, 2, W32_MEMBER(&ITestCalc::flag)},
};
const W32_IMPL_DATA kCalcImpls[] = {{kCalcIid, IMPLTYPEFLAG_FDEFAULT}};
const W32_TYPE_DATA kTypes[] = {
    {TKIND_INTERFACE, kCalcIid, u"ITestCalc", u"ITestCalc Interface",
     TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION, kCalcFuncs, 8, nullptr, 0},
    {TKIND_COCLASS, kCalcClsid, u"TestCalc", u"TestCalc Class", TYPEFLAG_FCANCREATE, nullptr, 0,
     kCalcImpls, 1},
};
const W32_TYPELIB_DATA kLibrary = {W32_TYPELIB_MAGIC,
                                   W32_TYPELIB_FORMAT,
                                   kLibId,
                                   u"TestCalcLib",
                                   u"Test calculator",
                                   1,
                                   0,
                                   0,
                                   0,
                                   kTypes,
                                   2};
W32_TYPELIB_RESOURCE(kLibrary)

// Resource 2: a parameter declared as a string where the member takes a number.
const W32_PARAM_DATA kWrongParams[] = {{u"a", VT_BSTR, PARAMFLAG_FIN},
                                       {u"b", VT_I4, PARAMFLAG_FIN},
                                       {u"sum", VT_VARIANT | VT_BYREF, kRetval}};
const W32_FUNC_DATA kWrongFuncs[] = {
    {1, u"add", INVOKE_FUNC, kWrongParams, 3, W32_MEMBER(&ITestCalc::add)}};
const W32_TYPE_DATA kWrongTypes[] = {
    {TKIND_INTERFACE, kCalcIid, u"ITestCalc", nullptr, TYPEFLAG_FDUAL, kWrongFuncs, 1, nullptr, 0}};
const W32_TYPELIB_DATA kWrongLibrary = {
    W32_TYPELIB_MAGIC, W32_TYPELIB_FORMAT, kLibId, u"Wrong", nullptr, 1, 0, 0, 0, kWrongTypes, 1};
W32_RESOURCE(RT_TYPELIB, 2, &kWrongLibrary, static_cast<DWORD>(sizeof(kWrongLibrary)))

std::u16string ProgramPath() {
    OLECHAR path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::u16string(path, length);
}

// The object records what its members received.
class Calc final : public ITestCalc {
public:
    explicit Calc(ITypeInfo* info) : info(info) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        return DispGetIDsOfNames(info, names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override {
        return DispInvoke(static_cast<ITestCalc*>(this), info, id, flags, params, result, exception,
                          argumentError);
    }

    HRESULT STDMETHODCALLTYPE get_value(BSTR* result) override {
        *result = SysAllocString(u"the value");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE add(LONG a, LONG b, VARIANT* sum) override {
        if (sum->vt != VT_EMPTY) {
            return E_UNEXPECTED;  // the retval must arrive initialised
        }
        sum->vt = VT_I4;
        sum->lVal = a + b;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE order(BSTR first, LONG second, DOUBLE third) override {
        seen = std::u16string(first) + u"," + std::u16string(1, char16_t(u'0' + second)) + u"," +
               std::u16string(1, char16_t(u'0' + static_cast<int>(third)));
        return S_FALSE;  // a success other than S_OK
    }
    HRESULT STDMETHODCALLTYPE callback(LONG n, VARIANT* optional, VARIANT* result) override {
        optionalType = optional->vt;
        optionalCode = optional->vt == VT_ERROR ? optional->scode : S_OK;
        if (result->vt != VT_EMPTY) {
            return E_UNEXPECTED;
        }
        result->vt = VT_BSTR;
        result->bstrVal = SysAllocString(n == 7 ? u"seven" : u"other");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE fail() override { return E_ACCESSDENIED; }
    HRESULT STDMETHODCALLTYPE get_name(BSTR* value) override {
        *value = SysAllocString(name.c_str());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_name(BSTR value) override {
        name = value != nullptr ? value : u"";
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE flag(VARIANT_BOOL on, LONG* count) override {
        if (on == VARIANT_TRUE) {
            ++*count;
        }
        return S_OK;
    }

    ITypeInfo* info;
    std::u16string seen;
    std::u16string name = u"first";
    VARTYPE optionalType = VT_EMPTY;
    HRESULT optionalCode = S_OK;
};

VARIANT Long(LONG value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

VARIANT Text(const char16_t* text) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(text);
    return v;
}

VARIANT Double(double value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_R8;
    v.dblVal = value;
    return v;
}

class Dispatch : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(LoadTypeLibEx(ProgramPath().c_str(), REGKIND_NONE, &library), S_OK);
        ASSERT_EQ(library->GetTypeInfoOfGuid(kCalcIid, &info), S_OK);
        calc = std::make_unique<Calc>(info);
    }
    void TearDown() override {
        calc.reset();
        if (info != nullptr) {
            info->Release();
        }
        if (library != nullptr) {
            library->Release();
        }
    }

    // Calls the member with the arguments in declared order.
    HRESULT Call(DISPID id, WORD flags, std::vector<VARIANT> args, VARIANT* result,
                 EXCEPINFO* exception = nullptr, UINT* argumentError = nullptr,
                 bool putValue = false) {
        std::vector<VARIANT> reversed(args.rbegin(), args.rend());
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params = {reversed.data(), putValue ? &named : nullptr,
                             static_cast<UINT>(reversed.size()), putValue ? 1u : 0u};
        HRESULT hr = calc->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                                  exception, argumentError);
        for (VARIANT& v : reversed) {
            VariantClear(&v);
        }
        return hr;
    }

    ITypeLib* library = nullptr;
    ITypeInfo* info = nullptr;
    std::unique_ptr<Calc> calc;
};

TEST_F(Dispatch, NamesWithoutRegardToCase) {
    struct NameCase {
        std::vector<const char16_t*> names;
        HRESULT hr;
        std::vector<DISPID> ids;
    };
    const NameCase cases[] = {
        {{u"ADD"}, S_OK, {1}},
        {{u"Value"}, S_OK, {0}},
        {{u"add", u"B", u"a"}, S_OK, {1, 1, 0}},
        {{u"add", u"zz"}, DISP_E_UNKNOWNNAME, {1, DISPID_UNKNOWN}},
        {{u"nothing"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
    };
    for (const NameCase& c : cases) {
        std::vector<LPOLESTR> names;
        for (const char16_t* name : c.names) {
            names.push_back(const_cast<LPOLESTR>(name));
        }
        std::vector<DISPID> ids(names.size(), 99);
        EXPECT_EQ(calc->GetIDsOfNames(IID_NULL, names.data(), static_cast<UINT>(names.size()),
                                      LOCALE_USER_DEFAULT, ids.data()),
                  c.hr);
        EXPECT_EQ(ids, c.ids);
    }
}

TEST_F(Dispatch, ArgumentsArriveInDeclaredOrderConverted) {
    EXPECT_EQ(Call(2, DISPATCH_METHOD, {Text(u"a"), Text(u"2"), Double(3.0)}, nullptr), S_OK);
    EXPECT_EQ(calc->seen, u"a,2,3");

    VARIANT sum;
    VariantInit(&sum);
    // "5" converts to 5 and 2.5 to 2 (to even).
    ASSERT_EQ(Call(1, DISPATCH_METHOD, {Text(u"5"), Double(2.5)}, &sum), S_OK);
    EXPECT_EQ(sum.vt, VT_I4);
    EXPECT_EQ(sum.lVal, 7);
}

TEST_F(Dispatch, ErrorsAsWindowsAnswersThem) {
    struct ErrorCase {
        const char* name;
        DISPID id;
        WORD flags;
        std::vector<VARIANT> args;
        HRESULT hr;
        UINT argumentError;  // index into rgvarg, checked when not 99
    };
    std::vector<ErrorCase> cases;
    cases.push_back({"too few", 1, DISPATCH_METHOD, {Long(1)}, DISP_E_BADPARAMCOUNT, 99});
    cases.push_back(
        {"too many", 1, DISPATCH_METHOD, {Long(1), Long(2), Long(3)}, DISP_E_BADPARAMCOUNT, 99});
    cases.push_back(
        {"first not a number", 1, DISPATCH_METHOD, {Text(u"x"), Long(2)}, DISP_E_TYPEMISMATCH, 1});
    cases.push_back(
        {"second not a number", 1, DISPATCH_METHOD, {Long(2), Text(u"x")}, DISP_E_TYPEMISMATCH, 0});
    cases.push_back({"overflow", 1, DISPATCH_METHOD, {Double(1e12), Long(2)}, DISP_E_OVERFLOW, 1});
    cases.push_back({"no such member", 42, DISPATCH_METHOD, {}, DISP_E_MEMBERNOTFOUND, 99});
    cases.push_back({"a method is no property",
                     1,
                     DISPATCH_PROPERTYGET,
                     {Long(1), Long(2)},
                     DISP_E_MEMBERNOTFOUND,
                     99});
    cases.push_back({"by reference needs a reference",
                     6,
                     DISPATCH_METHOD,
                     {Long(1), Long(2)},
                     DISP_E_TYPEMISMATCH,
                     0});
    for (ErrorCase& c : cases) {
        UINT argumentError = 99;
        VARIANT result;
        VariantInit(&result);
        EXPECT_EQ(Call(c.id, c.flags, c.args, &result, nullptr, &argumentError), c.hr) << c.name;
        if (c.argumentError != 99) {
            EXPECT_EQ(argumentError, c.argumentError) << c.name;
        }
        EXPECT_EQ(result.vt, VT_EMPTY) << c.name;
    }
}

TEST_F(Dispatch, MissingOptionalVariantIsParamNotFound) {
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(Call(3, DISPATCH_METHOD, {Long(7)}, &result), S_OK);
    EXPECT_EQ(calc->optionalType, VT_ERROR);
    EXPECT_EQ(calc->optionalCode, DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(std::u16string(result.bstrVal), u"seven");
    VariantClear(&result);

    auto* function = new test_support::CountedDispatch;
    VARIANT object;
    VariantInit(&object);
    object.vt = VT_DISPATCH;
    object.pdispVal = function;  // the call's argument takes this reference
    ASSERT_EQ(Call(3, DISPATCH_METHOD, {Long(1), object}, &result), S_OK);
    EXPECT_EQ(calc->optionalType, VT_DISPATCH);
    VariantClear(&result);
}

TEST_F(Dispatch, RetvalWithoutResultGoesToATemporary) {
    // The member writes a string into its retval; with no result asked for,
    // the dispatcher frees it (the leak checker would see it otherwise).
    EXPECT_EQ(Call(3, DISPATCH_METHOD, {Long(7)}, nullptr), S_OK);
    EXPECT_EQ(Call(0, DISPATCH_PROPERTYGET, {}, nullptr), S_OK);
}

TEST_F(Dispatch, ValueReachedByMethodOrPropertyGet) {
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(Call(DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, &result), S_OK);
    EXPECT_EQ(result.vt, VT_BSTR);
    EXPECT_EQ(std::u16string(result.bstrVal), u"the value");
    VariantClear(&result);
}

TEST_F(Dispatch, FailingMemberIsAnException) {
    EXCEPINFO exception = {};
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(Call(4, DISPATCH_METHOD, {}, &result, &exception), DISP_E_EXCEPTION);
    EXPECT_EQ(exception.scode, E_ACCESSDENIED);
    EXPECT_EQ(Call(4, DISPATCH_METHOD, {}, &result), DISP_E_EXCEPTION);
}

TEST_F(Dispatch, PropertyPutNeedsTheNamedArgument) {
    EXPECT_EQ(Call(5, DISPATCH_PROPERTYPUT, {Text(u"second")}, nullptr), DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(calc->name, u"first");
    EXPECT_EQ(Call(5, DISPATCH_PROPERTYPUT, {Text(u"second")}, nullptr, nullptr, nullptr, true),
              S_OK);
    EXPECT_EQ(calc->name, u"second");
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(Call(5, DISPATCH_PROPERTYGET, {}, &result), S_OK);
    EXPECT_EQ(std::u16string(result.bstrVal), u"second");
    VariantClear(&result);
    // Named arguments are for puts only.
    EXPECT_EQ(Call(1, DISPATCH_METHOD, {Long(1), Long(2)}, nullptr, nullptr, nullptr, true),
              DISP_E_NONAMEDARGS);
}

TEST_F(Dispatch, ByReferenceArgumentReachesTheCaller) {
    LONG count = 4;
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_BYREF | VT_I4;
    ref.plVal = &count;
    VARIANT on;
    VariantInit(&on);
    on.vt = VT_BOOL;
    on.boolVal = VARIANT_TRUE;
    EXPECT_EQ(Call(6, DISPATCH_METHOD, {on, ref}, nullptr), S_OK);
    EXPECT_EQ(count, 5);
}

TEST_F(Dispatch, BadParametersAreRefused) {
    EXPECT_EQ(calc->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr),
              E_INVALIDARG);
    DISPPARAMS missing = {nullptr, nullptr, 2, 0};
    EXPECT_EQ(calc->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &missing, nullptr, nullptr, nullptr),
              E_INVALIDARG);
}

TEST_F(Dispatch, LibraryDescribesItself) {
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, kLibId);
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    library->ReleaseTLibAttr(attr);
    EXPECT_EQ(library->GetTypeInfoCount(), 2u);
    TYPEKIND kind = TKIND_MAX;
    EXPECT_EQ(library->GetTypeInfoType(1, &kind), S_OK);
    EXPECT_EQ(kind, TKIND_COCLASS);

    ITypeInfo* coclass = nullptr;
    ASSERT_EQ(library->GetTypeInfoOfGuid(kCalcClsid, &coclass), S_OK);
    HREFTYPE ref = 0;
    ASSERT_EQ(coclass->GetRefTypeOfImplType(0, &ref), S_OK);
    ITypeInfo* interfaceInfo = nullptr;
    ASSERT_EQ(coclass->GetRefTypeInfo(ref, &interfaceInfo), S_OK);
    EXPECT_EQ(interfaceInfo, info);
    interfaceInfo->Release();
    coclass->Release();

    TYPEATTR* typeAttr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&typeAttr), S_OK);
    EXPECT_EQ(typeAttr->cFuncs, 8);
    EXPECT_TRUE(typeAttr->wTypeFlags & TYPEFLAG_FDUAL);
    info->ReleaseTypeAttr(typeAttr);
    FUNCDESC* func = nullptr;
    ASSERT_EQ(info->GetFuncDesc(3, &func), S_OK);
    EXPECT_EQ(func->memid, 3);
    EXPECT_EQ(func->cParams, 3);
    EXPECT_EQ(func->cParamsOpt, 1);
    EXPECT_EQ(func->lprgelemdescParam[2].paramdesc.wParamFlags, kRetval);
    info->ReleaseFuncDesc(func);

    GUID unknown = kLibId;
    unknown.Data1 ^= 1;
    ITypeInfo* none = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_EQ(library->GetTypeInfoOfGuid(unknown, &none), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(none, nullptr);

    BSTR name = nullptr;
    ASSERT_EQ(library->GetDocumentation(-1, &name, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(std::u16string(name), u"TestCalcLib");
    SysFreeString(name);
}

TEST(TypeLibrary, InconsistentOrMissingLibrariesAreRefused) {
    ITypeLib* library = reinterpret_cast<ITypeLib*>(1);
    EXPECT_EQ(LoadTypeLibEx((ProgramPath() + u"\\2").c_str(), REGKIND_NONE, &library),
              TYPE_E_CANTLOADLIBRARY);
    EXPECT_EQ(library, nullptr);
    EXPECT_EQ(LoadTypeLibEx((ProgramPath() + u"\\3").c_str(), REGKIND_NONE, &library),
              TYPE_E_CANTLOADLIBRARY);
    EXPECT_EQ(LoadTypeLibEx(u"/nonexistent/library.so", REGKIND_NONE, &library),
              TYPE_E_CANTLOADLIBRARY);
    EXPECT_EQ(LoadTypeLibEx(nullptr, REGKIND_NONE, &library), E_INVALIDARG);
    // Resource 1 named explicitly is the library.
    ASSERT_EQ(LoadTypeLibEx((ProgramPath() + u"\\1").c_str(), REGKIND_NONE, &library), S_OK);
    library->Release();
}

}  // namespace
