// The status object handed to page functions: the state, info and
// description of one agent answer, as read-only properties of the dual
// interface IVexloStatusCallback. It holds a lock on the module while alive.
#pragma once

#include <windows.h>

#include <string>

#include "framework/com_object.h"
#include "framework/dispatch_impl.h"
#include "plugins/ie/vexlo_interfaces.h"

namespace vexlo {

class CVexloStatusCallback
    : public fw::CComObjectRootEx<fw::CComSingleThreadModel>,
      public fw::IDispatchImpl<IVexloStatusCallback, &IID_IVexloStatusCallback,
                               &LIBID_VexloIePluginLib, kTypeLibMajor, kTypeLibMinor> {
public:
    BEGIN_COM_MAP(CVexloStatusCallback)
    COM_INTERFACE_ENTRY(IVexloStatusCallback)
    COM_INTERFACE_ENTRY(IDispatch)
    END_COM_MAP()

    void SetStatus(int32_t newState, int32_t newInfo, const char16_t* text);

    HRESULT STDMETHODCALLTYPE get_state(VARIANT* pvarResult) override;
    HRESULT STDMETHODCALLTYPE get_info(VARIANT* pvarResult) override;
    HRESULT STDMETHODCALLTYPE get_description(VARIANT* pvarResult) override;

private:
    int32_t state = 0;
    int32_t info = 0;
    std::u16string description;
};

// A new status object with the answer's values, one reference for the caller.
HRESULT CreateStatusObject(int32_t state, int32_t info, const char16_t* text, IDispatch** object);

}  // namespace vexlo
