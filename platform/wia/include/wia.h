// Windows Image Acquisition 1.0 as the stand-in provides it: the device
// manager class, its device enumeration, items with their property storage,
// the device dialog and the file transfer with its progress callback, and
// the property ids and values that applications use with them.
#pragma once

#include <windows.h>

// Property sets.
typedef ULONG PROPID;
#define PRSPEC_LPWSTR 0
#define PRSPEC_PROPID 1

typedef struct tagPROPSPEC {
    ULONG ulKind;
    union {
        PROPID propid;
        LPOLESTR lpwstr;
    };
} PROPSPEC;

struct IEnumSTATPROPSTG;
struct IStream;
struct IEnumWiaItem;
struct IEnumWIA_DEV_CAPS;
struct IEnumWIA_FORMAT_INFO;
struct IWiaEventCallback;
typedef struct tagSTATPROPSETSTG STATPROPSETSTG;

typedef struct _WIA_FORMAT_INFO {
    GUID guidFormatID;
    LONG lTymed;
} WIA_FORMAT_INFO, *PWIA_FORMAT_INFO;

typedef struct _WIA_DATA_TRANSFER_INFO {
    ULONG ulSize;
    ULONG ulSection;
    ULONG ulBufferSize;
    BOOL bDoubleBuffer;
    ULONG ulReserved1;
    ULONG ulReserved2;
    ULONG ulReserved3;
} WIA_DATA_TRANSFER_INFO, *PWIA_DATA_TRANSFER_INFO;

typedef struct _WIA_EXTENDED_TRANSFER_INFO WIA_EXTENDED_TRANSFER_INFO, *PWIA_EXTENDED_TRANSFER_INFO;

// The properties of a device or an item.
struct IWiaPropertyStorage : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ReadMultiple(ULONG cpspec, const PROPSPEC rgpspec[],
                                                   PROPVARIANT rgpropvar[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE WriteMultiple(ULONG cpspec, const PROPSPEC rgpspec[],
                                                    const PROPVARIANT rgpropvar[],
                                                    PROPID propidNameFirst) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteMultiple(ULONG cpspec, const PROPSPEC rgpspec[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReadPropertyNames(ULONG cpropid, const PROPID rgpropid[],
                                                        LPOLESTR rglpwstrName[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE WritePropertyNames(ULONG cpropid, const PROPID rgpropid[],
                                                         const LPOLESTR rglpwstrName[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeletePropertyNames(ULONG cpropid,
                                                          const PROPID rgpropid[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE Commit(DWORD grfCommitFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Revert() = 0;
    virtual HRESULT STDMETHODCALLTYPE Enum(IEnumSTATPROPSTG** ppenum) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetTimes(const FILETIME* pctime, const FILETIME* patime,
                                               const FILETIME* pmtime) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetClass(REFCLSID clsid) = 0;
    virtual HRESULT STDMETHODCALLTYPE Stat(STATPROPSETSTG* pstatpsstg) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPropertyAttributes(ULONG cpspec, PROPSPEC* rgpspec,
                                                            ULONG* rgflags,
                                                            PROPVARIANT* rgpropvar) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCount(ULONG* pulNumProps) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPropertyStream(GUID* pCompatibilityId,
                                                        IStream** ppIStream) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPropertyStream(GUID* pCompatibilityId,
                                                        IStream* pIStream) = 0;
};

// The devices present: each element is a device's information properties.
struct IEnumWIA_DEV_INFO : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, IWiaPropertyStorage** rgelt,
                                           ULONG* pceltFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumWIA_DEV_INFO** ppIEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCount(ULONG* celt) = 0;
};

// An item of a device: the root item that CreateDevice gives, or an item
// that the device dialog chose.
struct IWiaItem : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetItemType(LONG* pItemType) = 0;
    virtual HRESULT STDMETHODCALLTYPE AnalyzeItem(LONG lFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumChildItems(IEnumWiaItem** ppIEnumWiaItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteItem(LONG lFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateChildItem(LONG lFlags, BSTR bstrItemName,
                                                      BSTR bstrFullItemName,
                                                      IWiaItem** ppIWiaItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumRegisterEventInfo(LONG lFlags, const GUID* pEventGUID,
                                                            IEnumWIA_DEV_CAPS** ppIEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindItemByName(LONG lFlags, BSTR bstrFullItemName,
                                                     IWiaItem** ppIWiaItem) = 0;
    // Runs the device's own dialog modally over hwndParent. S_OK with the
    // chosen items (an array of task memory, each item with a reference of
    // its own); S_FALSE with no items when the user closed it.
    virtual HRESULT STDMETHODCALLTYPE DeviceDlg(HWND hwndParent, LONG lFlags, LONG lIntent,
                                                LONG* plItemCount, IWiaItem*** ppIWiaItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeviceCommand(LONG lFlags, const GUID* pCmdGUID,
                                                    IWiaItem** pIWiaItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRootItem(IWiaItem** ppIWiaItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumDeviceCapabilities(LONG lFlags,
                                                             IEnumWIA_DEV_CAPS** ppIEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE DumpItemData(BSTR* bstrData) = 0;
    virtual HRESULT STDMETHODCALLTYPE DumpDrvItemData(BSTR* bstrData) = 0;
    virtual HRESULT STDMETHODCALLTYPE DumpTreeItemData(BSTR* bstrData) = 0;
    virtual HRESULT STDMETHODCALLTYPE Diagnostic(ULONG ulSize, BYTE* pBuffer) = 0;
};

// The application's side of a transfer: progress and data messages. A
// result of S_FALSE cancels the transfer.
struct IWiaDataCallback : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE BandedDataCallback(LONG lMessage, LONG lStatus,
                                                         LONG lPercentComplete, LONG lOffset,
                                                         LONG lLength, LONG lReserved,
                                                         LONG lResLength, BYTE* pbBuffer) = 0;
};

struct IWiaDataTransfer : public IUnknown {
    // Transfers the item's image into the file that the medium names
    // (TYMED_FILE), calling the callback as it goes.
    virtual HRESULT STDMETHODCALLTYPE idtGetData(LPSTGMEDIUM pMedium,
                                                 IWiaDataCallback* pIWiaDataCallback) = 0;
    virtual HRESULT STDMETHODCALLTYPE idtGetBandedData(PWIA_DATA_TRANSFER_INFO pWiaDataTransInfo,
                                                       IWiaDataCallback* pIWiaDataCallback) = 0;
    virtual HRESULT STDMETHODCALLTYPE idtQueryGetData(WIA_FORMAT_INFO* pfe) = 0;
    virtual HRESULT STDMETHODCALLTYPE idtEnumWIA_FORMAT_INFO(IEnumWIA_FORMAT_INFO** ppEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    idtGetExtendedTransferInfo(PWIA_EXTENDED_TRANSFER_INFO pExtendedTransferInfo) = 0;
};

struct IWiaDevMgr : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE EnumDeviceInfo(LONG lFlag, IEnumWIA_DEV_INFO** ppIEnum) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateDevice(BSTR bstrDeviceID, IWiaItem** ppWiaItemRoot) = 0;
    virtual HRESULT STDMETHODCALLTYPE SelectDeviceDlg(HWND hwndParent, LONG lDeviceType,
                                                      LONG lFlags, BSTR* pbstrDeviceID,
                                                      IWiaItem** ppItemRoot) = 0;
    virtual HRESULT STDMETHODCALLTYPE SelectDeviceDlgID(HWND hwndParent, LONG lDeviceType,
                                                        LONG lFlags, BSTR* pbstrDeviceID) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetImageDlg(HWND hwndParent, LONG lDeviceType, LONG lFlags,
                                                  LONG lIntent, IWiaItem* pItemRoot,
                                                  BSTR bstrFilename, GUID* pguidFormat) = 0;
    virtual HRESULT STDMETHODCALLTYPE RegisterEventCallbackProgram(
        LONG lFlags, BSTR bstrDeviceID, const GUID* pEventGUID, BSTR bstrCommandline, BSTR bstrName,
        BSTR bstrDescription, BSTR bstrIcon) = 0;
    virtual HRESULT STDMETHODCALLTYPE RegisterEventCallbackInterface(
        LONG lFlags, BSTR bstrDeviceID, const GUID* pEventGUID,
        IWiaEventCallback* pIWiaEventCallback, IUnknown** pEventObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE RegisterEventCallbackCLSID(LONG lFlags, BSTR bstrDeviceID,
                                                                 const GUID* pEventGUID,
                                                                 const GUID* pClsID, BSTR bstrName,
                                                                 BSTR bstrDescription,
                                                                 BSTR bstrIcon) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddDeviceDlg(HWND hwndParent, LONG lFlags) = 0;
};

// Class and interface ids.
inline constexpr CLSID CLSID_WiaDevMgr = {
    0xA1F4E726, 0x8CF1, 0x11D1, {0xBF, 0x92, 0x00, 0x60, 0x08, 0x1E, 0xD8, 0x11}};
inline constexpr IID IID_IWiaDevMgr = {
    0x5EB2502A, 0x8CF1, 0x11D1, {0xBF, 0x92, 0x00, 0x60, 0x08, 0x1E, 0xD8, 0x11}};
inline constexpr IID IID_IEnumWIA_DEV_INFO = {
    0x5E38B83C, 0x8CF1, 0x11D1, {0xBF, 0x92, 0x00, 0x60, 0x08, 0x1E, 0xD8, 0x11}};
inline constexpr IID IID_IWiaItem = {
    0x4DB1AD10, 0x3391, 0x11D2, {0x9A, 0x33, 0x00, 0xC0, 0x4F, 0xA3, 0x61, 0x45}};
inline constexpr IID IID_IWiaPropertyStorage = {
    0x98B5E8A0, 0x29CC, 0x491A, {0xAA, 0xC0, 0xE6, 0xDB, 0x4F, 0xDC, 0xCE, 0xB6}};
inline constexpr IID IID_IWiaDataTransfer = {
    0xA6CEF998, 0xA5B0, 0x11D2, {0xA0, 0x8F, 0x00, 0xC0, 0x4F, 0x72, 0xDC, 0x3C}};
inline constexpr IID IID_IWiaDataCallback = {
    0xA558A866, 0xA5B0, 0x11D2, {0xA0, 0x8F, 0x00, 0xC0, 0x4F, 0x72, 0xDC, 0x3C}};
inline constexpr GUID WiaImgFmt_BMP = {
    0xB96B3CAB, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

W32_INTERFACE_ID(IWiaDevMgr, IID_IWiaDevMgr);
W32_INTERFACE_ID(IEnumWIA_DEV_INFO, IID_IEnumWIA_DEV_INFO);
W32_INTERFACE_ID(IWiaItem, IID_IWiaItem);
W32_INTERFACE_ID(IWiaPropertyStorage, IID_IWiaPropertyStorage);
W32_INTERFACE_ID(IWiaDataTransfer, IID_IWiaDataTransfer);
W32_INTERFACE_ID(IWiaDataCallback, IID_IWiaDataCallback);

// EnumDeviceInfo.
#define WIA_DEVINFO_ENUM_LOCAL 0x00000010

// Device information properties.
#define WIA_DIP_DEV_ID 2
#define WIA_DIP_VEND_DESC 3
#define WIA_DIP_DEV_DESC 4
#define WIA_DIP_DEV_TYPE 5
#define WIA_DIP_PORT_NAME 6
#define WIA_DIP_DEV_NAME 7

// The STI device type is the high word of WIA_DIP_DEV_TYPE.
#define StiDeviceTypeDefault 0
#define StiDeviceTypeScanner 1
#define StiDeviceTypeDigitalCamera 2
#define StiDeviceTypeStreamingVideo 3
#define GET_STIDEVICE_TYPE(dwDevType) HIWORD(dwDevType)
#define GET_STIDEVICE_SUBTYPE(dwDevType) LOWORD(dwDevType)
#define MAKE_STIDEVICE_TYPE(type, subtype) MAKELONG(subtype, type)

// Document handling (scanner devices).
#define WIA_DPS_DOCUMENT_HANDLING_STATUS 3087
#define WIA_DPS_DOCUMENT_HANDLING_SELECT 3088
#define FEEDER 0x001
#define FLATBED 0x002
#define FEED_READY 0x001
#define FLAT_READY 0x002

// Item properties.
#define WIA_IPA_FIRST 4098
#define WIA_IPA_FORMAT 4106
#define WIA_IPA_TYMED 4108
#define WIA_IPS_XRES 6147
#define WIA_IPS_YRES 6148

// DeviceDlg.
#define WIA_DEVICE_DIALOG_SINGLE_IMAGE 0x00000002
#define WIA_DEVICE_DIALOG_USE_COMMON_UI 0x00000004
#define WIA_INTENT_NONE 0x00000000

// Item types.
#define WiaItemTypeImage 0x00000001
#define WiaItemTypeFile 0x00000002
#define WiaItemTypeRoot 0x00000008
#define WiaItemTypeDevice 0x00000040
#define WiaItemTypeTransfer 0x00002000

// Callback messages and their status.
#define IT_MSG_DATA_HEADER 0x0001
#define IT_MSG_DATA 0x0002
#define IT_MSG_STATUS 0x0003
#define IT_MSG_TERMINATION 0x0004
#define IT_MSG_NEW_PAGE 0x0005
#define IT_STATUS_TRANSFER_FROM_DEVICE 0x0001
#define IT_STATUS_PROCESSING_DATA 0x0002
#define IT_STATUS_TRANSFER_TO_CLIENT 0x0004

// Result codes.
#define WIA_ERROR_GENERAL_ERROR ((HRESULT)0x80210001)
#define WIA_ERROR_PAPER_JAM ((HRESULT)0x80210002)
#define WIA_ERROR_PAPER_EMPTY ((HRESULT)0x80210003)
#define WIA_ERROR_OFFLINE ((HRESULT)0x80210005)
#define WIA_ERROR_BUSY ((HRESULT)0x80210006)
#define WIA_S_NO_DEVICE_AVAILABLE ((HRESULT)0x80210015)
