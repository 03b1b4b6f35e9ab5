#include "agent/imaging/print_pages.h"

#include <opencv2/core.hpp>

#include <cstddef>
#include <new>

#include "agent/imaging/ansi_path.h"
#include "agent/imaging/image_adapter.h"
#include "agent/imaging/print_drawing.h"
#include "agent/imaging/gdi_handles.h"
#include "framework/raii.h"

namespace vexlo {
namespace {

constexpr DWORD kPrintDialogFlags = PD_NOSELECTION | PD_NOPAGENUMS | PD_RETURNDC |
                                    PD_HIDEPRINTTOFILE | PD_NOCURRENTPAGE;  // 0x0090010C
static_assert(kPrintDialogFlags == 0x0090010C);

const char16_t kDocumentName[] = u"Vexlo print";

// "<folder>/<base name>.bmp"; empty when the path has no separator or its
// file name no '.' (a '.' in a folder name makes no extension).
std::u16string BitmapNameFor(const std::u16string& pngFile) {
    size_t separator = pngFile.rfind(kPathSeparator);
    size_t dot = pngFile.rfind(u'.');
    if (separator == std::u16string::npos || dot == std::u16string::npos || dot < separator) {
        return {};
    }
    return pngFile.substr(0, separator) + kPathSeparator +
           pngFile.substr(separator + 1, dot - separator - 1) + u".bmp";
}

// Portrait and draft quality, as far as the driver's dmFields lets them
// through. A device mode that is absent or cannot be locked is skipped.
void ApplyPortraitDraft(HDC printer, HGLOBAL devMode) {
    if (devMode == nullptr) {
        return;
    }
    fw::unique_global_lock lock(devMode);
    auto* mode = lock.as<DEVMODEW>();
    if (mode == nullptr || lock.size() < offsetof(DEVMODEW, dmPrintQuality) + sizeof(short)) {
        return;
    }
    mode->dmOrientation = DMORIENT_PORTRAIT;
    mode->dmPrintQuality = DMRES_DRAFT;
    ResetDCW(printer, mode);
}  // unlocked here, after ResetDCW

bool CanLoad(const std::u16string& imageFile) {
    HBITMAP loaded = nullptr;
    if (FAILED(CreateDibFromImageFile(imageFile, &loaded))) {
        return false;
    }
    unique_hbitmap bitmap(loaded);
    return true;
}

// The sheets of one document. `refused` is set when the printer refused a
// page, which ends the document.
HRESULT DrawSheets(HDC printer, std::deque<std::u16string>& files, const StopTest& stop,
                   bool* refused) {
    bool pageFailed = false;
    bool open = false;  // a sheet is open
    int y = 0;
    auto endSheet = [&] {
        open = false;
        y = 0;
        if (EndPage(printer) <= 0) {
            *refused = true;
        }
        return !*refused;
    };
    while (!files.empty()) {
        if (stop && stop()) {
            return E_ABORT;
        }
        std::u16string path = std::move(files.front());
        files.pop_front();
        if (open) {
            int below = DrawCutLine(printer, y);
            if (below == -1) {
                // No cut line: the page goes on a sheet of its own.
                if (!endSheet()) {
                    return E_FAIL;
                }
            } else {
                y = below;
            }
        }
        if (!open) {
            // A page that cannot be loaded gets no sheet.
            if (!CanLoad(path)) {
                pageFailed = true;
                continue;
            }
            if (BeginPrintPage(printer) <= 0) {
                *refused = true;
                return E_FAIL;
            }
            open = true;
        }
        y = DrawPageImage(printer, path, y);
        if (y == -1) {
            pageFailed = true;
        }
        if (y == -1 || files.empty() || !NextImageFits(printer, y, files.front())) {
            if (!endSheet()) {
                return E_FAIL;
            }
        }
    }
    return pageFailed ? E_FAIL : S_OK;
}

}  // namespace

HRESULT ConvertPngToBmp(const std::u16string& pngFile, std::u16string& bitmapFile) {
    std::u16string name = BitmapNameFor(pngFile);
    if (name.empty()) {
        return E_FAIL;
    }
    try {
        cv::Mat image = imaging::LoadColorImage(imaging::ToAnsiPath(pngFile));
        if (image.empty()) {
            return E_FAIL;
        }
        std::string target = imaging::ToAnsiPath(name);
        if (target.empty() || !imaging::SaveImage(target, image)) {
            return E_FAIL;  // a bitmap that was not saved is no page
        }
    } catch (const cv::Exception&) {
        return E_FAIL;
    } catch (const std::bad_alloc&) {
        return E_FAIL;
    }
    bitmapFile = name;
    return S_OK;
}

HRESULT PrintPages(HWND owner, std::deque<std::u16string> files, const StopTest& stop) {
    fw::unique_hglobal ranges(GlobalAlloc(GPTR, sizeof(PRINTPAGERANGE) * files.size()));
    if (!ranges) {
        return E_OUTOFMEMORY;
    }
    PRINTDLGEXW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.Flags = kPrintDialogFlags;
    dialog.nMaxPageRanges = static_cast<DWORD>(files.size());
    dialog.lpPageRanges = static_cast<LPPRINTPAGERANGE>(ranges.get());  // a fixed block
    dialog.nMinPage = 1;
    dialog.nMaxPage = 1000;
    dialog.nCopies = 1;
    dialog.nStartPage = START_PAGE_GENERAL;
    if (stop && stop()) {
        return E_ABORT;
    }
    HRESULT shown = PrintDlgExW(&dialog);
    // What the dialog handed back goes on every road, the DC included.
    fw::unique_hglobal devMode(dialog.hDevMode);
    fw::unique_hglobal devNames(dialog.hDevNames);
    unique_hdc printer(dialog.hDC);
    if (FAILED(shown) || dialog.dwResultAction != PD_RESULT_PRINT) {
        return E_ACCESSDENIED;
    }
    if (!printer) {
        return E_FAIL;
    }
    if (stop && stop()) {
        return E_ABORT;
    }
    ApplyPortraitDraft(printer.get(), devMode.get());

    DOCINFOW document = {};
    document.cbSize = sizeof document;
    document.lpszDocName = kDocumentName;
    if (StartDocW(printer.get(), &document) <= 0) {
        AbortDoc(printer.get());
        return E_FAIL;
    }
    bool refused = false;
    HRESULT drawn = DrawSheets(printer.get(), files, stop, &refused);
    if (refused || drawn == E_ABORT) {
        AbortDoc(printer.get());
        return drawn;
    }
    if (EndDoc(printer.get()) <= 0) {
        AbortDoc(printer.get());
        return E_FAIL;
    }
    return drawn;
}

void DeleteFiles(std::deque<std::u16string>& files) {
    while (!files.empty()) {
        DeleteFileW(files.front().c_str());
        files.pop_front();
    }
}

}  // namespace vexlo
