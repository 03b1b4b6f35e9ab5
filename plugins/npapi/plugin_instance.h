// The plug-in's record of one instance, kept in the instance's pdata.
#pragma once

#include "plugins/npapi/npapi.h"

struct PluginInstance {
    NPP npp = nullptr;
    // Set by the first NPP_SetWindow that has a window.
    bool initialised = false;
    // The instance's scriptable object, one reference owned; null until then.
    NPObject* scriptable = nullptr;
};

// The plug-in's name and description in the browser.
inline constexpr const char* kPluginName = "Agent Vexlo";
inline constexpr const char* kPluginMimeType = "application/agent_vexlo";

// The instance callbacks, as NP_GetEntryPoints hands them out.
NPError NPP_New(NPMIMEType pluginType, NPP instance, uint16_t mode, int16_t argc, char* argn[],
                char* argv[], NPSavedData* saved);
NPError NPP_Destroy(NPP instance, NPSavedData** save);
NPError NPP_SetWindow(NPP instance, NPWindow* window);
NPError NPP_NewStream(NPP instance, NPMIMEType type, NPStream* stream, NPBool seekable,
                      uint16_t* stype);
NPError NPP_DestroyStream(NPP instance, NPStream* stream, NPReason reason);
void NPP_StreamAsFile(NPP instance, NPStream* stream, const char* fname);
int32_t NPP_WriteReady(NPP instance, NPStream* stream);
int32_t NPP_Write(NPP instance, NPStream* stream, int32_t offset, int32_t len, void* buffer);
void NPP_Print(NPP instance, NPPrint* platformPrint);
int16_t NPP_HandleEvent(NPP instance, void* event);
void NPP_URLNotify(NPP instance, const char* url, NPReason reason, void* notifyData);
NPError NPP_GetValue(NPP instance, NPPVariable variable, void* value);
NPError NPP_SetValue(NPP instance, NPNVariable variable, void* value);
