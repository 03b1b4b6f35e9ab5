// Printer DCs and their documents: CreateDCW, ResetDCW, StartDocW,
// StartPage, EndPage, EndDoc and AbortDoc.
#include <memory>
#include <optional>

#include "internal/gdi_objects.h"
#include "print/printer_surface.h"
#include "w32/crt.h"
#include "w32/kernel.h"

using w32::print::PrinterOf;
using w32::print::PrinterSurface;

namespace w32::print {

// A printer DC of the printer; the device mode, when given, applied as
// ResetDCW applies it.
HDC CreatePrinterDc(const PrinterDescription& printer, const DEVMODEW* mode) {
    auto surface = std::make_shared<PrinterSurface>(printer);
    if (mode != nullptr) {
        surface->Reset(*mode);
    }
    return gdi::CreateDeviceDc(std::move(surface));
}

}  // namespace w32::print

W32API HDC WINAPI CreateDCW(LPCWSTR pwszDriver, LPCWSTR pwszDevice, LPCWSTR, const DEVMODEW* pdm) {
    if (pwszDriver == nullptr || _wcsicmp(pwszDriver, u"WINSPOOL") != 0 || pwszDevice == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::optional<w32::print::PrinterDescription> printer = w32::print::FindPrinter(pwszDevice);
    if (!printer) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return nullptr;
    }
    return w32::print::CreatePrinterDc(*printer, pdm);
}

W32API HDC WINAPI ResetDCW(HDC hdc, const DEVMODEW* lpdm) {
    std::shared_ptr<PrinterSurface> printer = PrinterOf(hdc);
    if (!printer || lpdm == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!printer->Reset(*lpdm)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    w32::gdi::ResetDrawingState(hdc);
    return hdc;
}

W32API int WINAPI StartDocW(HDC hdc, const DOCINFOW* lpdi) {
    std::shared_ptr<PrinterSurface> printer = PrinterOf(hdc);
    if (!printer || lpdi == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return SP_ERROR;
    }
    return printer->StartDoc(*lpdi);
}

W32API int WINAPI StartPage(HDC hdc) {
    std::shared_ptr<PrinterSurface> printer = PrinterOf(hdc);
    if (!printer) {
        SetLastError(ERROR_INVALID_HANDLE);
        return SP_ERROR;
    }
    int result = printer->StartPage();
    if (result > 0) {
        w32::gdi::ResetDrawingState(hdc);
    }
    return result;
}

W32API int WINAPI EndPage(HDC hdc) {
    std::shared_ptr<PrinterSurface> printer = PrinterOf(hdc);
    if (!printer) {
        SetLastError(ERROR_INVALID_HANDLE);
        return SP_ERROR;
    }
    return printer->EndPage();
}

W32API int WINAPI EndDoc(HDC hdc) {
    std::shared_ptr<PrinterSurface> printer = PrinterOf(hdc);
    if (!printer) {
        SetLastError(ERROR_INVALID_HANDLE);
        return SP_ERROR;
    }
    return printer->EndDoc();
}

W32API int WINAPI AbortDoc(HDC hdc) {
    std::shared_ptr<PrinterSurface> printer = PrinterOf(hdc);
    if (!printer) {
        SetLastError(ERROR_INVALID_HANDLE);
        return SP_ERROR;
    }
    return printer->AbortDoc();
}
