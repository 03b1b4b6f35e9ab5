// Writing a scanned image, a packed DIB in global memory (information header,
// colour table, rows), as a Windows BMP file.
#pragma once

#include <windows.h>

#include <string>

namespace vexlo {

// Writes the DIB to the file (14-byte file header, the 40-byte information
// header, a full colour table for 1, 4 and 8 bits per pixel, bottom-up rows
// padded to 32-bit words) and frees the DIB in every case. Reads nothing
// beyond the DIB's memory as its global size bounds it: a DIB too short for
// what its header says is not written. A top-down DIB (negative height) is
// written bottom-up; a short colour table (biClrUsed) is padded to the full
// one; a larger header than 40 bytes is written as a 40-byte one. S_OK, or
// E_FAIL when the DIB is unusable or the file cannot be written whole (no
// partial file is left).
HRESULT SaveDibToBmp(HGLOBAL dib, const std::u16string& fileName);

}  // namespace vexlo
