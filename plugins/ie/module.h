// The add-on's module object: the lock count of its live objects and class
// factory locks, the process's Global Interface Table, and the application id
// that every registry script of the module gets as %APPID%.
#pragma once

#include <windows.h>

#include "framework/com_dll_module.h"

namespace vexlo {

class CVexloIePluginModule : public fw::CAtlDllModuleT<CVexloIePluginModule> {
public:
    HRESULT AddCommonRGSReplacements(fw::CRegistrar& registrar) override;

protected:
    // The module's own script: empty, so no AppID key is written.
    HRESULT UpdateRegistryAppId(bool doRegister) override;
};

CVexloIePluginModule& TheModule();

}  // namespace vexlo
