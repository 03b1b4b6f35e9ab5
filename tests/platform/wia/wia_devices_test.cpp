// The WIA device manager stand-in on its own, as any WIA application sees
// it through COM: the class, the description of the virtual devices, their
// enumeration and properties, the device dialog (pressed by the simulated
// user from another thread), transfers and injected failures.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "device_description.h"
#include "framework/com_ptr.h"
#include "support/temp_dir.h"
#include "wia.h"
#include "desktop_user.h"
#include "wia_dialogs.h"

namespace {

using fw::CComBSTR;
using fw::CComPtr;

std::filesystem::path Session() {
    return getenv("W32_SESSION");
}

void Describe(const std::string& text) {
    vexlo::test::WriteFileBytes(Session() / "wia-devices", text);
}

struct Apartment {
    Apartment() { CoInitialize(nullptr); }
    ~Apartment() { CoUninitialize(); }
};

CComPtr<IWiaDevMgr> Manager(HRESULT* result = nullptr) {
    CComPtr<IWiaDevMgr> manager;
    HRESULT hr = CoCreateInstance(CLSID_WiaDevMgr, nullptr, CLSCTX_LOCAL_SERVER, IID_IWiaDevMgr,
                                  reinterpret_cast<void**>(&manager));
    if (result != nullptr) {
        *result = hr;
    }
    return manager;
}

PROPSPEC Spec(PROPID id) {
    PROPSPEC spec = {};
    spec.ulKind = PRSPEC_PROPID;
    spec.propid = id;
    return spec;
}

std::u16string Text(const PROPVARIANT& value) {
    return value.vt == VT_BSTR ? std::u16string(value.bstrVal, SysStringLen(value.bstrVal)) : u"?";
}

// The image item the device dialog gives when the user presses Scan.
CComPtr<IWiaItem> ScanItem(IWiaDevMgr* manager, const std::u16string& id,
                           const std::u16string& title, LONG* count = nullptr,
                           CComPtr<IWiaItem>* rootOut = nullptr) {
    CComPtr<IWiaItem> root;
    CComBSTR deviceId(id);
    EXPECT_EQ(manager->CreateDevice(deviceId, &root), S_OK);
    if (!root) {
        return {};
    }
    std::thread user([title] {
        HWND dialog = desktop_user::WaitForWiaDeviceDialog(title, std::chrono::seconds(5));
        EXPECT_NE(dialog, nullptr);
        EXPECT_TRUE(desktop_user::PressWiaScan(dialog));
    });
    LONG items = 0;
    IWiaItem** array = nullptr;
    EXPECT_EQ(
        root->DeviceDlg(nullptr, WIA_DEVICE_DIALOG_USE_COMMON_UI, WIA_INTENT_NONE, &items, &array),
        S_OK);
    user.join();
    CComPtr<IWiaItem> first;
    for (LONG i = 0; i < items; ++i) {
        if (i == 0) {
            first.Attach(array[0]);
        } else {
            array[i]->Release();
        }
    }
    CoTaskMemFree(array);
    if (count != nullptr) {
        *count = items;
    }
    if (rootOut != nullptr) {
        *rootOut = root;
    }
    return first;
}

HRESULT SetFileTransfer(IWiaPropertyStorage* storage) {
    GUID format = WiaImgFmt_BMP;
    PROPSPEC specs[2] = {Spec(WIA_IPA_FORMAT), Spec(WIA_IPA_TYMED)};
    PROPVARIANT values[2] = {};
    values[0].vt = VT_CLSID;
    values[0].puuid = &format;
    values[1].vt = VT_I4;
    values[1].lVal = TYMED_FILE;
    return storage->WriteMultiple(2, specs, values, WIA_IPA_FIRST);
}

HRESULT Transfer(IWiaItem* item, const std::filesystem::path& file,
                 IWiaDataCallback* callback = nullptr) {
    CComPtr<IWiaDataTransfer> transfer;
    EXPECT_EQ(item->QueryInterface(IID_IWiaDataTransfer, reinterpret_cast<void**>(&transfer)),
              S_OK);
    CComBSTR name(desktop_user::Wide(file.string()));
    STGMEDIUM medium = {};
    medium.tymed = TYMED_FILE;
    medium.lpszFileName = name;
    return transfer->idtGetData(&medium, callback);
}

class CountingCallback final : public IWiaDataCallback {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE BandedDataCallback(LONG message, LONG, LONG percent, LONG, LONG, LONG,
                                                 LONG, BYTE*) override {
        messages.push_back(message);
        lastPercent = percent;
        return answer;
    }
    std::vector<LONG> messages;
    LONG lastPercent = -1;
    HRESULT answer = S_OK;
};

TEST(WiaDeviceDescription, KeysAreReadAndUnreadableLinesReported) {
    std::vector<std::string> errors;
    auto description = wia_service::ParseDescription(
        "[manager]\nfail = absent\n"
        "[device]\nid = dev-1\nname = Feeder\ntype = scanner\nfeeder = yes\npages = 3\n"
        "page = 24 10 20\nresolution = 150\nrefuse = 200, 300\nrefuse-with = 0x80210006\n"
        "fail = transfer\nfail-page = 2\ntransfer-result = S_FALSE\ndialog-items = 2\n"
        "[device]\nname = no id\n"
        "[device]\nid = cam\ntype = camera\nunplugged = yes\nresolution = none\n"
        "page = 12 1 1\ncolour = blue\n",
        &errors);
    EXPECT_TRUE(description.managerAbsent);
    ASSERT_EQ(description.devices.size(), 2u) << "a device without an id is dropped";
    const auto& feeder = description.devices[0];
    EXPECT_EQ(feeder.id, u"dev-1");
    EXPECT_EQ(feeder.name.value_or(u""), u"Feeder");
    EXPECT_TRUE(feeder.feeder);
    EXPECT_EQ(feeder.pages, 3);
    EXPECT_EQ(feeder.Page(5).bitsPerPixel, 24) << "the last page repeats";
    EXPECT_EQ(feeder.resolution.value_or(0), 150);
    EXPECT_EQ(feeder.refused, (std::set<int>{200, 300}));
    EXPECT_EQ(feeder.refuseWith, static_cast<HRESULT>(0x80210006));
    EXPECT_TRUE(feeder.failTransfer);
    EXPECT_EQ(feeder.failPage, 2);
    EXPECT_EQ(feeder.transferResult, S_FALSE);
    EXPECT_EQ(feeder.dialogItems, 2);
    const auto& camera = description.devices[1];
    EXPECT_EQ(camera.stiType, StiDeviceTypeDigitalCamera);
    EXPECT_TRUE(camera.unplugged);
    EXPECT_FALSE(camera.resolution.has_value());
    EXPECT_FALSE(camera.name.has_value());
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_NE(errors[0].find("line 24"), std::string::npos) << errors[0];
    EXPECT_NE(errors[1].find("colour"), std::string::npos) << errors[1];
}

TEST(WiaDeviceManager, IsALocalServerClassThatASessionCanLeaveOut) {
    Describe("[device]\nid = dev-1\nname = Flatbed\n");
    {
        HRESULT hr = S_OK;
        EXPECT_FALSE(Manager(&hr));
        EXPECT_EQ(hr, CO_E_NOTINITIALIZED);
    }
    Apartment apartment;
    HRESULT hr = E_FAIL;
    EXPECT_TRUE(Manager(&hr));
    EXPECT_EQ(hr, S_OK);
    IUnknown* inproc = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_WiaDevMgr, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&inproc)),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(inproc, nullptr);
    Describe("[manager]\nfail = absent\n");
    EXPECT_FALSE(Manager(&hr));
    EXPECT_EQ(hr, REGDB_E_CLASSNOTREG);
}

TEST(WiaDeviceManager, EnumeratesTheConnectedDevicesInTheDescriptionsOrder) {
    Describe(
        "[device]\nid = z-scanner\nname = Last\n"
        "[device]\nid = gone\nname = Gone\nunplugged = yes\n"
        "[device]\nid = a-camera\ntype = camera\n");
    Apartment apartment;
    CComPtr<IWiaDevMgr> manager = Manager();
    ASSERT_TRUE(manager);
    CComPtr<IEnumWIA_DEV_INFO> devices;
    ASSERT_EQ(manager->EnumDeviceInfo(WIA_DEVINFO_ENUM_LOCAL, &devices), S_OK);
    ULONG count = 0;
    EXPECT_EQ(devices->GetCount(&count), S_OK);
    EXPECT_EQ(count, 2u);

    const PROPSPEC specs[3] = {Spec(WIA_DIP_DEV_ID), Spec(WIA_DIP_DEV_NAME),
                               Spec(WIA_DIP_DEV_TYPE)};
    CComPtr<IWiaPropertyStorage> first;
    ASSERT_EQ(devices->Next(1, &first, nullptr), S_OK);
    PROPVARIANT values[3] = {};
    EXPECT_EQ(first->ReadMultiple(3, specs, values), S_OK);
    EXPECT_EQ(Text(values[0]), u"z-scanner");
    EXPECT_EQ(Text(values[1]), u"Last");
    EXPECT_EQ(values[2].vt, VT_I4);
    EXPECT_EQ(GET_STIDEVICE_TYPE(values[2].lVal), StiDeviceTypeScanner);
    for (auto& value : values) {
        PropVariantClear(&value);
    }

    CComPtr<IWiaPropertyStorage> second;
    ASSERT_EQ(devices->Next(1, &second, nullptr), S_OK);
    EXPECT_EQ(second->ReadMultiple(3, specs, values), S_FALSE) << "the camera has no name";
    EXPECT_EQ(Text(values[0]), u"a-camera");
    EXPECT_EQ(values[1].vt, VT_EMPTY);
    EXPECT_EQ(GET_STIDEVICE_TYPE(values[2].lVal), StiDeviceTypeDigitalCamera);
    for (auto& value : values) {
        PropVariantClear(&value);
    }
    PROPVARIANT name = {};
    name.vt = VT_I4;
    EXPECT_EQ(second->WriteMultiple(1, specs, &name, WIA_IPA_FIRST), E_ACCESSDENIED);

    IWiaPropertyStorage* none = nullptr;
    EXPECT_EQ(devices->Next(1, &none, nullptr), S_FALSE);
    EXPECT_EQ(none, nullptr);
}

TEST(WiaDeviceManager, CreateDeviceFindsOnlyConnectedDevicesAndCanBeMadeToFail) {
    Describe(
        "[device]\nid = ok\n[device]\nid = gone\nunplugged = yes\n"
        "[device]\nid = broken\nfail = create-device\n");
    Apartment apartment;
    CComPtr<IWiaDevMgr> manager = Manager();
    ASSERT_TRUE(manager);
    for (const auto& [id, expected] : {std::pair<const char16_t*, HRESULT>{u"ok", S_OK},
                                       {u"OK", WIA_S_NO_DEVICE_AVAILABLE},
                                       {u"gone", WIA_S_NO_DEVICE_AVAILABLE},
                                       {u"broken", WIA_ERROR_OFFLINE},
                                       {u"nothing", WIA_S_NO_DEVICE_AVAILABLE}}) {
        CComPtr<IWiaItem> root;
        CComBSTR name(id);
        EXPECT_EQ(manager->CreateDevice(name, &root), expected) << desktop_user::Narrow(id);
        EXPECT_EQ(static_cast<bool>(root), expected == S_OK);
    }
}

TEST(WiaDeviceItem, TheDialogsItemsTakeResolutionsAndTransferPagesIntoFiles) {
    Describe(
        "[device]\nid = dev-1\nname = Feeder Device\nfeeder = yes\npages = 2\n"
        "page = 8 16 10\nresolution = 150\nrefuse = 250\nrefuse-with = E_FAIL\n"
        "dialog-items = 2\n");
    vexlo::test::TempDir folder;
    Apartment apartment;
    CComPtr<IWiaDevMgr> manager = Manager();
    ASSERT_TRUE(manager);
    LONG count = 0;
    CComPtr<IWiaItem> root;
    CComPtr<IWiaItem> item =
        ScanItem(manager, u"dev-1", u"Feeder Device", &count, std::addressof(root));
    ASSERT_TRUE(item);
    EXPECT_EQ(count, 2);
    CComPtr<IWiaPropertyStorage> storage;
    ASSERT_EQ(item->QueryInterface(IID_IWiaPropertyStorage, reinterpret_cast<void**>(&storage)),
              S_OK);
    CComPtr<IWiaPropertyStorage> rootStorage;
    ASSERT_EQ(root->QueryInterface(IID_IWiaPropertyStorage, reinterpret_cast<void**>(&rootStorage)),
              S_OK);

    const PROPSPEC resolution[2] = {Spec(WIA_IPS_XRES), Spec(WIA_IPS_YRES)};
    PROPVARIANT values[2] = {};
    values[0].vt = values[1].vt = VT_I4;
    values[0].lVal = values[1].lVal = 250;
    EXPECT_EQ(storage->WriteMultiple(2, resolution, values, WIA_IPA_FIRST), E_FAIL);
    PROPVARIANT read = {};
    EXPECT_EQ(storage->ReadMultiple(1, resolution, &read), S_OK);
    EXPECT_EQ(read.lVal, 150) << "a refused value changes nothing";
    values[0].lVal = values[1].lVal = 300;
    EXPECT_EQ(storage->WriteMultiple(2, resolution, values, WIA_IPA_FIRST), S_OK);
    EXPECT_EQ(storage->ReadMultiple(1, resolution, &read), S_OK);
    EXPECT_EQ(read.lVal, 300);

    EXPECT_EQ(Transfer(item, folder.path() / "early.bmp"), E_INVALIDARG)
        << "the item is not set up for a file yet";
    ASSERT_EQ(SetFileTransfer(storage), S_OK);
    const PROPSPEC feeder[2] = {Spec(WIA_DPS_DOCUMENT_HANDLING_SELECT),
                                Spec(WIA_DPS_DOCUMENT_HANDLING_STATUS)};
    PROPVARIANT status[2] = {};
    EXPECT_EQ(storage->ReadMultiple(2, feeder, status), S_FALSE) << "not on the image item";
    EXPECT_EQ(status[0].vt, VT_EMPTY);
    EXPECT_EQ(status[1].vt, VT_EMPTY);
    EXPECT_EQ(rootStorage->ReadMultiple(2, feeder, status), S_OK) << "WIA 1.0: on the root";
    EXPECT_EQ(status[0].lVal, FEEDER);
    EXPECT_EQ(status[1].lVal, FEED_READY);

    CountingCallback callback;
    EXPECT_EQ(Transfer(item, folder.path() / "1.bmp", &callback), S_OK);
    EXPECT_EQ(callback.messages.back(), IT_MSG_TERMINATION);
    EXPECT_EQ(callback.lastPercent, 100);
    std::string bytes = vexlo::test::ReadFileBytes(folder.path() / "1.bmp");
    ASSERT_EQ(bytes.size(), 1078u + 16u * 10u);
    int32_t perMetre = 0;
    memcpy(&perMetre, bytes.data() + 38, 4);
    EXPECT_NEAR(perMetre, 300 / 0.0254, 1.0);

    callback.answer = S_FALSE;
    EXPECT_EQ(Transfer(item, folder.path() / "cancelled.bmp", &callback), S_FALSE);
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "cancelled.bmp"));
    EXPECT_EQ(rootStorage->ReadMultiple(2, feeder, status), S_OK);
    EXPECT_EQ(status[1].lVal, FEED_READY) << "a cancelled page stays in the feeder";

    EXPECT_EQ(Transfer(item, folder.path() / "2.bmp"), S_OK);
    EXPECT_EQ(rootStorage->ReadMultiple(2, feeder, status), S_OK);
    EXPECT_EQ(status[1].lVal, 0) << "the feeder is empty";
    EXPECT_EQ(Transfer(item, folder.path() / "3.bmp"), WIA_ERROR_PAPER_EMPTY);
}

TEST(WiaDeviceItem, TheFeederSelectionIsTheRootsToSetAndFlatbedTakesNoSheets) {
    Describe("[device]\nid = dev-1\nname = Feeder Device\nfeeder = yes\npages = 1\n");
    vexlo::test::TempDir folder;
    Apartment apartment;
    CComPtr<IWiaDevMgr> manager = Manager();
    ASSERT_TRUE(manager);
    CComPtr<IWiaItem> root;
    CComPtr<IWiaItem> item =
        ScanItem(manager, u"dev-1", u"Feeder Device", nullptr, std::addressof(root));
    ASSERT_TRUE(item);
    CComPtr<IWiaPropertyStorage> storage;
    ASSERT_EQ(item->QueryInterface(IID_IWiaPropertyStorage, reinterpret_cast<void**>(&storage)),
              S_OK);
    CComPtr<IWiaPropertyStorage> rootStorage;
    ASSERT_EQ(root->QueryInterface(IID_IWiaPropertyStorage, reinterpret_cast<void**>(&rootStorage)),
              S_OK);
    ASSERT_EQ(SetFileTransfer(storage), S_OK);

    struct Write {
        IWiaPropertyStorage* where;
        PROPID id;
        LONG value;
        HRESULT expected;
    };
    const Write writes[] = {
        {storage, WIA_DPS_DOCUMENT_HANDLING_SELECT, FEEDER, E_INVALIDARG},
        {rootStorage, WIA_DPS_DOCUMENT_HANDLING_STATUS, FEED_READY, E_ACCESSDENIED},
        {rootStorage, WIA_DPS_DOCUMENT_HANDLING_SELECT, 0x40, E_INVALIDARG},
        {rootStorage, WIA_DIP_DEV_NAME, 1, E_ACCESSDENIED},
        {rootStorage, WIA_DPS_DOCUMENT_HANDLING_SELECT, FLATBED, S_OK},
    };
    for (const Write& write : writes) {
        const PROPSPEC spec = Spec(write.id);
        PROPVARIANT value = {};
        value.vt = VT_I4;
        value.lVal = write.value;
        EXPECT_EQ(write.where->WriteMultiple(1, &spec, &value, WIA_IPA_FIRST), write.expected)
            << write.id << " = " << write.value;
    }
    // From the glass: the sheet stays in the feeder, and the glass gives a page each time.
    EXPECT_EQ(Transfer(item, folder.path() / "1.bmp"), S_OK);
    EXPECT_EQ(Transfer(item, folder.path() / "2.bmp"), S_OK);
    const PROPSPEC status = Spec(WIA_DPS_DOCUMENT_HANDLING_STATUS);
    PROPVARIANT read = {};
    EXPECT_EQ(rootStorage->ReadMultiple(1, &status, &read), S_OK);
    EXPECT_EQ(read.lVal, FEED_READY);
}

TEST(WiaDeviceItem, ATransferCanBeMadeImpossibleToPrepare) {
    struct Case {
        const char* fail;
        bool writeRefused;
        bool dataTransfer;
    };
    const Case cases[] = {
        {"format", true, true}, {"medium", true, true}, {"data-transfer", false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fail);
        Describe(std::string("[device]\nid = dev-1\nname = Broken\nfail = ") + c.fail + "\n");
        Apartment apartment;
        CComPtr<IWiaDevMgr> manager = Manager();
        ASSERT_TRUE(manager);
        CComPtr<IWiaItem> item = ScanItem(manager, u"dev-1", u"Broken");
        ASSERT_TRUE(item);
        CComPtr<IWiaPropertyStorage> storage;
        ASSERT_EQ(item->QueryInterface(IID_IWiaPropertyStorage, reinterpret_cast<void**>(&storage)),
                  S_OK);
        EXPECT_EQ(SetFileTransfer(storage), c.writeRefused ? E_INVALIDARG : S_OK);
        IWiaDataTransfer* transfer = nullptr;
        EXPECT_EQ(item->QueryInterface(IID_IWiaDataTransfer, reinterpret_cast<void**>(&transfer)),
                  c.dataTransfer ? S_OK : E_NOINTERFACE);
        EXPECT_EQ(transfer != nullptr, c.dataTransfer);
        if (transfer != nullptr) {
            transfer->Release();
        }
    }
}

TEST(WiaDeviceItem, ClosingTheDialogGivesNoItemsAndAFailingTransferWritesNothing) {
    Describe(
        "[device]\nid = dev-1\nname = Flatbed Device\nfail = transfer\n"
        "transfer-result = 0x80210002\n");
    vexlo::test::TempDir folder;
    Apartment apartment;
    CComPtr<IWiaDevMgr> manager = Manager();
    ASSERT_TRUE(manager);
    CComPtr<IWiaItem> root;
    CComBSTR id(u"dev-1");
    ASSERT_EQ(manager->CreateDevice(id, &root), S_OK);
    std::thread user([] {
        HWND dialog =
            desktop_user::WaitForWiaDeviceDialog(u"Flatbed Device", std::chrono::seconds(5));
        EXPECT_TRUE(desktop_user::PressWiaCancel(dialog));
    });
    LONG count = -1;
    IWiaItem** items = reinterpret_cast<IWiaItem**>(&count);
    EXPECT_EQ(
        root->DeviceDlg(nullptr, WIA_DEVICE_DIALOG_USE_COMMON_UI, WIA_INTENT_NONE, &count, &items),
        S_FALSE);
    user.join();
    EXPECT_EQ(count, 0);
    EXPECT_EQ(items, nullptr);

    CComPtr<IWiaItem> item = ScanItem(manager, u"dev-1", u"Flatbed Device");
    ASSERT_TRUE(item);
    CComPtr<IWiaPropertyStorage> storage;
    ASSERT_EQ(item->QueryInterface(IID_IWiaPropertyStorage, reinterpret_cast<void**>(&storage)),
              S_OK);
    ASSERT_EQ(SetFileTransfer(storage), S_OK);
    EXPECT_EQ(Transfer(item, folder.path() / "jam.bmp"), WIA_ERROR_PAPER_JAM);
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "jam.bmp"));
    EXPECT_EQ(Transfer(item, folder.path() / "next.bmp"), S_OK) << "only the first page fails";
}

}  // namespace
