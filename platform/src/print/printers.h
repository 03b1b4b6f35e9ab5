// The printers of a session, as its "printers" file describes them. The file
// is text, one "key = value" a line, '#' starting a comment line; "[printer]"
// starts the next printer and "[dialog]" holds settings of the print dialog:
//
//   [dialog]
//   fail = yes                  PrintDlgExW fails (E_FAIL) without a window
//
//   [printer]
//   name = Office Laser         the device name (required)
//   default = yes               the printer the dialog offers first
//   dpi = 600                   LOGPIXELSX and LOGPIXELSY
//   printable = 4800 6800       HORZRES VERTRES, portrait
//   physical = 4960 7016        PHYSICALWIDTH PHYSICALHEIGHT, portrait
//   offset = 80 108             PHYSICALOFFSETX PHYSICALOFFSETY, portrait
//   orientation = landscape     the driver's default orientation
//   dm-fields = orientation print-quality
//                               the dmFields its driver reports (names, or a
//                               hexadecimal number)
//   fail = start-doc, start-page, end-page, end-doc
//   fail-page = 2               the page whose StartPage or EndPage fails
//                               (default 1)
//
// Without the file the session has one default A4 printer at 600 dpi:
// printable 4800 x 6800, physical 4960 x 7016, offsets 80 and 108, portrait,
// dmFields DM_ORIENTATION | DM_PRINTQUALITY. A file that names no printer
// leaves the session without any.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "w32/print.h"

namespace w32::print {

struct PrinterDescription {
    std::u16string name;
    bool isDefault = false;
    int dpi = 600;
    int horzRes = 4800;
    int vertRes = 6800;
    int physicalWidth = 4960;
    int physicalHeight = 7016;
    int offsetX = 80;
    int offsetY = 108;
    short orientation = DMORIENT_PORTRAIT;
    DWORD dmFields = DM_ORIENTATION | DM_PRINTQUALITY;
    std::set<std::string> failures;  // start-doc, start-page, end-page, end-doc
    int failPage = 1;
};

struct PrinterSet {
    bool dialogFails = false;
    std::vector<PrinterDescription> printers;
};

// Read afresh at each call, so a test can change the printers between jobs.
PrinterSet ReadPrinters();
// The description read from the text of a "printers" file.
PrinterSet ParsePrinters(const std::string& text);
// The printer of that name (case-insensitive), or the default one when the
// name is empty.
std::optional<PrinterDescription> FindPrinter(const std::u16string& name);
// The session directory (created on first use); empty when there is none.
std::string SessionPath();

}  // namespace w32::print
