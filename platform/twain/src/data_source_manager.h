// The data source manager: states 1 to 3 of the TWAIN standard for each
// application that opens it, the session's virtual sources, the default
// source, the "Select Source" dialog, and the routing of every triplet meant
// for an open source. One object lives as long as the library is loaded;
// unloading the library closes whatever is still open.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "source_description.h"
#include "twain.h"
#include "virtual_source.h"

namespace twain_dsm {

class DataSourceManager {
public:
    static DataSourceManager& Instance();

    TW_UINT16 Entry(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 dg, TW_UINT16 dat,
                    TW_UINT16 msg, TW_MEMREF data);

    ~DataSourceManager();

private:
    struct Application {
        TW_IDENTITY identity = {};
        HWND parent = nullptr;
        SessionDescription description;
        size_t nextEnumerated = 0;
        TW_UINT16 condition = TWCC_SUCCESS;
        std::vector<std::unique_ptr<VirtualSource>> sources;
    };

    TW_UINT16 ToManager(Application* application, pTW_IDENTITY origin, TW_UINT16 dat, TW_UINT16 msg,
                        TW_MEMREF data);
    TW_UINT16 OpenManager(pTW_IDENTITY origin, TW_MEMREF data);
    TW_UINT16 CloseManager(Application& application);
    TW_UINT16 Identity(Application& application, TW_UINT16 msg, pTW_IDENTITY identity);
    TW_UINT16 UserSelect(Application& application, pTW_IDENTITY identity);
    TW_UINT16 OpenSource(Application& application, pTW_IDENTITY identity);
    TW_UINT16 CloseSource(Application& application, pTW_IDENTITY identity);
    TW_UINT16 Fail(Application* application, TW_UINT16 condition);

    Application* Find(const TW_IDENTITY* origin);
    VirtualSource* FindOpen(Application& application, TW_UINT32 id);
    // The default source's place in the list; -1 when there is no source.
    int DefaultIndex(const Application& application) const;
    void Describe(const Application& application, size_t index, pTW_IDENTITY out) const;

    std::recursive_mutex lock;
    std::map<TW_UINT32, Application> applications;
    TW_UINT32 nextId = 1;
    // The condition of a call from an application that has not opened the manager.
    TW_UINT16 unattachedCondition = TWCC_SUCCESS;
};

}  // namespace twain_dsm
