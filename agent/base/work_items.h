// The items that travel through the scan worker: a saved image waiting in the
// agent's queue, and a page on its way to the web service.
#pragma once

#include <windows.h>

#include <string>

namespace vexlo {

struct ScannedItem {
    HWND client = nullptr;  // every answer for this item goes there
    std::u16string file;    // the scanned bitmap in the Scanned folder
    std::u16string apiKey;
    int messageId = 0;
    int scanType = 0;  // 1 grey document page, 2 colour page
    int dpi = 0;       // as the scanner reported it
    int jobId = 0;
};

struct UploadItem {
    std::u16string file;  // the page in the Processed folder
    std::u16string apiKey;
    int messageId = 0;
    HWND client = nullptr;
    int jobId = 0;
};

}  // namespace vexlo
