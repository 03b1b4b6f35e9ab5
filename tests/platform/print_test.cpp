// The printing behaviour the agent relies on: the session's printers and
// their geometry, ResetDCW, documents and pages with their failures, the
// spool, and PrintDlgExW as a modal window with its documented errors.
#include <gtest/gtest.h>
#include <windows.h>
#include <commdlg.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "support/test_window.h"

namespace {

using namespace std::chrono_literals;

using test_support::MakePlainWindow;
using test_support::SessionFolder;

void WritePrinters(const std::string& text) {
    std::ofstream(SessionFolder() / "printers") << text;
}

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class Printing : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::remove(SessionFolder() / "printers");
        std::filesystem::remove_all(SessionFolder() / "spool");
        blocks = W32GlobalBlockCount();
        objects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    }
    void TearDown() override {
        // Nothing leaks: every DC and block handed out went back.
        EXPECT_EQ(W32GlobalBlockCount(), blocks);
        EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), objects);
    }
    DWORD blocks = 0;
    DWORD objects = 0;
};

TEST_F(Printing, TheDefaultPrinterIsA4At600Dpi) {
    HDC dc = CreateDCW(u"WINSPOOL", u"Virtual A4", nullptr, nullptr);
    ASSERT_NE(dc, nullptr);
    const std::pair<int, int> caps[] = {
        {HORZRES, 4800},        {VERTRES, 6800},       {PHYSICALWIDTH, 4960},
        {PHYSICALHEIGHT, 7016}, {PHYSICALOFFSETX, 80}, {PHYSICALOFFSETY, 108},
        {LOGPIXELSX, 600},      {LOGPIXELSY, 600},
    };
    for (auto [index, value] : caps) {
        EXPECT_EQ(GetDeviceCaps(dc, index), value) << index;
    }
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_EQ(CreateDCW(u"WINSPOOL", u"No Such Printer", nullptr, nullptr), nullptr);
}

TEST_F(Printing, ResetDcHonoursTheFieldsThatDmFieldsNames) {
    WritePrinters("[printer]\nname = Wide\norientation = landscape\n");
    HDC dc = CreateDCW(u"WINSPOOL", u"Wide", nullptr, nullptr);
    ASSERT_NE(dc, nullptr);
    // A landscape driver swaps what the device answers.
    EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 6800);
    EXPECT_EQ(GetDeviceCaps(dc, PHYSICALOFFSETX), 108);

    DEVMODEW mode = {};
    mode.dmSize = sizeof mode;
    mode.dmOrientation = DMORIENT_PORTRAIT;
    mode.dmPrintQuality = 300;
    mode.dmFields = 0;  // nothing named: nothing changes
    EXPECT_EQ(ResetDCW(dc, &mode), dc);
    EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 6800);

    mode.dmFields = DM_ORIENTATION;
    EXPECT_EQ(ResetDCW(dc, &mode), dc);
    EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 4800);
    EXPECT_EQ(GetDeviceCaps(dc, VERTRES), 6800);

    // A positive quality is a resolution; a named one leaves it alone.
    mode.dmFields = DM_PRINTQUALITY;
    EXPECT_EQ(ResetDCW(dc, &mode), dc);
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 300);
    EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 2400);
    mode.dmPrintQuality = DMRES_DRAFT;
    EXPECT_EQ(ResetDCW(dc, &mode), dc);
    EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 300);
    EXPECT_EQ(ResetDCW(dc, nullptr), nullptr);
    DeleteDC(dc);
}

TEST_F(Printing, ADocumentLandsInTheSpoolWithItsSheets) {
    HDC dc = CreateDCW(u"WINSPOOL", u"Virtual A4", nullptr, nullptr);
    ASSERT_NE(dc, nullptr);
    EXPECT_LE(StartPage(dc), 0);  // no document yet
    DOCINFOW info = {sizeof info, u"Test document", nullptr, nullptr, 0};
    ASSERT_GT(StartDocW(dc, &info), 0);
    ASSERT_GT(StartPage(dc), 0);
    // A red 2x2 bitmap stretched over the top-left printable quarter.
    BITMAPINFO bmi = {};
    bmi.bmiHeader = {sizeof(BITMAPINFOHEADER), 2, -2, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    for (int i = 0; i < 2; ++i) {
        auto* row = static_cast<BYTE*>(bits) + i * 8;
        for (int x = 0; x < 2; ++x) {
            row[x * 3] = 0;
            row[x * 3 + 1] = 0;
            row[x * 3 + 2] = 255;
        }
    }
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    EXPECT_TRUE(StretchBlt(dc, 0, 0, 2400, 3400, memory, 0, 0, 2, 2, SRCCOPY));
    SelectObject(memory, previous);
    DeleteDC(memory);
    DeleteObject(bitmap);
    EXPECT_EQ(ResetDCW(dc, nullptr), nullptr);
    ASSERT_GT(EndPage(dc), 0);
    ASSERT_GT(EndDoc(dc), 0);
    DeleteDC(dc);

    std::string job = ReadText(SessionFolder() / "spool" / "1" / "job.txt");
    EXPECT_NE(job.find("document \"Test document\""), std::string::npos) << job;
    EXPECT_NE(job.find("StretchBlt 0 0 2400 3400 from 0 0 2 2"), std::string::npos) << job;
    EXPECT_NE(job.find("EndPage 1 sheet-001.png 620 x 877"), std::string::npos) << job;
    EXPECT_NE(job.find("EndDoc"), std::string::npos) << job;
    EXPECT_TRUE(std::filesystem::exists(SessionFolder() / "spool" / "1" / "sheet-001.png"));
}

TEST_F(Printing, InjectedFailuresRefuseTheirCall) {
    const char* failures[] = {"start-doc", "start-page", "end-page", "end-doc"};
    for (const char* failure : failures) {
        WritePrinters(std::string("[printer]\nname = Broken\nfail = ") + failure + "\n");
        HDC dc = CreateDCW(u"WINSPOOL", u"Broken", nullptr, nullptr);
        ASSERT_NE(dc, nullptr);
        DOCINFOW info = {sizeof info, u"Doc", nullptr, nullptr, 0};
        int doc = StartDocW(dc, &info);
        EXPECT_EQ(doc <= 0, std::string(failure) == "start-doc") << failure;
        int start = StartPage(dc);
        EXPECT_EQ(start <= 0, doc <= 0 || std::string(failure) == "start-page") << failure;
        if (start > 0) {
            EXPECT_EQ(EndPage(dc) <= 0, std::string(failure) == "end-page") << failure;
            EXPECT_EQ(EndDoc(dc) <= 0, std::string(failure) == "end-doc") << failure;
        }
        AbortDoc(dc);
        DeleteDC(dc);
    }
}

// Runs `act` on the print dialog once it shows, on another thread.
class DialogUser {
public:
    explicit DialogUser(std::function<void(HWND)> act)
        : thread([this, act = std::move(act)] {
              auto until = std::chrono::steady_clock::now() + 10s;
              while (std::chrono::steady_clock::now() < until) {
                  HWND dialog = FindWindowW(u"#32770", u"Print");
                  if (dialog != nullptr && IsWindowVisible(dialog)) {
                      act(dialog);
                      return;
                  }
                  std::this_thread::sleep_for(10ms);
              }
          }) {}
    ~DialogUser() { thread.join(); }

private:
    std::thread thread;
};

void Press(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

class PrintDialog : public Printing {
protected:
    void SetUp() override {
        Printing::SetUp();
        owner = MakePlainWindow(u"owner");
        ASSERT_NE(owner, nullptr);
        dialog.lStructSize = sizeof dialog;
        dialog.hwndOwner = owner;
        dialog.Flags = PD_RETURNDC | PD_NOPAGENUMS | PD_NOSELECTION;
        dialog.nMaxPage = 1;
        dialog.nMinPage = 1;
        dialog.nStartPage = START_PAGE_GENERAL;
    }
    void TearDown() override {
        GlobalFree(dialog.hDevMode);
        GlobalFree(dialog.hDevNames);
        if (dialog.hDC != nullptr) {
            DeleteDC(dialog.hDC);
        }
        DestroyWindow(owner);
        Printing::TearDown();
    }
    HWND owner = nullptr;
    PRINTDLGEXW dialog = {};
};

TEST_F(PrintDialog, DocumentedErrors) {
    EXPECT_EQ(PrintDlgExW(nullptr), E_POINTER);
    PRINTDLGEXW wrong = dialog;
    wrong.lStructSize = 8;
    EXPECT_EQ(PrintDlgExW(&wrong), E_INVALIDARG);
    wrong = dialog;
    wrong.nMaxPageRanges = 2;  // and no array
    EXPECT_EQ(PrintDlgExW(&wrong), E_INVALIDARG);
    wrong = dialog;
    wrong.hwndOwner = nullptr;
    EXPECT_EQ(PrintDlgExW(&wrong), E_HANDLE);
    WritePrinters("# no printer at all\n");
    EXPECT_EQ(PrintDlgExW(&dialog), E_FAIL);
    WritePrinters("[dialog]\nfail = yes\n[printer]\nname = P\n");
    EXPECT_EQ(PrintDlgExW(&dialog), E_FAIL);
}

TEST_F(PrintDialog, PrintHandsBackTheChosenPrinterAndItsDc) {
    WritePrinters(
        "[printer]\nname = First\n[printer]\nname = Second\ndefault = yes\n"
        "orientation = landscape\n");
    std::atomic<bool> ownerDisabled{false};
    {
        DialogUser user([&](HWND shown) {
            ownerDisabled = !IsWindowEnabled(owner);
            Press(shown, IDOK);
        });
        ASSERT_EQ(PrintDlgExW(&dialog), S_OK);
    }
    EXPECT_TRUE(ownerDisabled);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(dialog.dwResultAction, static_cast<DWORD>(PD_RESULT_PRINT));
    ASSERT_NE(dialog.hDC, nullptr);
    EXPECT_EQ(GetDeviceCaps(dialog.hDC, HORZRES), 6800);  // the landscape default

    // Movable blocks that the caller locks and frees.
    auto* mode = static_cast<DEVMODEW*>(GlobalLock(dialog.hDevMode));
    ASSERT_NE(mode, nullptr);
    EXPECT_EQ(std::u16string(mode->dmDeviceName), u"Second");
    EXPECT_EQ(mode->dmFields, static_cast<DWORD>(DM_ORIENTATION | DM_PRINTQUALITY));
    EXPECT_EQ(mode->dmOrientation, DMORIENT_LANDSCAPE);
    EXPECT_NE(static_cast<void*>(mode), static_cast<void*>(dialog.hDevMode));
    GlobalUnlock(dialog.hDevMode);
    auto* names = static_cast<const char16_t*>(GlobalLock(dialog.hDevNames));
    ASSERT_NE(names, nullptr);
    DEVNAMES header;
    memcpy(&header, names, sizeof header);
    EXPECT_EQ(std::u16string(names + header.wDeviceOffset), u"Second");
    EXPECT_EQ(header.wDefault, DN_DEFAULTPRN);
    GlobalUnlock(dialog.hDevNames);
}

TEST_F(PrintDialog, ApplyThenCancelAnswersApplyWithoutADc) {
    {
        DialogUser user([&](HWND shown) {
            Press(shown, 1001);  // Apply: the dialog stays open
            std::this_thread::sleep_for(100ms);
            EXPECT_TRUE(IsWindow(shown));
            Press(shown, IDCANCEL);
        });
        ASSERT_EQ(PrintDlgExW(&dialog), S_OK);
    }
    EXPECT_EQ(dialog.dwResultAction, static_cast<DWORD>(PD_RESULT_APPLY));
    EXPECT_NE(dialog.hDevMode, nullptr);
    EXPECT_EQ(dialog.hDC, nullptr);
}

TEST_F(PrintDialog, CancelAndCloseFromAnotherThreadLeaveTheBlocksAsTheyWere) {
    for (UINT how : {0u, 1u, 2u}) {
        DialogUser user([&](HWND shown) {
            if (how == 0) {
                Press(shown, IDCANCEL);
            } else if (how == 1) {
                PostMessageW(shown, WM_CLOSE, 0, 0);
            } else {
                PostMessageW(shown, WM_KEYDOWN, VK_ESCAPE, 0);
            }
        });
        ASSERT_EQ(PrintDlgExW(&dialog), S_OK);
        EXPECT_EQ(dialog.dwResultAction, static_cast<DWORD>(PD_RESULT_CANCEL)) << how;
        EXPECT_EQ(dialog.hDevMode, nullptr);
        EXPECT_EQ(dialog.hDevNames, nullptr);
        EXPECT_EQ(dialog.hDC, nullptr);
    }
}

TEST_F(PrintDialog, ATopmostOwnerMakesTheDialogTopmost) {
    SetWindowPos(owner, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    std::atomic<bool> topmost{false};
    {
        DialogUser user([&](HWND shown) {
            topmost = (GetWindowLongPtrW(shown, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
            Press(shown, IDCANCEL);
        });
        ASSERT_EQ(PrintDlgExW(&dialog), S_OK);
    }
    EXPECT_TRUE(topmost);
}

TEST(OwnedWindows, DestroyingAnOwnerUnlinksTheOwnedWindowsOfOtherThreads) {
    HWND owner = MakePlainWindow(u"owner");
    ASSERT_NE(owner, nullptr);
    std::atomic<HWND> owned{nullptr};
    std::atomic<bool> release{false};
    std::thread other([&] {
        owned = MakePlainWindow(u"owned", owner);
        while (!release) {
            std::this_thread::sleep_for(5ms);
        }
        EXPECT_TRUE(IsWindow(owned));
        EXPECT_EQ(GetWindow(owned, GW_OWNER), nullptr);
        DestroyWindow(owned);
    });
    while (owned == nullptr) {
        std::this_thread::sleep_for(5ms);
    }
    HWND sameThread = MakePlainWindow(u"mine", owner);
    DestroyWindow(owner);
    EXPECT_FALSE(IsWindow(sameThread));  // owned on the owner's own thread: destroyed
    EXPECT_TRUE(IsWindow(owned));
    release = true;
    other.join();
}

}  // namespace
