// The page API of the page object: each method checks its arguments, fills a
// request and sends it through the object's own channel.
#include <new>

#include "plugins/ie/ie_event_callback.h"
#include "plugins/ie/page_arguments.h"
#include "plugins/ie/vexlo_disp.h"

namespace vexlo {

namespace {

fw::CComPtr<IGlobalInterfaceTable> CreateTable() {
    fw::CComPtr<IGlobalInterfaceTable> table;
    ::CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_ALL,
                       IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&table));
    return table;
}

// A callback for the cookie; when none can be allocated the page function
// is revoked at once, so nothing is left registered for it.
IVexloEventCallback* NewCallback(DWORD cookie) {
    auto* callback = new (std::nothrow) CIeEventCallback(cookie);
    if (callback == nullptr) {
        CIeEventCallback::RevokeCallback(cookie);
    }
    return callback;
}

}  // namespace

DWORD CVexloDisp::RegisterCallback(VARIANT* function) {
    fw::CComPtr<IGlobalInterfaceTable> table = CreateTable();
    return CIeEventCallback::RegisterCallback(table, function);
}

HRESULT CVexloDisp::get_version(BSTR* pbstrVersion) {
    if (pbstrVersion == nullptr) {
        return E_POINTER;
    }
    *pbstrVersion = ::SysAllocString(kIePageApiVersion);
    return *pbstrVersion != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT CVexloDisp::doScan(BSTR pbstrApiKey, LONG nMessageId, LONG nType, VARIANT* pStatusCallback,
                           VARIANT* varJobId) {
    if (!IsIeApiKey(pbstrApiKey) || !IsScanType(nType)) {
        return E_INVALIDARG;
    }
    if (varJobId == nullptr) {
        return E_POINTER;
    }
    if (!processMessage) {
        return E_UNEXPECTED;
    }
    fw::CComPtr<IGlobalInterfaceTable> table = CreateTable();
    if (!table) {
        return E_INVALIDARG;
    }
    // The page callback can run inside the send (the agent cannot be reached)
    // and drop the page's last reference to this object.
    fw::CComPtr<IVexloDisp> keepAlive(this);
    DWORD cookie = CIeEventCallback::RegisterCallback(table, pStatusCallback);
    PluginRequest request = CreateEmptyRequest();
    request.code = kRequestScan;
    request.param = nType;
    request.messageId = nMessageId;
    WriteField(request.apiKey, BstrText(pbstrApiKey));
    HRESULT hr = processMessage->SendScanRequest(&request, NewCallback(cookie));
    ::VariantClear(varJobId);
    varJobId->vt = VT_I4;
    varJobId->lVal = request.jobId;
    return hr;
}

HRESULT CVexloDisp::selectScanner(LONG nInterface, VARIANT* pVarStatusCallback) {
    if (!IsScannerInterface(nInterface)) {
        return E_INVALIDARG;
    }
    if (!processMessage) {
        return E_UNEXPECTED;
    }
    // Without a table or an object the callback gets cookie 0 and does nothing.
    DWORD cookie = RegisterCallback(pVarStatusCallback);
    PluginRequest request = CreateEmptyRequest();
    request.code = kRequestSelectScanner;
    request.param = nInterface;
    return processMessage->SendSelectScannerRequest(&request, NewCallback(cookie));
}

HRESULT CVexloDisp::doPrint(BSTR pbstrApiKey, BSTR pbstrPrintCommand, VARIANT* pStatusCallback) {
    if (!IsIeApiKey(pbstrApiKey) || !IsIePrintCommand(pbstrPrintCommand)) {
        return E_INVALIDARG;
    }
    if (!processMessage) {
        return E_UNEXPECTED;
    }
    fw::CComPtr<IGlobalInterfaceTable> table = CreateTable();
    if (!table) {
        return E_INVALIDARG;
    }
    DWORD cookie = CIeEventCallback::RegisterCallback(table, pStatusCallback);
    PluginRequest request = CreateEmptyRequest();
    request.code = kRequestPrint;
    WriteField(request.apiKey, BstrText(pbstrApiKey));
    WriteField(request.printingRequest, BstrText(pbstrPrintCommand));
    return processMessage->SendPrintRequest(&request, NewCallback(cookie));
}

HRESULT CVexloDisp::setScanMode(LONG nScanMode) {
    if (!IsScanMode(nScanMode)) {
        return E_INVALIDARG;
    }
    if (!processMessage) {
        return E_UNEXPECTED;
    }
    PluginRequest request = CreateEmptyRequest();
    request.code = kRequestSetScanMode;
    request.param = nScanMode;
    return processMessage->SendRequest(&request);
}

HRESULT CVexloDisp::stopScan(LONG nJobId) {
    if (nJobId <= 0 || !processMessage) {
        return S_OK;
    }
    PluginRequest request = CreateEmptyRequest();
    request.code = kRequestStopScan;
    request.jobId = nJobId;
    // Never an error for the page: S_FALSE says the request went out.
    return SUCCEEDED(processMessage->SendRequest(&request)) ? S_FALSE : S_OK;
}

HRESULT CVexloDisp::loadDesktop(VARIANT* nJobId) {
    if (nJobId == nullptr) {
        return E_POINTER;
    }
    bool running = SUCCEEDED(CProcessMessage::LoadDesktop());
    ::VariantClear(nJobId);
    nJobId->vt = VT_BOOL;
    nJobId->boolVal = running ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT CVexloDisp::getScanMode(VARIANT* nScanMode) {
    if (nScanMode == nullptr) {
        return E_POINTER;
    }
    int32_t mode = 0;
    if (processMessage) {
        // Page callbacks run inside the query and may drop the page object.
        fw::CComPtr<IVexloDisp> keepAlive(this);
        processMessage->GetScanMode(&mode);
    }
    ::VariantClear(nScanMode);
    nScanMode->vt = VT_I4;
    nScanMode->lVal = mode;
    return S_OK;
}

HRESULT CVexloDisp::getSelectedScanner(LONG nScanMode, VARIANT* strScanner) {
    if (!IsScannerInterface(nScanMode)) {
        return E_INVALIDARG;
    }
    if (strScanner == nullptr) {
        return E_POINTER;
    }
    std::u16string name;
    if (processMessage) {
        fw::CComPtr<IVexloDisp> keepAlive(this);
        processMessage->GetSelectedScanner(nScanMode, &name);
    }
    BSTR text = ::SysAllocStringLen(name.data(), static_cast<UINT>(name.size()));
    if (text == nullptr) {
        return E_OUTOFMEMORY;
    }
    ::VariantClear(strScanner);
    strScanner->vt = VT_BSTR;
    strScanner->bstrVal = text;
    return S_OK;
}

}  // namespace vexlo
