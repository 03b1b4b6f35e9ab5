// Fax page making: the scan worker turns each scanned bitmap into one page in
// the Processed folder before uploading it.
#pragma once

#include <windows.h>

#include <string>

namespace vexlo {

// Grey document (scan type 1): a grey-scale PNG page scaled to an A4 sheet at
// 203 dpi (1678 pixels wide, at most 2373 high; only the width is padded),
// named after the scanned file, whose pHYs chunk says 200 for a 200 dpi scan
// and 203 otherwise.
// S_OK with pageFile set to the page's path; S_OK with pageFile untouched and
// no page when the scanned path has no folder separator or its file name no
// '.'; E_INVALIDARG for a resolution of 0 or less; E_FAIL when the image
// cannot be loaded, processed or written (pageFile untouched, no page file).
HRESULT DoGrayScale(const std::u16string& scannedFile, const std::u16string& processedFolder,
                    std::u16string& pageFile, INT dpi);

// Colour (scan type 2): the scanned image re-encoded unchanged as a JPEG named
// from the clock in seconds, so two pages of one second share a name.
// S_OK with pageFile set; E_FAIL when the image cannot be loaded or the page
// cannot be written (pageFile untouched, no page file).
HRESULT ConvertToJpeg(const std::u16string& scannedFile, const std::u16string& processedFolder,
                      std::u16string& pageFile);

}  // namespace vexlo
