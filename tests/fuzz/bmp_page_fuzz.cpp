// Page making from the scanned file that a scanner's driver wrote: any bytes
// as the bitmap in the Scanned folder, made into a grey page at one of the
// scanners' resolutions (the input's first byte picks it) and into a colour
// page.
#include <windows.h>

#include <filesystem>
#include <string>

#include "agent/imaging/fax_page.h"
#include "fuzz_support.h"
#include "support/temp_dir.h"

namespace {

using vexlo::fuzz::Require;

struct Folders {
    Folders() { std::filesystem::create_directories(dir.path() / "Processed"); }
    vexlo::test::TempDir dir;
};

// A page the call says it made is there; it goes before the next input.
void TakePage(HRESULT result, const std::u16string& page) {
    if (result == S_OK && !page.empty()) {
        Require(std::filesystem::remove(vexlo::fuzz::PathText(page)));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static constexpr int kResolutions[] = {200, 300, 150, 600, 75, 100, 400, 1};
    int dpi = kResolutions[vexlo::fuzz::TakeByte(data, size) % std::size(kResolutions)];
    Folders& folders = vexlo::fuzz::Kept<Folders>();
    vexlo::test::WriteFileBytes(folders.dir.path() / "scan.bmp", vexlo::fuzz::Text(data, size));
    std::u16string scanned = folders.dir.wide("scan.bmp");
    std::u16string processed = folders.dir.wide("Processed");

    std::u16string grey;
    TakePage(vexlo::DoGrayScale(scanned, processed, grey, dpi), grey);
    std::u16string colour;
    TakePage(vexlo::ConvertToJpeg(scanned, processed, colour), colour);
    return 0;
}
