// The WIA scanner's side of a page transfer: it lets every transfer run to
// its end. One object serves all page transfers of one scan run.
#pragma once

#include <windows.h>

#include <atomic>

#include "wia.h"

namespace vexlo {

class CWiaDataCallback final : public IWiaDataCallback {
public:
    // Made with one reference, which the maker owns.
    CWiaDataCallback() = default;
    CWiaDataCallback(const CWiaDataCallback&) = delete;
    CWiaDataCallback& operator=(const CWiaDataCallback&) = delete;

    // IUnknown and IWiaDataCallback answer with this object; E_INVALIDARG for
    // a null out pointer, E_NOINTERFACE (the pointer cleared) otherwise.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    // The last reference deletes the object.
    ULONG STDMETHODCALLTYPE Release() override;
    // S_OK for every message: a transfer is never cancelled from here.
    HRESULT STDMETHODCALLTYPE BandedDataCallback(LONG lMessage, LONG lStatus, LONG lPercentComplete,
                                                 LONG lOffset, LONG lLength, LONG lReserved,
                                                 LONG lResLength, BYTE* pbBuffer) override;

private:
    ~CWiaDataCallback() = default;
    std::atomic<ULONG> references{1};
};

}  // namespace vexlo
