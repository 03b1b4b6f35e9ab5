// The image a virtual device scans: a synthetic page written as a Windows
// BMP file (file header, 40-byte information header, a full colour table
// for 1 and 8 bits per pixel, bottom-up rows padded to 32-bit words).
#pragma once

#include <windows.h>

#include <string>

#include "device_description.h"

namespace wia_service {

// Writes the page at path with its resolution in pixels a metre. S_OK, or
// E_FAIL when the file cannot be written whole (no partial file is left).
HRESULT WriteBmpPage(const std::u16string& path, const PageSpec& page, int dpi, int pageNumber);

}  // namespace wia_service
