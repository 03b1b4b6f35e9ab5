// The add-on's receiver of agent answers: calls the page function kept in the
// Global Interface Table under its cookie, with a new status object for a
// state or with the scanner's name.
#pragma once

#include <windows.h>

#include "plugins/channel/event_callback.h"

namespace vexlo {

class CIeEventCallback : public IVexloEventCallback {
public:
    // Takes over the cookie (0: no page function, every answer is dropped).
    explicit CIeEventCallback(DWORD functionCookie) : cookie(functionCookie) {}
    // Revokes the page function from the table, so it is not kept for the
    // life of the process.
    ~CIeEventCallback() override;
    CIeEventCallback(const CIeEventCallback&) = delete;
    CIeEventCallback& operator=(const CIeEventCallback&) = delete;

    void OnState(int32_t state, int32_t info, const char16_t* text) override;
    void OnText(const char16_t* text) override;

    // Calls the page function under cookie with one argument.
    static HRESULT InvokePageFunction(DWORD cookie, const VARIANT& argument);
    // Registers the page function a page passed (converted to an object) in
    // the table; 0 when there is none or it cannot be registered.
    static DWORD RegisterCallback(IGlobalInterfaceTable* table, const VARIANT* function);
    // Revokes a cookie that no callback took over.
    static void RevokeCallback(DWORD cookie);

    DWORD Cookie() const { return cookie; }

private:
    DWORD cookie;
};

}  // namespace vexlo
