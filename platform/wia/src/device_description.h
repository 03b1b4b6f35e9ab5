// The virtual WIA devices of a session, as the session's "wia-devices" file
// describes them. The file is text, one "key = value" a line, '#' starting
// a comment line; "[device]" starts the next device and "[manager]" holds
// settings of the device manager itself:
//
//   [manager]
//   fail = absent                     the device manager class is not there
//                                     (CoCreateInstance: REGDB_E_CLASSNOTREG)
//
//   [device]
//   id = {6BDD1FC6-810F-11D0}\0001    WIA_DIP_DEV_ID (required)
//   name = Virtual Flatbed            WIA_DIP_DEV_NAME (absent when not given)
//   type = scanner                    scanner, camera, video, or a number: the STI
//                                     device type in the high word of WIA_DIP_DEV_TYPE
//   unplugged = yes                   described but not connected: not enumerated,
//                                     CreateDevice answers WIA_S_NO_DEVICE_AVAILABLE
//   resolution = 150                  the item's own X and Y resolution; "none": the
//                                     item carries no resolution properties
//   refuse = 200 250 300              resolutions the item refuses to take
//   refuse-with = E_INVALIDARG        what it answers then (E_INVALIDARG, E_FAIL or
//                                     a hexadecimal HRESULT)
//   feeder = yes                      a document feeder: the root item carries
//                                     WIA_DPS_DOCUMENT_HANDLING_SELECT (writable,
//                                     FEEDER or FLATBED) and _STATUS, as WIA 1.0
//                                     keeps them; image items carry neither
//   pages = 3                         sheets in the feeder per dialog (a flatbed
//                                     gives one page a transfer)
//   page = 8 40 30                    bits per pixel (1, 8 or 24), width, height;
//                                     one line per page, the last repeats
//   dialog-items = 2                  items the device dialog hands back on Scan
//   fail = create-device, dialog, transfer, format, medium, data-transfer
//                                     format/medium: the image item refuses a write
//                                     of WIA_IPA_FORMAT/WIA_IPA_TYMED (E_INVALIDARG);
//                                     data-transfer: it has no IWiaDataTransfer
//   fail-page = 2                     the page whose transfer fails (default 1)
//   transfer-result = E_FAIL          what the failing transfer answers (E_FAIL,
//                                     S_FALSE or a hexadecimal HRESULT)
#pragma once

#include <windows.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "device_text.h"

namespace wia_service {

struct PageSpec {
    int bitsPerPixel = 8;
    int width = 85;
    int height = 110;
};

struct DeviceDescription {
    std::u16string id;
    std::optional<std::u16string> name;
    int stiType = 1;  // StiDeviceTypeScanner
    bool unplugged = false;
    std::optional<int> resolution = 100;  // none: no resolution properties
    std::set<int> refused;
    HRESULT refuseWith = E_INVALIDARG;
    bool feeder = false;
    int pages = 1;
    std::vector<PageSpec> pageSpecs;  // the last repeats for further pages
    int dialogItems = 1;
    bool failCreateDevice = false;
    bool failDialog = false;
    bool failTransfer = false;
    bool failFormat = false;
    bool failMedium = false;
    bool failDataTransfer = false;
    int failPage = 1;
    HRESULT transferResult = E_FAIL;

    const PageSpec& Page(int index) const;  // index from 0
};

struct SessionDescription {
    bool managerAbsent = false;
    std::vector<DeviceDescription> devices;  // in the file's order

    // The described device with this id (connected or not), or null.
    const DeviceDescription* Find(const std::u16string& id) const;
};

// Parses the description's text. Lines it cannot read are reported in
// errors (with their line numbers) and skipped; a device without an id is
// dropped.
SessionDescription ParseDescription(const std::string& text, std::vector<std::string>* errors);

// The session directory, as the runtime finds it.
using w32_devices::SessionDirectory;
// The session's devices; none when the file is missing.
SessionDescription LoadSessionDescription();

}  // namespace wia_service
