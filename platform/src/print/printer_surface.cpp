#include "print/printer_surface.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "internal/text.h"
#include "print/sheet_writer.h"
#include "w32/kernel.h"

namespace w32::print {
namespace {

// The sheet PNG's longer side stays near this many pixels.
constexpr int kSheetSide = 1000;

std::string Narrow(const std::u16string& text) {
    return w32::FromWide(CP_UTF8, text);
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

// A new numbered folder in the session's spool: numbers are taken by mkdir,
// so two processes never share one.
std::string NewJobFolder(int* job) {
    std::string session = SessionPath();
    if (session.empty()) {
        return {};
    }
    std::string spool = session + "/spool";
    mkdir(spool.c_str(), 0700);
    for (int n = 1; n < 100000; ++n) {
        std::string folder = spool + "/" + std::to_string(n);
        if (mkdir(folder.c_str(), 0700) == 0) {
            *job = n;
            return folder;
        }
        if (errno != EEXIST) {
            return {};
        }
    }
    return {};
}

}  // namespace

PrinterSurface::PrinterSurface(PrinterDescription description)
    : printer(std::move(description)),
      orientation(printer.orientation),
      dpi(printer.dpi),
      quality(static_cast<short>(printer.dpi)) {}

PrinterSurface::~PrinterSurface() {
    // A DC deleted with its document open: the job is abandoned.
    if (state != State::kIdle && record != nullptr) {
        Record("AbortDoc (DC deleted)");
    }
    CloseRecord();
}

PrinterSurface::Geometry PrinterSurface::GeometryLocked() const {
    auto scaled = [&](int value) {
        return static_cast<int>(static_cast<long long>(value) * dpi / printer.dpi);
    };
    Geometry g{scaled(printer.horzRes),       scaled(printer.vertRes),
               scaled(printer.physicalWidth), scaled(printer.physicalHeight),
               scaled(printer.offsetX),       scaled(printer.offsetY)};
    if (orientation == DMORIENT_LANDSCAPE) {
        std::swap(g.horz, g.vert);
        std::swap(g.physW, g.physH);
        std::swap(g.offX, g.offY);
    }
    return g;
}

int PrinterSurface::Caps(int index) {
    std::lock_guard<std::mutex> guard(lock);
    Geometry g = GeometryLocked();
    switch (index) {
        case HORZRES:
            return g.horz;
        case VERTRES:
            return g.vert;
        case PHYSICALWIDTH:
            return g.physW;
        case PHYSICALHEIGHT:
            return g.physH;
        case PHYSICALOFFSETX:
            return g.offX;
        case PHYSICALOFFSETY:
            return g.offY;
        case LOGPIXELSX:
        case LOGPIXELSY:
            return dpi;
        case HORZSIZE:
            return static_cast<int>(g.horz * 254LL / (dpi * 10LL));
        case VERTSIZE:
            return static_cast<int>(g.vert * 254LL / (dpi * 10LL));
        case BITSPIXEL:
            return 24;
        case PLANES:
            return 1;
        default:
            return 0;
    }
}

DEVMODEW PrinterSurface::DeviceMode() {
    std::lock_guard<std::mutex> guard(lock);
    DEVMODEW mode = {};
    size_t length = std::min<size_t>(printer.name.size(), CCHDEVICENAME - 1);
    std::copy_n(printer.name.begin(), length, mode.dmDeviceName);
    mode.dmSpecVersion = 0x0401;
    mode.dmSize = sizeof(DEVMODEW);
    mode.dmFields = printer.dmFields;
    mode.dmOrientation = orientation;
    mode.dmPaperSize = DMPAPER_A4;
    mode.dmCopies = 1;
    mode.dmPrintQuality = quality;
    mode.dmYResolution = static_cast<short>(dpi);
    return mode;
}

bool PrinterSurface::Reset(const DEVMODEW& mode) {
    std::lock_guard<std::mutex> guard(lock);
    if (state == State::kPage) {
        return false;
    }
    if ((mode.dmFields & DM_ORIENTATION) != 0 &&
        (mode.dmOrientation == DMORIENT_PORTRAIT || mode.dmOrientation == DMORIENT_LANDSCAPE)) {
        orientation = mode.dmOrientation;
    }
    if ((mode.dmFields & DM_PRINTQUALITY) != 0) {
        quality = mode.dmPrintQuality;
        // A positive quality is a resolution in dpi; the named qualities
        // (draft, low, ...) leave the resolution to the driver.
        if (mode.dmPrintQuality > 0 && mode.dmPrintQuality <= 4800) {
            dpi = mode.dmPrintQuality;
        }
    }
    if (record != nullptr) {
        Record(Format("ResetDC orientation %d print-quality %d fields 0x%08X", mode.dmOrientation,
                      mode.dmPrintQuality, mode.dmFields));
    }
    return true;
}

void PrinterSurface::Record(const std::string& line) {
    if (record != nullptr) {
        fprintf(record, "%s\n", line.c_str());
        fflush(record);  // a process that dies still leaves its record
    }
}

void PrinterSurface::CloseRecord() {
    if (record != nullptr) {
        fclose(record);
        record = nullptr;
    }
}

bool PrinterSurface::Fails(const char* what, int page) const {
    if (printer.failures.count(what) == 0) {
        return false;
    }
    return page == 0 || page == printer.failPage;
}

int PrinterSurface::StartDoc(const DOCINFOW& info) {
    std::lock_guard<std::mutex> guard(lock);
    if (state != State::kIdle && state != State::kRefused) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return SP_ERROR;
    }
    CloseRecord();
    int job = 0;
    jobFolder = NewJobFolder(&job);
    if (!jobFolder.empty()) {
        record = fopen((jobFolder + "/job.txt").c_str(), "w");
    }
    pages = 0;
    std::u16string name = info.lpszDocName != nullptr ? info.lpszDocName : u"";
    Record("document \"" + Narrow(name) + "\"");
    Record("printer \"" + Narrow(printer.name) + "\"");
    Record(Format("devmode orientation %d print-quality %d dpi %d fields 0x%08X", orientation,
                  quality, dpi, printer.dmFields));
    if (Fails("start-doc", 0)) {
        Record("StartDoc refused");
        state = State::kRefused;
        SetLastError(ERROR_GEN_FAILURE);
        return SP_ERROR;
    }
    Record("StartDoc");
    state = State::kDocument;
    return job > 0 ? job : 1;
}

int PrinterSurface::StartPage() {
    std::lock_guard<std::mutex> guard(lock);
    if (state != State::kDocument) {
        Record("StartPage refused (no document)");
        SetLastError(ERROR_INVALID_PARAMETER);
        return SP_ERROR;
    }
    int page = pages + 1;
    if (Fails("start-page", page)) {
        Record(Format("StartPage %d refused", page));
        SetLastError(ERROR_GEN_FAILURE);
        return SP_ERROR;
    }
    pages = page;
    Geometry g = GeometryLocked();
    scale = std::max(1, (std::max(g.physW, g.physH) + kSheetSide - 1) / kSheetSide);
    sheetWidth = std::max(1, (g.physW + scale - 1) / scale);
    sheetHeight = std::max(1, (g.physH + scale - 1) / scale);
    sheetOffsetX = g.offX;
    sheetOffsetY = g.offY;
    sheet.assign(static_cast<size_t>(sheetWidth) * sheetHeight * 3, 0xFF);
    Record(Format("StartPage %d printable %d x %d physical %d x %d offset %d %d scale 1/%d", page,
                  g.horz, g.vert, g.physW, g.physH, g.offX, g.offY, scale));
    state = State::kPage;
    return 1;
}

void PrinterSurface::Stretch(const RECT& device, const gdi::Bitmap& source, const RECT& srcRect) {
    std::lock_guard<std::mutex> guard(lock);
    Record(Format("StretchBlt %d %d %d %d from %d %d %d %d", static_cast<int>(device.left),
                  static_cast<int>(device.top), static_cast<int>(device.right - device.left),
                  static_cast<int>(device.bottom - device.top), static_cast<int>(srcRect.left),
                  static_cast<int>(srcRect.top), static_cast<int>(srcRect.right - srcRect.left),
                  static_cast<int>(srcRect.bottom - srcRect.top)));
    if (state != State::kPage) {
        return;
    }
    Geometry g = GeometryLocked();
    long dw = device.right - device.left;
    long dh = device.bottom - device.top;
    long sw = srcRect.right - srcRect.left;
    long sh = srcRect.bottom - srcRect.top;
    if (dw == 0 || dh == 0) {
        return;
    }
    // Clipped to the printable area; each sheet pixel takes the source
    // pixel under its centre.
    long dl = device.left;
    long dr = device.right;
    long dt = device.top;
    long db = device.bottom;
    long left = std::max(0L, std::min(dl, dr));
    long right = std::min(static_cast<long>(g.horz), std::max(dl, dr));
    long top = std::max(0L, std::min(dt, db));
    long bottom = std::min(static_cast<long>(g.vert), std::max(dt, db));
    if (left >= right || top >= bottom) {
        return;
    }
    int firstRow = static_cast<int>((top + sheetOffsetY) / scale);
    int lastRow = static_cast<int>((bottom - 1 + sheetOffsetY) / scale);
    int firstColumn = static_cast<int>((left + sheetOffsetX) / scale);
    int lastColumn = static_cast<int>((right - 1 + sheetOffsetX) / scale);
    for (int row = firstRow; row <= lastRow && row < sheetHeight; ++row) {
        long y = static_cast<long>(row) * scale + scale / 2 - sheetOffsetY;
        if (y < top || y >= bottom) {
            continue;
        }
        long sy = srcRect.top + (y - device.top) * sh / dh;
        if (sy < 0 || sy >= source.height) {
            continue;
        }
        for (int column = firstColumn; column <= lastColumn && column < sheetWidth; ++column) {
            long x = static_cast<long>(column) * scale + scale / 2 - sheetOffsetX;
            if (x < left || x >= right) {
                continue;
            }
            long sx = srcRect.left + (x - device.left) * sw / dw;
            if (sx < 0 || sx >= source.width) {
                continue;
            }
            uint8_t* pixel = &sheet[(static_cast<size_t>(row) * sheetWidth + column) * 3];
            source.Read(static_cast<int>(sx), static_cast<int>(sy), pixel);
        }
    }
}

int PrinterSurface::EndPage() {
    std::lock_guard<std::mutex> guard(lock);
    if (state != State::kPage) {
        Record("EndPage refused (no page)");
        SetLastError(ERROR_INVALID_PARAMETER);
        return SP_ERROR;
    }
    state = State::kDocument;
    std::vector<uint8_t> done;
    done.swap(sheet);
    if (Fails("end-page", pages)) {
        Record(Format("EndPage %d refused", pages));
        SetLastError(ERROR_GEN_FAILURE);
        return SP_ERROR;
    }
    std::string name = Format("sheet-%03d.png", pages);
    bool written = !jobFolder.empty() &&
                   WriteSheetPng(jobFolder + "/" + name, sheetWidth, sheetHeight, done.data());
    Record(Format("EndPage %d %s %d x %d%s", pages, name.c_str(), sheetWidth, sheetHeight,
                  written ? "" : " (not written)"));
    return 1;
}

int PrinterSurface::EndDoc() {
    std::lock_guard<std::mutex> guard(lock);
    if (state != State::kDocument && state != State::kPage) {
        Record("EndDoc refused (no document)");
        SetLastError(ERROR_INVALID_PARAMETER);
        return SP_ERROR;
    }
    if (Fails("end-doc", 0)) {
        Record("EndDoc refused");
        SetLastError(ERROR_GEN_FAILURE);
        return SP_ERROR;
    }
    if (state == State::kPage) {
        Record(Format("EndPage %d (with the document, not printed)", pages));
    }
    Record("EndDoc");
    state = State::kIdle;
    sheet.clear();
    CloseRecord();
    return 1;
}

int PrinterSurface::AbortDoc() {
    std::lock_guard<std::mutex> guard(lock);
    bool open = state != State::kIdle;
    if (record != nullptr) {
        Record(open ? "AbortDoc" : "AbortDoc (no document)");
    }
    state = State::kIdle;
    sheet.clear();
    CloseRecord();
    if (!open) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return SP_ERROR;
    }
    return 1;
}

std::shared_ptr<PrinterSurface> PrinterOf(HDC dc) {
    return std::dynamic_pointer_cast<PrinterSurface>(gdi::SurfaceOf(dc));
}

}  // namespace w32::print
