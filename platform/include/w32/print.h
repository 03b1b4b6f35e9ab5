// Printing: device modes, printer device contexts, documents and pages, and
// the common print dialog (PrintDlgExW).
#pragma once

#include "w32/types.h"

#ifndef E_POINTER
#define E_POINTER ((HRESULT)0x80004003)
#endif
#ifndef E_HANDLE
#define E_HANDLE ((HRESULT)0x80070006)
#endif

#define CCHDEVICENAME 32
#define CCHFORMNAME 32

// dmFields bits.
#define DM_ORIENTATION 0x00000001
#define DM_PAPERSIZE 0x00000002
#define DM_COPIES 0x00000100
#define DM_PRINTQUALITY 0x00000400
#define DM_YRESOLUTION 0x00002000

#define DMORIENT_PORTRAIT 1
#define DMORIENT_LANDSCAPE 2

#define DMRES_DRAFT (-1)
#define DMRES_LOW (-2)
#define DMRES_MEDIUM (-3)
#define DMRES_HIGH (-4)

#define DMPAPER_A4 9

// The printer form of the device mode (the display fields of the union are
// not used here).
typedef struct _devicemodeW {
    WCHAR dmDeviceName[CCHDEVICENAME];
    WORD dmSpecVersion;
    WORD dmDriverVersion;
    WORD dmSize;
    WORD dmDriverExtra;
    DWORD dmFields;
    short dmOrientation;
    short dmPaperSize;
    short dmPaperLength;
    short dmPaperWidth;
    short dmScale;
    short dmCopies;
    short dmDefaultSource;
    short dmPrintQuality;
    short dmColor;
    short dmDuplex;
    short dmYResolution;
    short dmTTOption;
    short dmCollate;
    WCHAR dmFormName[CCHFORMNAME];
    WORD dmLogPixels;
    DWORD dmBitsPerPel;
    DWORD dmPelsWidth;
    DWORD dmPelsHeight;
    DWORD dmNup;
    DWORD dmDisplayFrequency;
    DWORD dmICMMethod;
    DWORD dmICMIntent;
    DWORD dmMediaType;
    DWORD dmDitherType;
    DWORD dmReserved1;
    DWORD dmReserved2;
    DWORD dmPanningWidth;
    DWORD dmPanningHeight;
} DEVMODEW, *PDEVMODEW, *LPDEVMODEW;

// Offsets count characters from the start of the block.
typedef struct tagDEVNAMES {
    WORD wDriverOffset;
    WORD wDeviceOffset;
    WORD wOutputOffset;
    WORD wDefault;
} DEVNAMES, *LPDEVNAMES;

#define DN_DEFAULTPRN 0x0001

typedef struct _DOCINFOW {
    int cbSize;
    LPCWSTR lpszDocName;
    LPCWSTR lpszOutput;
    LPCWSTR lpszDatatype;
    DWORD fwType;
} DOCINFOW, *LPDOCINFOW;

#define SP_ERROR (-1)
#define ERROR_INVALID_PRINTER_NAME 1801L

// A printer DC by driver and device name ("WINSPOOL", the printer's name).
W32API HDC WINAPI CreateDCW(LPCWSTR pwszDriver, LPCWSTR pwszDevice, LPCWSTR pszPort,
                            const DEVMODEW* pdm);
// Applies a device mode between pages: the orientation and print quality
// that dmFields names. The same DC, or null.
W32API HDC WINAPI ResetDCW(HDC hdc, const DEVMODEW* lpdm);
// > 0 (the job id) or SP_ERROR.
W32API int WINAPI StartDocW(HDC hdc, const DOCINFOW* lpdi);
// > 0, or <= 0 on failure.
W32API int WINAPI StartPage(HDC hdc);
W32API int WINAPI EndPage(HDC hdc);
W32API int WINAPI EndDoc(HDC hdc);
W32API int WINAPI AbortDoc(HDC hdc);

// The common print dialog.
typedef struct tagPRINTPAGERANGE {
    DWORD nFromPage;
    DWORD nToPage;
} PRINTPAGERANGE, *LPPRINTPAGERANGE;

typedef struct tagPDEXW {
    DWORD lStructSize;
    HWND hwndOwner;
    HGLOBAL hDevMode;
    HGLOBAL hDevNames;
    HDC hDC;
    DWORD Flags;
    DWORD Flags2;
    DWORD ExclusionFlags;
    DWORD nPageRanges;
    DWORD nMaxPageRanges;
    LPPRINTPAGERANGE lpPageRanges;
    DWORD nMinPage;
    DWORD nMaxPage;
    DWORD nCopies;
    HINSTANCE hInstance;
    LPCWSTR lpPrintTemplateName;
    void* lpCallback;
    DWORD nPropertyPages;
    void** lphPropertyPages;
    DWORD nStartPage;
    DWORD dwResultAction;
} PRINTDLGEXW, *LPPRINTDLGEXW;

#define PD_ALLPAGES 0x00000000
#define PD_SELECTION 0x00000001
#define PD_PAGENUMS 0x00000002
#define PD_NOSELECTION 0x00000004
#define PD_NOPAGENUMS 0x00000008
#define PD_COLLATE 0x00000010
#define PD_PRINTTOFILE 0x00000020
#define PD_NOWARNING 0x00000080
#define PD_RETURNDC 0x00000100
#define PD_RETURNIC 0x00000200
#define PD_RETURNDEFAULT 0x00000400
#define PD_DISABLEPRINTTOFILE 0x00080000
#define PD_HIDEPRINTTOFILE 0x00100000
#define PD_NONETWORKBUTTON 0x00200000
#define PD_CURRENTPAGE 0x00400000
#define PD_NOCURRENTPAGE 0x00800000

#define START_PAGE_GENERAL 0xFFFFFFFF

#define PD_RESULT_CANCEL 0
#define PD_RESULT_PRINT 1
#define PD_RESULT_APPLY 2

// S_OK with dwResultAction telling what the user chose; E_POINTER,
// E_INVALIDARG, E_HANDLE or E_FAIL (no printer, or the dialog failed).
W32API HRESULT WINAPI PrintDlgExW(LPPRINTDLGEXW lppd);

// Test hook: the number of global memory blocks the process holds.
W32API DWORD WINAPI W32GlobalBlockCount(void);
