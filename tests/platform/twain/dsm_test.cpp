// The data source manager stand-in as any TWAIN application sees it through
// DSM_Entry: the standard's states and their rules, identities, capability
// negotiation, the source's dialog and events, and native transfers.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <thread>

#include "desktop_user.h"
#include "support/temp_dir.h"
#include "twain.h"
#include "twain_dialogs.h"

namespace {

// TWAIN records are packed: their fields are compared as copies.
template <class T>
T Copy(T value) {
    return value;
}

std::filesystem::path SessionFile(const std::string& name) {
    return std::filesystem::path(getenv("W32_SESSION")) / name;
}

void Describe(const std::string& text) {
    vexlo::test::WriteFileBytes(SessionFile("twain-sources"), text);
    std::error_code ignored;
    std::filesystem::remove(SessionFile("twain-default"), ignored);
}

const char* kSources =
    "[source]\nname = Alpha\nx-resolution = enumeration fix32 100 200 300\n"
    "y-resolution = range fix32 50 400 50\nresolution = 200\npages = 2\npage = 8 30 20\n"
    "[source]\nname = Beta\nxfer-limit = 1\nfail = transfer-failure\npages = 2\n";

class Application {
public:
    Application() {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = DefWindowProcW;
        wc.lpszClassName = u"TestTwainApplication";
        RegisterClassExW(&wc);
        window = CreateWindowExW(0, u"TestTwainApplication", u"App", 0, 0, 0, 10, 10, nullptr,
                                 nullptr, nullptr, nullptr);
        Load();
        std::strcpy(identity.ProductName, "Test Application");
        identity.ProtocolMajor = 1;
        identity.ProtocolMinor = 8;
        identity.SupportedGroups = DG_CONTROL | DG_IMAGE;
    }
    ~Application() {
        Unload();
        DestroyWindow(window);
    }
    void Load() {
        library = LoadLibraryA("TWAIN_32.DLL");
        entry = library != nullptr
                    ? reinterpret_cast<DSMENTRYPROC>(GetProcAddress(library, "DSM_Entry"))
                    : nullptr;
    }
    void Unload() {
        if (library != nullptr) {
            FreeLibrary(library);
        }
        library = nullptr;
        entry = nullptr;
    }
    TW_UINT16 Call(pTW_IDENTITY destination, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                   TW_MEMREF data) {
        return entry(&identity, destination, dg, dat, msg, data);
    }
    TW_UINT16 Condition(pTW_IDENTITY destination = nullptr) {
        TW_STATUS status = {};
        Call(destination, DG_CONTROL, DAT_STATUS, MSG_GET, &status);
        return status.ConditionCode;
    }
    TW_UINT16 Open() { return Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &window); }
    TW_UINT16 OpenSource(const char* name, TW_IDENTITY* source) {
        std::memset(source, 0, sizeof(*source));
        std::strcpy(source->ProductName, name);
        return Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, source);
    }
    TW_UINT16 Enable(TW_IDENTITY* source, TW_BOOL modal = TRUE) {
        TW_USERINTERFACE ui = {TRUE, modal, window};
        return Call(source, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
    }
    TW_UINT16 Disable(TW_IDENTITY* source) {
        TW_USERINTERFACE ui = {TRUE, TRUE, window};
        return Call(source, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
    }
    // Hands the source every queued message, as an application's loop does;
    // the TWMessages of the source's events.
    std::vector<TW_UINT16> Events(TW_IDENTITY* source) {
        std::vector<TW_UINT16> events;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TW_EVENT event = {&msg, MSG_NULL};
            TW_UINT16 result = Call(source, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
            if (result == TWRC_DSEVENT && event.TWMessage != MSG_NULL) {
                events.push_back(event.TWMessage);
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        return events;
    }
    TW_UINT16 SetOne(TW_IDENTITY* source, TW_UINT16 cap, TW_UINT16 type, TW_UINT32 item) {
        TW_CAPABILITY capability = {cap, TWON_ONEVALUE, GlobalAlloc(GHND, sizeof(TW_ONEVALUE))};
        auto* one = static_cast<TW_ONEVALUE*>(GlobalLock(capability.hContainer));
        one->ItemType = type;
        one->Item = item;
        GlobalUnlock(capability.hContainer);
        TW_UINT16 result = Call(source, DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability);
        GlobalFree(capability.hContainer);
        return result;
    }

    HWND window = nullptr;
    HMODULE library = nullptr;
    DSMENTRYPROC entry = nullptr;
    TW_IDENTITY identity = {};
};

// The lines of a session record, each without its "<holder> " field.
std::vector<std::string> RecordLines(const std::string& name) {
    std::vector<std::string> lines;
    std::istringstream in(vexlo::test::ReadFileBytes(SessionFile(name)));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty()) {
            lines.push_back(line.substr(line.find(' ') + 1));
        }
    }
    return lines;
}

void ForgetRecords() {
    std::error_code ignored;
    std::filesystem::remove(SessionFile("twain-open-sources"), ignored);
    std::filesystem::remove(SessionFile("twain-calls"), ignored);
}

TEST(DataSourceManager, TheSessionRecordsOpenSourcesAndTheirEndAndCloseCallsBeyondTheLibrary) {
    Describe(kSources);
    ForgetRecords();
    Application app;
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    TW_IDENTITY alpha;
    ASSERT_EQ(app.OpenSource("Alpha", &alpha), TWRC_SUCCESS);
    const std::string a = std::to_string(Copy(alpha.Id));
    EXPECT_EQ(RecordLines("twain-open-sources"), (std::vector<std::string>{a + " Alpha"}));
    ASSERT_EQ(app.Enable(&alpha), TWRC_SUCCESS);
    EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &alpha), TWRC_FAILURE);
    TW_PENDINGXFERS pending = {};
    EXPECT_EQ(app.Call(&alpha, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending), TWRC_FAILURE);
    EXPECT_EQ(app.Disable(&alpha), TWRC_SUCCESS);
    EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &alpha), TWRC_SUCCESS);
    EXPECT_TRUE(RecordLines("twain-open-sources").empty()) << "closed: no longer listed";

    TW_IDENTITY beta;
    ASSERT_EQ(app.OpenSource("Beta", &beta), TWRC_SUCCESS);
    const std::string b = std::to_string(Copy(beta.Id));
    app.Unload();  // the library goes with Beta still open
    EXPECT_EQ(RecordLines("twain-open-sources"), (std::vector<std::string>{b + " Beta"}))
        << "a source the library took along was never closed";
    EXPECT_EQ(
        RecordLines("twain-calls"),
        (std::vector<std::string>{
            a + " MSG_OPENDS 3->4", a + " MSG_CLOSEDS refused " + std::to_string(TWCC_SEQERROR),
            a + " MSG_RESET refused " + std::to_string(TWCC_SEQERROR), a + " MSG_DISABLEDS 5->4",
            a + " MSG_CLOSEDS 4->3", b + " MSG_OPENDS 3->4"}));
    ForgetRecords();
}

TEST(DataSourceManager, TheLibraryIsFoundUnderItsWindowsNameAndOpensWithAParentWindow) {
    Describe(kSources);
    Application app;
    ASSERT_NE(app.entry, nullptr);
    TW_IDENTITY any = {};
    EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &any), TWRC_FAILURE);
    EXPECT_EQ(app.Condition(), TWCC_SEQERROR) << "state 2: not yet open";
    HWND none = nullptr;
    EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &none), TWRC_FAILURE);
    EXPECT_EQ(app.Condition(), TWCC_BADVALUE);
    EXPECT_EQ(app.Condition(), TWCC_SUCCESS) << "a condition is told once";
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    EXPECT_NE(app.identity.Id, 0u) << "the manager names the application";
    EXPECT_EQ(app.Open(), TWRC_FAILURE);
    EXPECT_EQ(app.Condition(), TWCC_SEQERROR);
    EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &app.window), TWRC_SUCCESS);
}

TEST(DataSourceManager, SourcesAreListedAndTheFirstIsTheDefaultUntilOneIsChosen) {
    Describe(kSources);
    Application app;
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    TW_IDENTITY source = {};
    ASSERT_EQ(app.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &source), TWRC_SUCCESS);
    EXPECT_STREQ(source.ProductName, "Alpha");
    EXPECT_STREQ(source.ProductFamily, "Virtual Scanners");
    EXPECT_EQ(Copy(source.SupportedGroups), static_cast<TW_UINT32>(DG_CONTROL | DG_IMAGE));
    ASSERT_EQ(app.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &source), TWRC_SUCCESS);
    EXPECT_STREQ(source.ProductName, "Beta");
    EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &source), TWRC_ENDOFLIST);
    ASSERT_EQ(app.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &source), TWRC_SUCCESS);
    EXPECT_STREQ(source.ProductName, "Alpha");

    std::thread user([] {
        HWND dialog = desktop_user::WaitForTwainSelection(std::chrono::seconds(5));
        desktop_user::ChooseTwainSource(dialog, u"Beta");
    });
    std::memset(&source, 0, sizeof(source));
    EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &source), TWRC_SUCCESS);
    user.join();
    EXPECT_STREQ(source.ProductName, "Beta");

    // Remembered by the session, not by the library.
    app.Unload();
    app.Load();
    app.identity.Id = 0;
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    std::memset(&source, 0, sizeof(source));
    ASSERT_EQ(app.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &source), TWRC_SUCCESS);
    EXPECT_STREQ(source.ProductName, "Beta");
}

TEST(DataSourceManager, NoSourcesMeansNoDefaultAndNoSelection) {
    Describe("");
    Application app;
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    TW_IDENTITY source = {};
    EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &source), TWRC_FAILURE);
    EXPECT_EQ(app.Condition(), TWCC_NODS);
    EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &source), TWRC_FAILURE);
    EXPECT_EQ(app.OpenSource("Alpha", &source), TWRC_FAILURE);
    EXPECT_EQ(app.Condition(), TWCC_NODS);
}

TEST(DataSourceManager, OpeningAndClosingSourcesFollowsTheStates) {
    Describe(kSources);
    Application app;
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    TW_IDENTITY alpha;
    ASSERT_EQ(app.OpenSource("Alpha", &alpha), TWRC_SUCCESS);
    EXPECT_NE(Copy(alpha.Id), 0u);
    TW_IDENTITY again;
    EXPECT_EQ(app.OpenSource("Alpha", &again), TWRC_FAILURE);
    EXPECT_EQ(app.Condition(), TWCC_MAXCONNECTIONS);
    EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &app.window), TWRC_FAILURE);
    EXPECT_EQ(app.Condition(), TWCC_SEQERROR) << "a source is still open";
    TW_IDENTITY stranger = {};
    stranger.Id = 9999;
    TW_PENDINGXFERS pending = {};
    EXPECT_EQ(app.Call(&stranger, DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending), TWRC_FAILURE);
    EXPECT_EQ(app.Condition(), TWCC_BADDEST);

    ASSERT_EQ(app.Enable(&alpha), TWRC_SUCCESS);
    EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &alpha), TWRC_FAILURE);
    EXPECT_EQ(app.Condition(), TWCC_SEQERROR) << "enabled: disable first";
    EXPECT_EQ(app.Disable(&alpha), TWRC_SUCCESS);
    EXPECT_EQ(app.Disable(&alpha), TWRC_FAILURE);
    EXPECT_EQ(app.Condition(&alpha), TWCC_SEQERROR);
    EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &alpha), TWRC_SUCCESS);
    EXPECT_EQ(app.Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &app.window), TWRC_SUCCESS);
}

TEST(DataSourceManager, CapabilitiesAreAnsweredInContainersAndSetOnlyInStateFour) {
    Describe(kSources);
    Application app;
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    TW_IDENTITY alpha;
    ASSERT_EQ(app.OpenSource("Alpha", &alpha), TWRC_SUCCESS);

    TW_CAPABILITY x = {ICAP_XRESOLUTION, TWON_DONTCARE16, nullptr};
    ASSERT_EQ(app.Call(&alpha, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &x), TWRC_SUCCESS);
    EXPECT_EQ(Copy(x.ConType), TWON_ENUMERATION);
    auto* list = static_cast<TW_ENUMERATION*>(GlobalLock(x.hContainer));
    EXPECT_EQ(Copy(list->ItemType), TWTY_FIX32);
    EXPECT_EQ(Copy(list->NumItems), 3u);
    EXPECT_EQ(Copy(list->CurrentIndex), 1u) << "200 dpi at open";
    TW_FIX32 last;
    std::memcpy(&last, list->ItemList + 8, 4);
    EXPECT_EQ(Copy(last.Whole), 300);
    GlobalUnlock(x.hContainer);
    GlobalFree(x.hContainer);

    TW_CAPABILITY y = {ICAP_YRESOLUTION, TWON_DONTCARE16, nullptr};
    ASSERT_EQ(app.Call(&alpha, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &y), TWRC_SUCCESS);
    EXPECT_EQ(Copy(y.ConType), TWON_RANGE);
    GlobalFree(y.hContainer);

    EXPECT_EQ(app.SetOne(&alpha, ICAP_XRESOLUTION, TWTY_FIX32, 300), TWRC_SUCCESS);
    // A strict source takes each capability in its own item type only.
    struct Mistyped {
        TW_UINT16 cap;
        TW_UINT16 itemType;
        TW_UINT32 item;
    };
    for (const Mistyped& m :
         {Mistyped{ICAP_XRESOLUTION, TWTY_UINT16, 100}, Mistyped{ICAP_YRESOLUTION, TWTY_INT16, 250},
          Mistyped{CAP_XFERCOUNT, TWTY_UINT16, 0xFFFF}, Mistyped{CAP_XFERCOUNT, TWTY_INT32, 1}}) {
        EXPECT_EQ(app.SetOne(&alpha, m.cap, m.itemType, m.item), TWRC_FAILURE)
            << m.cap << " as " << m.itemType;
        EXPECT_EQ(app.Condition(&alpha), TWCC_BADVALUE);
    }
    EXPECT_EQ(app.SetOne(&alpha, ICAP_XRESOLUTION, TWTY_FIX32, 100), TWRC_SUCCESS);
    EXPECT_EQ(app.SetOne(&alpha, ICAP_XRESOLUTION, TWTY_FIX32, 150), TWRC_FAILURE);
    EXPECT_EQ(app.Condition(&alpha), TWCC_BADVALUE);
    EXPECT_EQ(app.SetOne(&alpha, ICAP_YRESOLUTION, TWTY_FIX32, 250), TWRC_SUCCESS);
    EXPECT_EQ(app.SetOne(&alpha, ICAP_YRESOLUTION, TWTY_FIX32, 275), TWRC_FAILURE)
        << "off the range's steps";
    EXPECT_EQ(app.SetOne(&alpha, CAP_XFERCOUNT, TWTY_INT16, 0xFFFF), TWRC_SUCCESS);
    EXPECT_EQ(app.SetOne(&alpha, 0x1234, TWTY_UINT16, 1), TWRC_FAILURE);
    EXPECT_EQ(app.Condition(&alpha), TWCC_CAPUNSUPPORTED);

    ASSERT_EQ(app.Enable(&alpha), TWRC_SUCCESS);
    EXPECT_EQ(app.SetOne(&alpha, ICAP_XRESOLUTION, TWTY_FIX32, 300), TWRC_FAILURE);
    EXPECT_EQ(app.Condition(&alpha), TWCC_SEQERROR);
    TW_CAPABILITY current = {ICAP_XRESOLUTION, TWON_DONTCARE16, nullptr};
    ASSERT_EQ(app.Call(&alpha, DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT, &current), TWRC_SUCCESS);
    auto* one = static_cast<TW_ONEVALUE*>(GlobalLock(current.hContainer));
    EXPECT_EQ(Copy(one->Item), 100u) << "asking is allowed in state 5";
    GlobalUnlock(current.hContainer);
    GlobalFree(current.hContainer);
    app.Disable(&alpha);

    TW_IDENTITY beta;
    ASSERT_EQ(app.OpenSource("Beta", &beta), TWRC_SUCCESS);
    EXPECT_EQ(app.SetOne(&beta, CAP_XFERCOUNT, TWTY_INT16, 0xFFFF), TWRC_CHECKSTATUS);
    TW_CAPABILITY count = {CAP_XFERCOUNT, TWON_DONTCARE16, nullptr};
    ASSERT_EQ(app.Call(&beta, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &count), TWRC_SUCCESS);
    one = static_cast<TW_ONEVALUE*>(GlobalLock(count.hContainer));
    EXPECT_EQ(Copy(one->Item), 1u) << "what the source took";
    GlobalUnlock(count.hContainer);
    GlobalFree(count.hContainer);
}

TEST(DataSourceManager, TheSourcesDialogEventsAndNativeTransfers) {
    Describe(kSources);
    Application app;
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    TW_IDENTITY alpha;
    ASSERT_EQ(app.OpenSource("Alpha", &alpha), TWRC_SUCCESS);
    ASSERT_EQ(app.Enable(&alpha), TWRC_SUCCESS);
    HWND dialog = FindWindowW(u"#32770", u"Alpha");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), app.window);
    EXPECT_FALSE(IsWindowEnabled(app.window)) << "a modal interface disables its parent";

    MSG foreign = {app.window, WM_TIMER, 0, 0, 0, {0, 0}};
    TW_EVENT event = {&foreign, MSG_NULL};
    EXPECT_EQ(app.Call(&alpha, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_NOTDSEVENT);
    TW_IMAGEINFO info = {};
    EXPECT_EQ(app.Call(&alpha, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_FAILURE);
    EXPECT_EQ(app.Condition(&alpha), TWCC_SEQERROR) << "no transfer is ready in state 5";

    desktop_user::PressTwainScan(dialog);
    EXPECT_EQ(app.Events(&alpha), (std::vector<TW_UINT16>{MSG_XFERREADY}));
    ASSERT_EQ(app.Call(&alpha, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
    EXPECT_EQ(Copy(info.XResolution.Whole), 200);
    EXPECT_EQ(Copy(info.ImageWidth), 30);
    EXPECT_EQ(Copy(info.ImageLength), 20);
    EXPECT_EQ(Copy(info.BitsPerPixel), 8);
    EXPECT_EQ(Copy(info.PixelType), TWPT_GRAY);

    for (int remaining : {1, 0}) {
        TW_HANDLE dib = nullptr;
        ASSERT_EQ(app.Call(&alpha, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_XFERDONE);
        ASSERT_NE(dib, nullptr);
        EXPECT_EQ(GlobalSize(dib), 40u + 1024u + 32u * 20u);
        GlobalFree(dib);
        TW_PENDINGXFERS pending = {};
        ASSERT_EQ(app.Call(&alpha, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending),
                  TWRC_SUCCESS);
        EXPECT_EQ(Copy(pending.Count), remaining);
    }
    EXPECT_EQ(app.Events(&alpha), (std::vector<TW_UINT16>{MSG_CLOSEDSREQ}))
        << "a source whose dialog does not stay asks to be closed";
    EXPECT_EQ(app.Disable(&alpha), TWRC_SUCCESS);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_TRUE(IsWindowEnabled(app.window));
}

TEST(DataSourceManager, AFailedTransferLeavesItPendingUntilTheApplicationResets) {
    Describe(kSources);
    Application app;
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    TW_IDENTITY beta;
    ASSERT_EQ(app.OpenSource("Beta", &beta), TWRC_SUCCESS);
    ASSERT_EQ(app.Enable(&beta), TWRC_SUCCESS);
    desktop_user::PressTwainScan(FindWindowW(u"#32770", u"Beta"));
    ASSERT_EQ(app.Events(&beta), (std::vector<TW_UINT16>{MSG_XFERREADY}));
    TW_HANDLE dib = nullptr;
    EXPECT_EQ(app.Call(&beta, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib), TWRC_FAILURE);
    EXPECT_EQ(dib, nullptr);
    TW_PENDINGXFERS pending = {};
    ASSERT_EQ(app.Call(&beta, DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending), TWRC_SUCCESS);
    EXPECT_EQ(Copy(pending.Count), 2) << "still state 6";
    EXPECT_EQ(app.Call(&beta, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending), TWRC_SUCCESS);
    EXPECT_EQ(Copy(pending.Count), 0);
    EXPECT_EQ(app.Call(&beta, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending), TWRC_FAILURE);
    EXPECT_EQ(app.Condition(&beta), TWCC_SEQERROR);
}

TEST(DataSourceManager, UnloadingTheLibraryTakesAnOpenSourceAndItsDialogAlong) {
    Describe(kSources);
    Application app;
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    TW_IDENTITY alpha;
    ASSERT_EQ(app.OpenSource("Alpha", &alpha), TWRC_SUCCESS);
    ASSERT_EQ(app.Enable(&alpha), TWRC_SUCCESS);
    HWND dialog = FindWindowW(u"#32770", u"Alpha");
    ASSERT_NE(dialog, nullptr);
    app.Unload();
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_TRUE(IsWindowEnabled(app.window));
    app.Load();
    app.identity.Id = 0;
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    ASSERT_EQ(app.OpenSource("Alpha", &alpha), TWRC_SUCCESS) << "a fresh manager";
    ASSERT_EQ(app.Enable(&alpha), TWRC_SUCCESS);
    EXPECT_NE(FindWindowW(u"#32770", u"Alpha"), nullptr) << "its dialog again, after a reload";
}

TEST(DataSourceManager, ProductNamesAreEightBitStringsInTheAnsiCodePage) {
    Describe("[source]\nname = A source name far longer than thirty-three bytes\n");
    Application app;
    ASSERT_EQ(app.Open(), TWRC_SUCCESS);
    TW_IDENTITY source = {};
    ASSERT_EQ(app.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &source), TWRC_SUCCESS);
    EXPECT_EQ(std::strlen(source.ProductName), 33u);
    TW_IDENTITY opened;
    EXPECT_EQ(app.OpenSource(source.ProductName, &opened), TWRC_SUCCESS) << "found by that name";
}

}  // namespace
