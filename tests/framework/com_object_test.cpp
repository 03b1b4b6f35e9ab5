// The framework's COM objects: the object root and its interface map,
// IDispatch through the module's own type library, the non-owning event sink,
// the site, safety and error-info helpers, CComVariant, CComBSTR and the
// module's Global Interface Table.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "framework/com_module_base.h"
#include "framework/com_object.h"
#include "framework/com_ptr.h"
#include "framework/dispatch_impl.h"
#include "framework/event_sink.h"
#include "framework/object_site.h"
#include "framework/variant.h"
#include "support/com_objects.h"

namespace {

struct ITestThing : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_total(VARIANT* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE ping(LONG n) = 0;
};

constexpr GUID kLibId = {
    0x7C2D3E4F, 0x3333, 0x4444, {0xA5, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0x01}};
constexpr IID kThingIid = {
    0x7C2D3E4F, 0x3333, 0x4444, {0xA5, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0x02}};
constexpr IID kEvents = {
    0x7C2D3E4F, 0x3333, 0x4444, {0xA5, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0x03}};
}  // namespace
W32_INTERFACE_ID(ITestThing, kThingIid);

namespace {

const W32_PARAM_DATA kTotalParams[] = {
    {u"result", VT_VARIANT | VT_BYREF, PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
const W32_PARAM_DATA kPingParams[] = {{u"n", VT_I4, PARAMFLAG_FIN}};
const W32_FUNC_DATA kThingFuncs[] = {
    {0, u"total", INVOKE_PROPERTYGET, kTotalParams, 1, W32_MEMBER(&ITestThing::get_total)},
    {1, u"ping", INVOKE_FUNC, kPingParams, 1, W32_MEMBER(&ITestThing::ping)},
};
const W32_TYPE_DATA kTypes[] = {{TKIND_INTERFACE, kThingIid, u"ITestThing", nullptr, TYPEFLAG_FDUAL,
                                 kThingFuncs, 2, nullptr, 0}};
const W32_TYPELIB_DATA kLibrary = {
    W32_TYPELIB_MAGIC, W32_TYPELIB_FORMAT, kLibId, u"ThingLib", nullptr, 1, 0, 0, 0, kTypes, 1};
W32_TYPELIB_RESOURCE(kLibrary)

// The module object of this program, whose lock count the objects raise.
fw::CAtlModule testModule;

struct Trace {
    int constructed = 0;
    int finalReleased = 0;
    std::vector<LONG> events;
    HRESULT constructResult = S_OK;
    IUnknown* eventSource = nullptr;  // advised in FinalConstruct when set
};
Trace* trace = nullptr;

class CThing : public fw::CComObjectRootEx<fw::CComSingleThreadModel>,
               public fw::IDispatchImpl<ITestThing, &kThingIid, &kLibId>,
               public fw::IObjectWithSiteImpl<CThing>,
               public fw::IObjectSafetyImpl<CThing, INTERFACESAFE_FOR_UNTRUSTED_CALLER |
                                                        INTERFACESAFE_FOR_UNTRUSTED_DATA>,
               public fw::ISupportErrorInfoImpl<&kThingIid> {
public:
    BEGIN_COM_MAP(CThing)
    COM_INTERFACE_ENTRY(ITestThing)
    COM_INTERFACE_ENTRY(IDispatch)
    COM_INTERFACE_ENTRY(IObjectWithSite)
    COM_INTERFACE_ENTRY(IObjectSafety)
    COM_INTERFACE_ENTRY(ISupportErrorInfo)
    END_COM_MAP()

    BEGIN_SINK_MAP(CThing)
    SINK_ENTRY_EX(1, kEvents, 105, OnEvent)
    END_SINK_MAP()

    HRESULT FinalConstruct() {
        ++trace->constructed;
        if (SUCCEEDED(trace->constructResult) && trace->eventSource != nullptr) {
            source = trace->eventSource;
            return sink.DispEventAdvise(source);
        }
        return trace->constructResult;
    }
    void FinalRelease() {
        ++trace->finalReleased;
        if (sink.IsAdvised()) {
            sink.DispEventUnadvise(source);
        }
    }
    void OnEvent(DISPPARAMS* params) {
        trace->events.push_back(params->cArgs == 1 ? params->rgvarg[0].lVal : -1);
    }

    HRESULT STDMETHODCALLTYPE get_total(VARIANT* result) override {
        result->vt = VT_I4;
        result->lVal = total;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ping(LONG n) override {
        total += n;
        return S_OK;
    }

    fw::CDispEventSink<1, CThing, &kEvents> sink{this};
    fw::CComPtr<IUnknown> source;
    LONG total = 0;
};

class ComObject : public testing::Test {
protected:
    void SetUp() override {
        trace = &current;
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    }
    void TearDown() override {
        W32FailGlobalInterfaceTableCreation(S_OK);
        CoUninitialize();
        trace = nullptr;
    }

    Trace current;
};

TEST_F(ComObject, LivesFromCreationToItsLastReference) {
    LONG locks = testModule.GetLockCount();
    fw::CComObject<CThing>* thing = nullptr;
    ASSERT_EQ(fw::CComObject<CThing>::CreateInstance(&thing), S_OK);
    EXPECT_EQ(current.constructed, 1);
    EXPECT_EQ(testModule.GetLockCount(), locks + 1);

    IUnknown* unknown = nullptr;
    ASSERT_EQ(thing->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    // Every interface leads back to the same IUnknown.
    for (const IID* iid : {&kThingIid, &IID_IDispatch, &IID_IObjectWithSite, &IID_IObjectSafety,
                           &IID_ISupportErrorInfo}) {
        IUnknown* answered = nullptr;
        ASSERT_EQ(unknown->QueryInterface(*iid, reinterpret_cast<void**>(&answered)), S_OK);
        IUnknown* identity = nullptr;
        answered->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
        EXPECT_EQ(identity, unknown);
        identity->Release();
        answered->Release();
    }
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(unknown->QueryInterface(IID_IConnectionPoint, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);

    EXPECT_EQ(current.finalReleased, 0);
    EXPECT_EQ(unknown->Release(), 0u);
    EXPECT_EQ(current.finalReleased, 1);
    EXPECT_EQ(testModule.GetLockCount(), locks);
}

TEST_F(ComObject, FailedFinalConstructDestroysTheObject) {
    LONG locks = testModule.GetLockCount();
    current.constructResult = E_OUTOFMEMORY;
    fw::CComObject<CThing>* thing = reinterpret_cast<fw::CComObject<CThing>*>(1);
    EXPECT_EQ(fw::CComObject<CThing>::CreateInstance(&thing), E_OUTOFMEMORY);
    EXPECT_EQ(thing, nullptr);
    EXPECT_EQ(current.finalReleased, 1);
    EXPECT_EQ(testModule.GetLockCount(), locks);
}

TEST_F(ComObject, DispatchThroughTheModulesOwnLibrary) {
    fw::CComObject<CThing>* thing = nullptr;
    ASSERT_EQ(fw::CComObject<CThing>::CreateInstance(&thing), S_OK);
    fw::CComPtr<IDispatch> dispatch;
    ASSERT_EQ(thing->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);

    LPOLESTR name = const_cast<LPOLESTR>(u"PING");
    DISPID id = 0;
    ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    EXPECT_EQ(id, 1);
    fw::CComVariant argument(u"3");
    DISPPARAMS params = {&argument, nullptr, 1, 0};
    ASSERT_EQ(dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                               nullptr, nullptr),
              S_OK);
    fw::CComVariant total;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    ASSERT_EQ(
        dispatch->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT,
                         DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none, &total, nullptr, nullptr),
        S_OK);
    EXPECT_EQ(total.vt, VT_I4);
    EXPECT_EQ(total.lVal, 3);
    EXPECT_EQ(
        dispatch->Invoke(id, kThingIid, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
        DISP_E_UNKNOWNINTERFACE);

    UINT count = 0;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    fw::CComPtr<ITypeInfo> info;
    ASSERT_EQ(dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, kThingIid);
    info->ReleaseTypeAttr(attr);
}

TEST_F(ComObject, AdvisedObjectDiesAndUnadvisesInFinalRelease) {
    bool sourceDestroyed = false;
    auto* source = new test_support::EventSource(kEvents, &sourceDestroyed);
    current.eventSource = source;
    fw::CComObject<CThing>* thing = nullptr;
    ASSERT_EQ(fw::CComObject<CThing>::CreateInstance(&thing), S_OK);
    thing->AddRef();
    EXPECT_TRUE(thing->sink.IsAdvised());
    EXPECT_NE(thing->sink.Cookie(), 0u);

    EXPECT_EQ(source->Fire(105, 12), 1);
    EXPECT_EQ(source->Fire(999, 13), 1);  // no handler: answered S_OK, nothing called
    EXPECT_EQ(current.events, std::vector<LONG>{12});

    // The connection point holds the sink, not the object: the last
    // reference of the object destroys it, and it leaves the source.
    EXPECT_EQ(thing->Release(), 0u);
    EXPECT_EQ(current.finalReleased, 1);
    EXPECT_EQ(source->Fire(105, 14), 0);
    EXPECT_EQ(current.events, std::vector<LONG>{12});
    EXPECT_FALSE(sourceDestroyed);
    source->Release();
    EXPECT_TRUE(sourceDestroyed);
}

TEST_F(ComObject, SinkAnswersItsInterfacesWithoutCountingTheOwner) {
    fw::CComObject<CThing>* thing = nullptr;
    ASSERT_EQ(fw::CComObject<CThing>::CreateInstance(&thing), S_OK);
    thing->AddRef();
    for (const IID* iid : {&IID_IUnknown, &IID_IDispatch, &kEvents}) {
        void* answered = nullptr;
        EXPECT_EQ(thing->sink.QueryInterface(*iid, &answered), S_OK);
        EXPECT_EQ(answered, static_cast<IDispatch*>(&thing->sink));
    }
    void* answered = nullptr;
    EXPECT_EQ(thing->sink.QueryInterface(kThingIid, &answered), E_NOINTERFACE);
    EXPECT_EQ(thing->sink.DispEventUnadvise(nullptr), E_INVALIDARG);
    thing->Release();
    EXPECT_EQ(current.finalReleased, 1);
}

TEST_F(ComObject, SiteIsKeptAndAsked) {
    fw::CComObject<CThing>* thing = nullptr;
    ASSERT_EQ(fw::CComObject<CThing>::CreateInstance(&thing), S_OK);
    thing->AddRef();
    void* site = reinterpret_cast<void*>(1);
    EXPECT_EQ(thing->GetSite(IID_IUnknown, &site), E_FAIL);
    EXPECT_EQ(site, nullptr);
    EXPECT_EQ(thing->GetSite(IID_IUnknown, nullptr), E_POINTER);

    auto* host = new test_support::CountedDispatch;
    EXPECT_EQ(thing->SetSite(host), S_OK);
    EXPECT_EQ(host->Count(), 2u);
    IDispatch* asked = nullptr;
    EXPECT_EQ(thing->GetSite(IID_IDispatch, reinterpret_cast<void**>(&asked)), S_OK);
    EXPECT_EQ(asked, host);
    asked->Release();
    EXPECT_EQ(thing->GetSite(IID_IConnectionPoint, &site), E_NOINTERFACE);
    EXPECT_EQ(thing->SetSite(nullptr), S_OK);
    EXPECT_EQ(host->Count(), 1u);
    host->Release();
    thing->Release();
}

TEST_F(ComObject, SafetyOptionsAndErrorInfo) {
    fw::CComObject<CThing>* thing = nullptr;
    ASSERT_EQ(fw::CComObject<CThing>::CreateInstance(&thing), S_OK);
    thing->AddRef();
    constexpr DWORD kSafe = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;
    DWORD supported = 0;
    DWORD enabled = 0;
    ASSERT_EQ(thing->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
    EXPECT_EQ(supported, kSafe);
    EXPECT_EQ(enabled, 0u);
    EXPECT_EQ(thing->SetInterfaceSafetyOptions(IID_IDispatch, kSafe, kSafe), S_OK);
    thing->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled);
    EXPECT_EQ(enabled, kSafe);
    EXPECT_EQ(thing->SetInterfaceSafetyOptions(IID_IDispatch, INTERFACE_USES_DISPEX,
                                               INTERFACE_USES_DISPEX),
              E_FAIL);
    EXPECT_EQ(thing->GetInterfaceSafetyOptions(IID_IConnectionPoint, &supported, &enabled),
              E_NOINTERFACE);
    EXPECT_EQ(thing->GetInterfaceSafetyOptions(IID_IDispatch, nullptr, &enabled), E_POINTER);

    EXPECT_EQ(thing->InterfaceSupportsErrorInfo(kThingIid), S_OK);
    EXPECT_EQ(thing->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
    thing->Release();
}

TEST_F(ComObject, VariantOwnsWhatItHolds) {
    auto* object = new test_support::CountedDispatch;
    {
        fw::CComVariant held(static_cast<IDispatch*>(object));
        EXPECT_EQ(object->Count(), 2u);
        fw::CComVariant copy(held);
        EXPECT_EQ(object->Count(), 3u);
        fw::CComVariant moved(std::move(copy));
        EXPECT_EQ(object->Count(), 3u);
        EXPECT_EQ(copy.vt, VT_EMPTY);
    }
    EXPECT_EQ(object->Count(), 1u);
    object->Release();

    fw::CComVariant text(u"5");
    EXPECT_EQ(text.ChangeType(VT_I4), S_OK);
    EXPECT_EQ(text.vt, VT_I4);
    EXPECT_EQ(text.lVal, 5);
    VARIANT out;
    VariantInit(&out);
    EXPECT_EQ(fw::CComVariant(u"moved").Detach(&out), S_OK);
    EXPECT_EQ(std::u16string(out.bstrVal), u"moved");
    VariantClear(&out);

    fw::CComBSTR name(u"Vexlo");
    BSTR copied = nullptr;
    EXPECT_EQ(name.CopyTo(&copied), S_OK);
    EXPECT_EQ(std::u16string(copied), u"Vexlo");
    SysFreeString(copied);
    EXPECT_EQ(name.CopyTo(&out), S_OK);
    EXPECT_EQ(out.vt, VT_BSTR);
    VariantClear(&out);
    EXPECT_EQ(fw::CComBSTR(3, u"abcdef").ToString(), u"abc");
}

TEST_F(ComObject, PointerOwnsOneReferenceThroughMovesAndCopies) {
    auto* object = new test_support::CountedDispatch;
    auto* other = new test_support::CountedDispatch;
    {
        fw::CComPtr<IDispatch> held(object);
        fw::CComPtr<IDispatch> target(other);
        EXPECT_EQ(object->Count(), 2u);
        target = std::move(held);  // lets go of other, takes object's reference over
        EXPECT_EQ(other->Count(), 1u);
        EXPECT_EQ(object->Count(), 2u);
        EXPECT_EQ(held.p, nullptr);
        EXPECT_EQ(target.p, object);

        fw::CComPtr<IDispatch>& same = target;
        target = std::move(same);  // a self move keeps the reference
        EXPECT_EQ(target.p, object);
        EXPECT_EQ(object->Count(), 2u);

        held = target;
        EXPECT_EQ(object->Count(), 3u);
        fw::CComPtr<IDispatch> empty;
        held = std::move(empty);
        EXPECT_EQ(held.p, nullptr);
        EXPECT_EQ(object->Count(), 2u);
    }
    EXPECT_EQ(object->Count(), 1u);
    object->Release();
    other->Release();
}

TEST_F(ComObject, ModuleKeepsTheGlobalInterfaceTable) {
    EXPECT_EQ(testModule.GetGITPtr(nullptr), E_POINTER);
    fw::CAtlModule module;  // a module that has not made its table yet
    W32FailGlobalInterfaceTableCreation(E_OUTOFMEMORY);
    IGlobalInterfaceTable* table = reinterpret_cast<IGlobalInterfaceTable*>(1);
    EXPECT_EQ(module.GetGITPtr(&table), E_OUTOFMEMORY);
    EXPECT_EQ(table, nullptr);
    W32FailGlobalInterfaceTableCreation(S_OK);
    ASSERT_EQ(module.GetGITPtr(&table), S_OK);
    IGlobalInterfaceTable* again = nullptr;
    // Kept: a later failure of creation does not matter.
    W32FailGlobalInterfaceTableCreation(E_OUTOFMEMORY);
    ASSERT_EQ(module.GetGITPtr(&again), S_OK);
    EXPECT_EQ(again, table);
    again->Release();
    table->Release();
}

}  // namespace
