#include <windows.h>

#include <gtest/gtest.h>

#include "framework/com_ptr.h"
#include "support/temp_dir.h"

namespace {

constexpr CLSID kTestClass = {0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr IID kTestInterface = {0x87654321, 0x1111, 0x2222, {8, 7, 6, 5, 4, 3, 2, 1}};

struct ITestThing : public IUnknown {
    virtual int STDMETHODCALLTYPE Value() = 0;
};

}  // namespace

// Interface ids are declared at global scope, where the trait lives.
W32_INTERFACE_ID(ITestThing, kTestInterface);

namespace {

int liveThings = 0;

class Thing : public fw::CRefCounted<ITestThing> {
public:
    Thing() { ++liveThings; }
    ~Thing() override { --liveThings; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == kTestInterface) {
            AddRef();
            *out = static_cast<ITestThing*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    int STDMETHODCALLTYPE Value() override { return 42; }
};

class ThingFactory : public fw::CRefCounted<IClassFactory> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            AddRef();
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        Thing* thing = new Thing;
        HRESULT hr = thing->QueryInterface(riid, out);
        thing->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

TEST(Com, InitialisationIsCountedPerThread) {
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    CoUninitialize();
    CoUninitialize();
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_ALL, kTestInterface, &out),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(out, nullptr);
}

TEST(Com, ClassesAreFoundOnlyWhenRegistered) {
    CoInitialize(nullptr);
    void* out = nullptr;
    EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_LOCAL_SERVER, kTestInterface, &out),
              REGDB_E_CLASSNOTREG);
    auto* factory = new ThingFactory;
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(kTestClass, factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                    &cookie),
              S_OK);
    factory->Release();  // the registration holds its own reference
    {
        fw::CComPtr<ITestThing> thing;
        ASSERT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_LOCAL_SERVER, kTestInterface,
                                   reinterpret_cast<void**>(&thing)),
                  S_OK);
        EXPECT_EQ(thing->Value(), 42);
        EXPECT_EQ(liveThings, 1);
        EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, kTestInterface, &out),
                  REGDB_E_CLASSNOTREG)
            << "the context must match";
    }
    EXPECT_EQ(liveThings, 0);
    EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
    EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_ALL, kTestInterface, &out),
              REGDB_E_CLASSNOTREG);
    CoUninitialize();
}

TEST(Com, GuidStringsRoundTrip) {
    WCHAR text[39] = {};
    EXPECT_EQ(StringFromGUID2(kTestClass, text, 39), 39);
    EXPECT_EQ(std::u16string(text), u"{12345678-9ABC-DEF0-0102-030405060708}");
    CLSID parsed = {};
    EXPECT_EQ(CLSIDFromString(text, &parsed), S_OK);
    EXPECT_TRUE(parsed == kTestClass);
    EXPECT_EQ(CLSIDFromString(u"{12345678-9ABC-DEF0-0102-03040506070}", &parsed), CO_E_CLASSSTRING);
    EXPECT_EQ(StringFromGUID2(kTestClass, text, 38), 0);
}

TEST(Bstr, HoldsItsLengthInFrontAndMayContainZeros) {
    BSTR text = SysAllocStringLen(u"a\0b", 3);
    EXPECT_EQ(SysStringLen(text), 3u);
    EXPECT_EQ(SysStringByteLen(text), 6u);
    EXPECT_EQ(*reinterpret_cast<DWORD*>(reinterpret_cast<char*>(text) - 4), 6u);
    EXPECT_EQ(text[3], 0);
    SysFreeString(text);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    BSTR empty = SysAllocString(u"");
    ASSERT_NE(empty, nullptr) << "an empty BSTR is not a null one";
    EXPECT_EQ(SysStringLen(empty), 0u);
    EXPECT_TRUE(SysReAllocString(&empty, u"Сканер"));
    EXPECT_EQ(std::u16string(empty), u"Сканер");
    SysFreeString(empty);
    SysFreeString(nullptr);
}

TEST(Variants, ClearFreesWhatTheyOwn) {
    VARIANT value;
    VariantInit(&value);
    EXPECT_EQ(value.vt, VT_EMPTY);
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocString(u"text");
    VARIANT copy;
    VariantInit(&copy);
    EXPECT_EQ(VariantCopy(&copy, &value), S_OK);
    EXPECT_NE(copy.bstrVal, value.bstrVal);
    EXPECT_EQ(std::u16string(copy.bstrVal), u"text");
    VariantClear(&value);
    VariantClear(&copy);
    EXPECT_EQ(copy.vt, VT_EMPTY);

    VARIANT object;
    VariantInit(&object);
    object.vt = VT_UNKNOWN;
    object.punkVal = new Thing;
    EXPECT_EQ(liveThings, 1);
    VariantClear(&object);
    EXPECT_EQ(liveThings, 0);

    PROPVARIANT property = {};
    property.vt = VT_CLSID;
    property.puuid = static_cast<CLSID*>(CoTaskMemAlloc(sizeof(CLSID)));
    *property.puuid = kTestClass;
    EXPECT_EQ(PropVariantClear(&property), S_OK);
    EXPECT_EQ(property.vt, VT_EMPTY);
}

TEST(StorageMedia, AFileMediumDeletesItsFileUnlessTheNameWasCleared) {
    vexlo::test::TempDir dir;
    vexlo::test::WriteFileBytes(dir.path() / "kept.bmp", "BM");
    vexlo::test::WriteFileBytes(dir.path() / "gone.bmp", "BM");
    std::u16string gone = dir.wide("gone.bmp");

    STGMEDIUM medium = {};
    medium.tymed = TYMED_FILE;
    medium.lpszFileName = static_cast<LPOLESTR>(CoTaskMemAlloc((gone.size() + 1) * 2));
    memcpy(medium.lpszFileName, gone.c_str(), (gone.size() + 1) * 2);
    ReleaseStgMedium(&medium);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "gone.bmp"));

    STGMEDIUM cleared = {};
    cleared.tymed = TYMED_FILE;
    cleared.lpszFileName = nullptr;
    ReleaseStgMedium(&cleared);
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "kept.bmp"));
}

TEST(SmartPointers, CountReferencesAndReleaseOnce) {
    {
        fw::CComPtr<ITestThing> first(new Thing);  // the wrapper adds its own reference
        first->Release();                          // drop the creation reference
        fw::CComPtr<ITestThing> second = first;
        fw::CComPtr<IUnknown> unknown;
        EXPECT_EQ(second.QueryInterface(&unknown), S_OK);
        EXPECT_EQ(liveThings, 1);
        first.Release();
        second.Release();
        EXPECT_EQ(liveThings, 1) << "the IUnknown reference keeps it alive";
    }
    EXPECT_EQ(liveThings, 0);
    fw::CComBSTR name(u"Сканер");
    fw::CComBSTR copy = name;
    EXPECT_EQ(copy.ToString(), u"Сканер");
    EXPECT_NE(copy.m_str, name.m_str);
    EXPECT_EQ(fw::CComBSTR().ToString(), u"");
}

}  // namespace
