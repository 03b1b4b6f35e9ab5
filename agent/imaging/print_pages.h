// Printing rendered pages: each PNG page becomes a bitmap file beside it, and
// a list of bitmaps goes to the printer the user picks in the print dialog,
// each page stretched to the printable width, short pages sharing a sheet
// with a printed cut line between them.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <deque>
#include <functional>
#include <string>

namespace vexlo {

// Asked between pages; true ends the print at once.
using StopTest = std::function<bool()>;

// The PNG loaded as a three-channel colour image and saved as "<folder>/<base
// name>.bmp" beside it. S_OK with bitmapFile set; E_FAIL when the name cannot
// be formed (no separator, or no '.' in the file name itself), the PNG cannot
// be loaded or the bitmap cannot be saved. The PNG is not deleted here.
HRESULT ConvertPngToBmp(const std::u16string& pngFile, std::u16string& bitmapFile);

// Prints the bitmaps, first page first, through the print dialog owned by
// `owner`. S_OK when every page was printed; E_ACCESSDENIED when the dialog
// failed or the user did not choose Print; E_OUTOFMEMORY when the page-range
// array cannot be had; E_FAIL when the printer refused the document or a
// page (the document is then aborted), or a page could not be drawn (the
// others are still printed); E_ABORT when `stop` said so. The files are not
// deleted here.
HRESULT PrintPages(HWND owner, std::deque<std::u16string> files, const StopTest& stop = {});

// Deletes each file of the list, ignoring failures; the list ends empty.
void DeleteFiles(std::deque<std::u16string>& files);

}  // namespace vexlo
