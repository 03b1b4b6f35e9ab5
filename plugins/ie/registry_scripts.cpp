// The registry scripts. %MODULE% is the add-on's own path, %APPID% the
// application id in braces. The class's key under CLSID is removed with
// everything under it before it is written; the CLSID key itself never.
#include "plugins/ie/registry_scripts.h"

#include <windows.h>

namespace {

// Nothing to write: a description with no keys.
constexpr char kAppIdScript[] = "\n";

constexpr char kVexloPluginScript[] =
    "HKCR\n"
    "{\n"
    "\tVexlo.BHO.1 = s 'VexloBHO class'\n"
    "\t{\n"
    "\t\tCLSID = s '{CBE55E29-1D13-4C84-9E4E-EC02AEFAD4A4}'\n"
    "\t}\n"
    "\tVexlo.BHO = s 'VexloBHO class'\n"
    "\t{\n"
    "\t\tCLSID = s '{CBE55E29-1D13-4C84-9E4E-EC02AEFAD4A4}'\n"
    "\t\tCurVer = s 'Vexlo.BHO.1'\n"
    "\t}\n"
    "\tNoRemove CLSID\n"
    "\t{\n"
    "\t\tForceRemove {CBE55E29-1D13-4C84-9E4E-EC02AEFAD4A4} = s 'VexloBHO Class'\n"
    "\t\t{\n"
    "\t\t\tProgID = s 'Vexlo.BHO.1'\n"
    "\t\t\tVersionIndependentProgID = s 'Vexlo.BHO'\n"
    "\t\t\tForceRemove 'Programmable'\n"
    "\t\t\tInprocServer32 = s '%MODULE%'\n"
    "\t\t\t{\n"
    "\t\t\t\tval ThreadingModel = s 'Apartment'\n"
    "\t\t\t}\n"
    "\t\t\t'TypeLib' = s '{F056BCBE-7BE4-492E-BD95-1FCE4B51064C}'\n"
    "\t\t\tval AppID = s '%APPID%'\n"
    "\t\t}\n"
    "\t}\n"
    "}\n";

}  // namespace

// UTF-8 text without the terminator, as the resource compiler keeps a script.
W32_RESOURCE(RT_REGISTRY_SCRIPT, vexlo::kAppIdScriptId, kAppIdScript, sizeof(kAppIdScript) - 1)
W32_RESOURCE(RT_REGISTRY_SCRIPT, vexlo::kVexloPluginScriptId, kVexloPluginScript,
             sizeof(kVexloPluginScript) - 1)
