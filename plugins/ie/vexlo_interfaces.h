// The add-on's dual interfaces, as its type library describes them: the page
// object's IVexloDisp, the browser helper object's IVexloPlugin (no members of
// its own) and the status object's IVexloStatusCallback.
#pragma once

#include <windows.h>

#include "plugins/ie/vexlo_ids.h"

namespace vexlo {

struct IVexloDisp : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_version(BSTR* pbstrVersion) = 0;
    virtual HRESULT STDMETHODCALLTYPE doScan(BSTR pbstrApiKey, LONG nMessageId, LONG nType,
                                             VARIANT* pStatusCallback, VARIANT* varJobId) = 0;
    virtual HRESULT STDMETHODCALLTYPE selectScanner(LONG nInterface,
                                                    VARIANT* pVarStatusCallback) = 0;
    virtual HRESULT STDMETHODCALLTYPE doPrint(BSTR pbstrApiKey, BSTR pbstrPrintCommand,
                                              VARIANT* pStatusCallback) = 0;
    virtual HRESULT STDMETHODCALLTYPE setScanMode(LONG nScanMode) = 0;
    virtual HRESULT STDMETHODCALLTYPE stopScan(LONG nJobId) = 0;
    virtual HRESULT STDMETHODCALLTYPE loadDesktop(VARIANT* nJobId) = 0;
    virtual HRESULT STDMETHODCALLTYPE getScanMode(VARIANT* nScanMode) = 0;
    virtual HRESULT STDMETHODCALLTYPE getSelectedScanner(LONG nScanMode, VARIANT* strScanner) = 0;
};

struct IVexloPlugin : public IDispatch {};

struct IVexloStatusCallback : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_state(VARIANT* pvarResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_info(VARIANT* pvarResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_description(VARIANT* pvarResult) = 0;
};

// DISPIDs of the page API and of the status object.
enum : DISPID {
    kDispidVersion = 0,
    kDispidDoScan = 1,
    kDispidSelectScanner = 2,
    kDispidDoPrint = 3,
    kDispidSetScanMode = 4,
    kDispidStopScan = 5,
    kDispidLoadDesktop = 6,
    kDispidGetScanMode = 7,
    kDispidGetSelectedScanner = 8,
};
enum : DISPID {
    kDispidState = 0,
    kDispidInfo = 1,
    kDispidDescription = 2,
};

}  // namespace vexlo

W32_INTERFACE_ID(vexlo::IVexloDisp, vexlo::IID_IVexloDisp);
W32_INTERFACE_ID(vexlo::IVexloPlugin, vexlo::IID_IVexloPlugin);
W32_INTERFACE_ID(vexlo::IVexloStatusCallback, vexlo::IID_IVexloStatusCallback);
