#include "plugins/npapi/plugin_instance.h"

#include <new>

#include "plugins/npapi/browser_funcs.h"
#include "plugins/npapi/scriptable.h"

namespace {

PluginInstance* RecordOf(NPP instance) {
    return static_cast<PluginInstance*>(instance->pdata);
}

}  // namespace

NPError NPP_New(NPMIMEType, NPP instance, uint16_t, int16_t, char*[], char*[], NPSavedData*) {
    if (instance == nullptr) {
        return NPERR_INVALID_INSTANCE_ERROR;
    }
    auto* record = new (std::nothrow) PluginInstance;
    if (record == nullptr) {
        return NPERR_OUT_OF_MEMORY_ERROR;
    }
    record->npp = instance;
    instance->pdata = record;
    return NPERR_NO_ERROR;
}

NPError NPP_Destroy(NPP instance, NPSavedData**) {
    if (instance == nullptr) {
        return NPERR_INVALID_INSTANCE_ERROR;
    }
    if (PluginInstance* record = RecordOf(instance)) {
        if (record->scriptable != nullptr) {
            NPN_ReleaseObject(record->scriptable);
        }
        delete record;
        // A second destroy of the same instance finds nothing to free.
        instance->pdata = nullptr;
    }
    return NPERR_NO_ERROR;
}

NPError NPP_SetWindow(NPP instance, NPWindow* window) {
    if (instance == nullptr) {
        return NPERR_INVALID_INSTANCE_ERROR;
    }
    PluginInstance* record = RecordOf(instance);
    if (window == nullptr || record == nullptr) {
        return NPERR_GENERIC_ERROR;
    }
    // Moves, resizes and new window handles change nothing.
    if (record->initialised) {
        return NPERR_NO_ERROR;
    }
    record->initialised = true;
    record->scriptable = NPN_CreateObject(instance, &ScriptableClass);
    return NPERR_NO_ERROR;
}

NPError NPP_NewStream(NPP instance, NPMIMEType, NPStream*, NPBool, uint16_t*) {
    return instance == nullptr ? NPERR_INVALID_INSTANCE_ERROR : NPERR_NO_ERROR;
}

NPError NPP_DestroyStream(NPP instance, NPStream*, NPReason) {
    return instance == nullptr ? NPERR_INVALID_INSTANCE_ERROR : NPERR_NO_ERROR;
}

void NPP_StreamAsFile(NPP, NPStream*, const char*) {}

int32_t NPP_WriteReady(NPP instance, NPStream*) {
    return instance == nullptr ? NPERR_INVALID_INSTANCE_ERROR : 0x0FFFFFFF;
}

// The plug-in takes no data from its stream.
int32_t NPP_Write(NPP instance, NPStream*, int32_t, int32_t, void*) {
    return instance == nullptr ? NPERR_INVALID_INSTANCE_ERROR : 0;
}

void NPP_Print(NPP, NPPrint*) {}

int16_t NPP_HandleEvent(NPP, void*) {
    return 0;
}

void NPP_URLNotify(NPP, const char*, NPReason, void*) {}

NPError NPP_GetValue(NPP instance, NPPVariable variable, void* value) {
    if (instance == nullptr) {
        return NPERR_INVALID_INSTANCE_ERROR;
    }
    PluginInstance* record = RecordOf(instance);
    if (record == nullptr) {
        return NPERR_GENERIC_ERROR;
    }
    switch (variable) {
        case NPPVpluginNameString:
        case NPPVpluginDescriptionString:
            if (value == nullptr) {
                return NPERR_INVALID_PARAM;
            }
            *static_cast<const char**>(value) = kPluginName;
            return NPERR_NO_ERROR;
        case NPPVpluginWindowBool:
            // The browser's preset value stands: a windowed plug-in.
            return NPERR_NO_ERROR;
        case NPPVpluginScriptableNPObject:
            if (value == nullptr) {
                return NPERR_INVALID_PARAM;
            }
            // One reference for the browser each time it asks.
            if (record->scriptable != nullptr) {
                NPN_RetainObject(record->scriptable);
            }
            *static_cast<NPObject**>(value) = record->scriptable;
            return NPERR_NO_ERROR;
        default:
            return NPERR_GENERIC_ERROR;
    }
}

NPError NPP_SetValue(NPP, NPNVariable, void*) {
    return NPERR_NO_ERROR;
}
