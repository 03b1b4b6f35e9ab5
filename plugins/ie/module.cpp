#include "plugins/ie/module.h"

#include "plugins/ie/registry_scripts.h"
#include "plugins/ie/vexlo_ids.h"
#include "plugins/ie/vexlo_plugin.h"

// The class table is made before the module object, so that it outlives
// the module's destructor, which releases the cached class factories.
OBJECT_ENTRY_AUTO(vexlo::CLSID_VexloPlugin, vexlo::CVexloPlugin)

namespace vexlo {

namespace {

CVexloIePluginModule module;

}  // namespace

CVexloIePluginModule& TheModule() {
    return module;
}

HRESULT CVexloIePluginModule::AddCommonRGSReplacements(fw::CRegistrar& registrar) {
    HRESULT hr = CAtlDllModuleT::AddCommonRGSReplacements(registrar);
    if (SUCCEEDED(hr)) {
        registrar.AddReplacement(u"APPID", kAppIdText);
    }
    return hr;
}

HRESULT CVexloIePluginModule::UpdateRegistryAppId(bool doRegister) {
    return UpdateRegistryFromResource(kAppIdScriptId, doRegister);
}

}  // namespace vexlo

// The project name.
W32_STRING_TABLE({100, u"Vexlo.Ie.Plugin"})
