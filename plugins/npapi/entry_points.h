// The library's three exports, as a browser calls them.
#pragma once

#include "plugins/npapi/npapi.h"

extern "C" {
NP_EXPORT(NPError) NP_GetEntryPoints(NPPluginFuncs* pluginFuncs);
NP_EXPORT(NPError) NP_Initialize(NPNetscapeFuncs* browserFuncs);
NP_EXPORT(NPError) NP_Shutdown(void);
}
