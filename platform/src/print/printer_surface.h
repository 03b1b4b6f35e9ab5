// A printer device context's surface: the printer's geometry in the current
// orientation and resolution, the document and page state, and the spool
// that records each document in $W32_SESSION/spool/<job>/ (job.txt with every
// call, one PNG per sheet at a reduced scale).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "internal/gdi_objects.h"
#include "print/printers.h"

namespace w32::print {

class PrinterSurface : public gdi::DeviceSurface {
public:
    explicit PrinterSurface(PrinterDescription printer);
    ~PrinterSurface() override;

    int Caps(int index) override;
    void Stretch(const RECT& device, const gdi::Bitmap& source, const RECT& srcRect) override;

    // The device mode as the driver hands it out: its own fields set.
    DEVMODEW DeviceMode();
    // Applies what dmFields names; false between StartPage and EndPage.
    bool Reset(const DEVMODEW& mode);
    int StartDoc(const DOCINFOW& info);
    int StartPage();
    int EndPage();
    int EndDoc();
    int AbortDoc();

private:
    enum class State { kIdle, kDocument, kPage, kRefused };
    struct Geometry {
        int horz, vert, physW, physH, offX, offY;
    };
    Geometry GeometryLocked() const;
    void Record(const std::string& line);
    bool Fails(const char* what, int page) const;
    void CloseRecord();

    std::mutex lock;
    PrinterDescription printer;
    short orientation;
    int dpi;
    short quality;
    State state = State::kIdle;
    int pages = 0;
    std::string jobFolder;
    FILE* record = nullptr;
    // The open sheet, physical size divided by `scale`, RGB rows.
    int scale = 1;
    int sheetWidth = 0;
    int sheetHeight = 0;
    int sheetOffsetX = 0;
    int sheetOffsetY = 0;
    std::vector<uint8_t> sheet;
};

// The printer surface of a DC, or null.
std::shared_ptr<PrinterSurface> PrinterOf(HDC dc);

}  // namespace w32::print

namespace w32::print {
// A printer DC of the printer; the device mode, when given, applied as
// ResetDCW applies it.
HDC CreatePrinterDc(const PrinterDescription& printer, const DEVMODEW* mode);
}  // namespace w32::print
