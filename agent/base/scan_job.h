// One scan request as the agent keeps it: made by the dispatcher, passed by
// value to the scanner and back with every saved image and every failure.
#pragma once

#include <windows.h>

#include <string>

namespace vexlo {

struct ScanJob {
    std::u16string apiKey;  // the request's API key
    int messageId = 0;      // the page's message id
    int scanType = 0;       // 1 grey document, 2 colour
    int jobId = 0;          // made by the plug-in
    HWND client = nullptr;  // the window that sent the request; every answer goes there
};

}  // namespace vexlo
