// Printing bitmaps through the print dialog to the stand-in's printers: the
// sheet geometry of the layout, the cut line between short pages, a page
// that cannot be drawn, and nothing left behind in GDI objects or global
// memory. The dialog is answered from another thread.
#include <gtest/gtest.h>
#include <windows.h>
#include <commdlg.h>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <atomic>
#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "agent/imaging/print_drawing.h"
#include "agent/imaging/print_pages.h"
#include "support/temp_dir.h"
#include "support/test_window.h"

namespace {

using namespace std::chrono_literals;

using test_support::MakePlainWindow;
using test_support::SessionFolder;

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::u16string Wide(const std::string& text) {
    return {text.begin(), text.end()};
}

// Presses a button of the print dialog once it shows.
class DialogUser {
public:
    explicit DialogUser(int button)
        : thread([button] {
              auto until = std::chrono::steady_clock::now() + 10s;
              while (std::chrono::steady_clock::now() < until) {
                  HWND dialog = FindWindowW(u"#32770", u"Print");
                  if (dialog != nullptr && IsWindowVisible(dialog)) {
                      PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
                      return;
                  }
                  std::this_thread::sleep_for(10ms);
              }
          }) {}
    ~DialogUser() { thread.join(); }

private:
    std::thread thread;
};

class PrintPagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::remove(SessionFolder() / "printers");
        std::filesystem::remove_all(SessionFolder() / "spool");
        owner = MakePlainWindow(u"agent");
        ASSERT_NE(owner, nullptr);
        blocks = W32GlobalBlockCount();
        objects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    }
    void TearDown() override {
        EXPECT_EQ(W32GlobalBlockCount(), blocks);
        EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), objects);
        DestroyWindow(owner);
    }
    // A PNG page of that size (white with a grey band), converted to the
    // bitmap that PrintPages takes.
    std::u16string Page(const std::string& name, int width, int height) {
        cv::Mat image(height, width, CV_8UC3, cv::Scalar(255, 255, 255));
        image.rowRange(height / 3, height / 2).setTo(cv::Scalar(90, 90, 90));
        std::string png = (folder.path() / (name + ".png")).string();
        EXPECT_TRUE(cv::imwrite(png, image));
        std::u16string bitmap;
        EXPECT_EQ(vexlo::ConvertPngToBmp(Wide(png), bitmap), S_OK);
        EXPECT_EQ(bitmap, Wide((folder.path() / (name + ".bmp")).string()));
        return bitmap;
    }
    std::string Job() { return ReadText(SessionFolder() / "spool" / "1" / "job.txt"); }

    vexlo::test::TempDir folder;
    HWND owner = nullptr;
    DWORD blocks = 0;
    DWORD objects = 0;
};

void ExpectInOrder(const std::string& job, std::initializer_list<const char*> lines) {
    size_t at = 0;
    for (const char* line : lines) {
        size_t found = job.find(line, at);
        ASSERT_NE(found, std::string::npos) << line << "\nin\n" << job;
        at = found;
    }
}

TEST_F(PrintPagesTest, TheWorkedExampleHoldsOnTheDefaultPrinter) {
    std::deque<std::u16string> pages{Page("a", 1678, 600), Page("b", 1678, 600)};
    {
        DialogUser user(IDOK);
        EXPECT_EQ(vexlo::PrintPages(owner, pages), S_OK);
    }
    ExpectInOrder(
        Job(),
        {"devmode orientation 1 print-quality -1 dpi 600 fields 0x00000401",
         "StartPage 1 printable 4800 x 6800", "StretchBlt 0 0 4800 1716 from 27 36 1624 528",
         "StretchBlt 0 1716 4800 116 from 0 0 1728 42",
         "StretchBlt 0 1832 4800 1716 from 27 36 1624 528", "EndPage 1 sheet-001.png", "EndDoc"});
    EXPECT_EQ(Job().find("StartPage 2"), std::string::npos);
}

TEST_F(PrintPagesTest, APortraitRequestOnALandscapePrinterPrintsPortrait) {
    std::ofstream(SessionFolder() / "printers")
        << "[printer]\nname = Wide\norientation = landscape\ndefault = yes\n";
    std::deque<std::u16string> pages{Page("tall", 1678, 2373)};
    {
        DialogUser user(IDOK);
        EXPECT_EQ(vexlo::PrintPages(owner, pages), S_OK);
    }
    ExpectInOrder(Job(), {"printer \"Wide\"", "devmode orientation 1 print-quality -1",
                          "StartPage 1 printable 4800 x 6800 physical 4960 x 7016 offset 80 108",
                          "StretchBlt 0 0 4800 6788 from 27 36 1624 2301", "EndDoc"});
}

TEST_F(PrintPagesTest, APageThatCannotBeLoadedGetsNoSheetAndFailsThePrint) {
    std::deque<std::u16string> pages{Page("a", 1678, 2373),
                                     Wide((folder.path() / "missing.bmp").string()),
                                     Page("c", 1678, 2373)};
    {
        DialogUser user(IDOK);
        EXPECT_EQ(vexlo::PrintPages(owner, pages), E_FAIL);
    }
    std::string job = Job();
    ExpectInOrder(job, {"EndPage 1 sheet-001.png", "EndPage 2 sheet-002.png", "EndDoc"});
    EXPECT_EQ(job.find("StartPage 3"), std::string::npos) << job;
}

TEST_F(PrintPagesTest, CancelIsAccessDeniedAndPrintsNothing) {
    std::deque<std::u16string> pages{Page("a", 1678, 600)};
    {
        DialogUser user(IDCANCEL);
        EXPECT_EQ(vexlo::PrintPages(owner, pages), E_ACCESSDENIED);
    }
    EXPECT_FALSE(std::filesystem::exists(SessionFolder() / "spool" / "1"));
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(pages.front())));
    vexlo::DeleteFiles(pages);
    EXPECT_TRUE(pages.empty());
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()) ||
                !std::filesystem::exists(folder.path() / "a.bmp"));
}

TEST_F(PrintPagesTest, AStopBeforeTheDialogPrintsNothing) {
    std::deque<std::u16string> pages{Page("a", 1678, 600)};
    EXPECT_EQ(vexlo::PrintPages(owner, pages, [] { return true; }), E_ABORT);
    EXPECT_FALSE(std::filesystem::exists(SessionFolder() / "spool" / "1"));
}

TEST(ConvertPngToBmp, NamesThatCannotBeFormedOrLoadedFail) {
    vexlo::test::TempDir folder;
    std::u16string bitmap = u"unchanged";
    EXPECT_EQ(vexlo::ConvertPngToBmp(u"nofolder.png", bitmap), E_FAIL);
    // A '.' in a folder name is no extension of the file.
    std::filesystem::create_directories(folder.path() / "a.b");
    EXPECT_EQ(vexlo::ConvertPngToBmp(Wide((folder.path() / "a.b" / "page").string()), bitmap),
              E_FAIL);
    EXPECT_EQ(vexlo::ConvertPngToBmp(Wide((folder.path() / "missing.png").string()), bitmap),
              E_FAIL);
    std::ofstream(folder.path() / "text.png") << "not an image";
    EXPECT_EQ(vexlo::ConvertPngToBmp(Wide((folder.path() / "text.png").string()), bitmap), E_FAIL);
    EXPECT_EQ(bitmap, u"unchanged");
}

TEST(CutLine, TheResourceIsA1728By42RedDashDotLineOnWhite) {
    HBITMAP bitmap = nullptr;
    ASSERT_EQ(vexlo::LoadCutLineBitmap(vexlo::ImagingModule(), &bitmap), S_OK);
    BITMAP info = {};
    ASSERT_EQ(GetObjectW(bitmap, sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.bmWidth, 1728);
    EXPECT_EQ(info.bmHeight, 42);
    EXPECT_EQ(info.bmBitsPixel, 24);
    EXPECT_EQ(W32GetBitmapPixel(bitmap, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(W32GetBitmapPixel(bitmap, 1, 20), RGB(237, 28, 36));
    EXPECT_EQ(W32GetBitmapPixel(bitmap, 50, 20), RGB(255, 255, 255));  // a gap
    DeleteObject(bitmap);
}

}  // namespace
