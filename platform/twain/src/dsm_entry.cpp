// The library's one export.
#include "data_source_manager.h"

extern "C" __attribute__((visibility("default"))) TW_UINT16 WINAPI
DSM_Entry(pTW_IDENTITY pOrigin, pTW_IDENTITY pDest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
          TW_MEMREF pData) {
    return twain_dsm::DataSourceManager::Instance().Entry(pOrigin, pDest, DG, DAT, MSG, pData);
}
