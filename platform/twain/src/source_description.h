// The virtual TWAIN sources of a session, as the session's "twain-sources"
// file describes them. The file is text, one "key = value" a line, '#'
// starting a comment line; "[source]" starts the next source and
// "[manager]" holds settings of the data source manager itself:
//
//   [manager]
//   fail = open-dsm                      MSG_OPENDSM fails
//
//   [source]
//   name = Virtual Feeder                ProductName (required, unique)
//   manufacturer = Vexlo Test Devices    Manufacturer
//   family = Virtual Scanners            ProductFamily
//   x-resolution = enumeration fix32 75 150 300 600
//                                        the ICAP_XRESOLUTION container: enumeration,
//                                        array, onevalue or range (min max step) of an
//                                        item type (fix32, int8, int16, int32, uint8,
//                                        uint16, uint32, bool); "none": unsupported
//   y-resolution = ...                   the same for ICAP_YRESOLUTION (default: as x)
//   resolution = 150                     the current resolution at open (default:
//                                        the first value)
//   pages = 3                            images per scan run
//   page = 1 1700 2200                   bits per pixel (1, 8 or 24), width, height;
//                                        one line per page, the last repeats
//   page = 8 file:/path/image.png        an image file, turned to that depth
//   keep-open = yes                      the dialog stays up for further runs
//   xfer-limit = 2                       at most this many transfers per run; asking
//                                        for more (or all) answers TWRC_CHECKSTATUS
//   fail = image-info, enable, disable, open, transfer-cancel, transfer-failure
//   fail-page = 2                        the page whose transfer fails (default 1)
//   pump = transfer, feed                the source dispatches the thread's messages
//                                        while it scans a page / feeds the next sheet
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "twain.h"

namespace twain_dsm {

// A capability value: FIX32 values keep their fraction in 1/65536 units.
struct CapValue {
    int32_t whole = 0;
    uint16_t frac = 0;
    bool operator==(const CapValue& other) const = default;
};

// A capability container as the source answers MSG_GET.
struct CapContainer {
    TW_UINT16 conType = TWON_ENUMERATION;
    TW_UINT16 itemType = TWTY_FIX32;
    std::vector<CapValue> values;  // enumeration, array, onevalue: the items; range: min, max, step
    bool supported = true;
};

struct PageSpec {
    int bitsPerPixel = 8;
    int width = 850;
    int height = 1100;
    std::string file;  // an image file to scan instead of the synthetic page
};

struct SourceDescription {
    std::string productName;
    std::string manufacturer = "Vexlo Virtual Devices";
    std::string productFamily = "Virtual Scanners";
    CapContainer xResolution;
    CapContainer yResolution;
    std::optional<CapValue> resolution;
    int pages = 1;
    std::vector<PageSpec> pageSpecs;  // the last repeats for further pages
    bool keepOpen = false;
    int xferLimit = 0;  // 0: no limit
    bool failImageInfo = false;
    bool failEnable = false;
    bool failDisable = false;  // MSG_DISABLEDS refused: the source will not let go
    bool failOpen = false;
    bool transferCancel = false;
    bool transferFailure = false;
    int failPage = 1;
    bool pumpDuringTransfer = false;
    bool pumpDuringFeed = false;

    const PageSpec& Page(int index) const;  // index from 0
};

struct SessionDescription {
    bool failOpenDsm = false;
    std::vector<SourceDescription> sources;
};

// Parses the description's text. Lines it cannot read are reported in
// errors (with their line numbers) and skipped; a source without a name is
// dropped.
SessionDescription ParseDescription(const std::string& text, std::vector<std::string>* errors);

// Reads a container description such as "enumeration fix32 75 150 300".
std::optional<CapContainer> ParseContainer(const std::string& text);

// The value of a TW_FIX32 or integer item as FIX32 parts; a decimal such as
// "72.5" keeps its fraction.
std::optional<CapValue> ParseCapValue(const std::string& text);

}  // namespace twain_dsm
