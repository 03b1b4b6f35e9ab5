#include "data_source_manager.h"

#include <cstring>

#include "select_dialog.h"
#include "session_files.h"
#include "text.h"

namespace twain_dsm {

DataSourceManager& DataSourceManager::Instance() {
    static DataSourceManager manager;
    return manager;
}

DataSourceManager::~DataSourceManager() {
    // The library goes: every source still open goes with it (its dialog
    // included), as it does when a data source manager is unloaded. The
    // session's record keeps listing them: they were never closed.
    std::lock_guard<std::recursive_mutex> guard(lock);
    for (auto& [id, application] : applications) {
        application.sources.clear();
    }
    applications.clear();
}

TW_UINT16 DataSourceManager::Fail(Application* application, TW_UINT16 condition) {
    (application != nullptr ? application->condition : unattachedCondition) = condition;
    return TWRC_FAILURE;
}

DataSourceManager::Application* DataSourceManager::Find(const TW_IDENTITY* origin) {
    const TW_UINT32 id = origin->Id;  // a copy: the record is packed
    auto it = applications.find(id);
    return it == applications.end() ? nullptr : &it->second;
}

VirtualSource* DataSourceManager::FindOpen(Application& application, TW_UINT32 id) {
    for (auto& source : application.sources) {
        if (source->Identity().Id == id) {
            return source.get();
        }
    }
    return nullptr;
}

TW_UINT16 DataSourceManager::Entry(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 dg,
                                   TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    if (origin == nullptr) {
        return TWRC_FAILURE;  // no one to keep a condition code for
    }
    std::lock_guard<std::recursive_mutex> guard(lock);
    Application* application = Find(origin);
    if (destination == nullptr) {
        if (dg != DG_CONTROL) {
            return Fail(application, TWCC_BADPROTOCOL);
        }
        return ToManager(application, origin, dat, msg, data);
    }
    if (application == nullptr) {
        return Fail(nullptr, TWCC_SEQERROR);  // state 2: the manager is not open
    }
    VirtualSource* source = FindOpen(*application, destination->Id);
    if (source == nullptr) {
        return Fail(application, TWCC_BADDEST);
    }
    return source->Call(dg, dat, msg, data);
}

TW_UINT16 DataSourceManager::ToManager(Application* application, pTW_IDENTITY origin, TW_UINT16 dat,
                                       TW_UINT16 msg, TW_MEMREF data) {
    if (dat == DAT_STATUS) {
        auto* status = static_cast<TW_STATUS*>(data);
        if (msg != MSG_GET || status == nullptr) {
            return Fail(application, TWCC_BADPROTOCOL);
        }
        TW_UINT16& condition =
            application != nullptr ? application->condition : unattachedCondition;
        status->ConditionCode = condition;
        status->Reserved = 0;
        condition = TWCC_SUCCESS;
        return TWRC_SUCCESS;
    }
    if (dat == DAT_PARENT && msg == MSG_OPENDSM) {
        if (application != nullptr) {
            return Fail(application, TWCC_SEQERROR);  // already open: state 3
        }
        return OpenManager(origin, data);
    }
    if (application == nullptr) {
        return Fail(nullptr, TWCC_SEQERROR);
    }
    if (dat == DAT_PARENT && msg == MSG_CLOSEDSM) {
        return CloseManager(*application);
    }
    if (dat == DAT_IDENTITY) {
        return Identity(*application, msg, static_cast<pTW_IDENTITY>(data));
    }
    return Fail(application, TWCC_BADPROTOCOL);
}

TW_UINT16 DataSourceManager::OpenManager(pTW_IDENTITY origin, TW_MEMREF data) {
    auto* parent = static_cast<HWND*>(data);
    if (parent == nullptr || !IsWindow(*parent)) {
        return Fail(nullptr, TWCC_BADVALUE);
    }
    SessionDescription description = LoadSessionDescription();
    if (description.failOpenDsm) {
        return Fail(nullptr, TWCC_BUMMER);
    }
    TW_UINT32 id = nextId++;
    origin->Id = id;
    Application& application = applications[id];
    application.identity = *origin;
    application.parent = *parent;
    application.description = std::move(description);
    return TWRC_SUCCESS;
}

TW_UINT16 DataSourceManager::CloseManager(Application& application) {
    if (!application.sources.empty()) {
        return Fail(&application, TWCC_SEQERROR);  // a source is still open
    }
    const TW_UINT32 id = application.identity.Id;
    applications.erase(id);
    return TWRC_SUCCESS;
}

int DataSourceManager::DefaultIndex(const Application& application) const {
    const auto& sources = application.description.sources;
    if (sources.empty()) {
        return -1;
    }
    std::string remembered = ReadDefaultSource();
    for (size_t i = 0; i < sources.size(); ++i) {
        if (sources[i].productName == remembered) {
            return static_cast<int>(i);
        }
    }
    return 0;
}

void DataSourceManager::Describe(const Application& application, size_t index,
                                 pTW_IDENTITY out) const {
    const SourceDescription& source = application.description.sources[index];
    std::memset(out, 0, sizeof(*out));
    // An open source keeps the id it was given at MSG_OPENDS.
    TW_STR32 name;
    CopyToTwString(source.productName, name);
    for (const auto& open : application.sources) {
        if (FromTwString(open->Identity().ProductName) == FromTwString(name)) {
            out->Id = open->Identity().Id;
        }
    }
    out->Version.MajorNum = 1;
    out->Version.MinorNum = 0;
    out->Version.Language = TWLG_USA;
    out->Version.Country = TWCY_USA;
    CopyToTwString("1.0 virtual", out->Version.Info);
    out->ProtocolMajor = TWON_PROTOCOLMAJOR;
    out->ProtocolMinor = TWON_PROTOCOLMINOR;
    out->SupportedGroups = DG_CONTROL | DG_IMAGE;
    CopyToTwString(source.manufacturer, out->Manufacturer);
    CopyToTwString(source.productFamily, out->ProductFamily);
    std::memcpy(out->ProductName, name, sizeof(name));
}

TW_UINT16 DataSourceManager::Identity(Application& application, TW_UINT16 msg,
                                      pTW_IDENTITY identity) {
    if (identity == nullptr) {
        return Fail(&application, TWCC_BADVALUE);
    }
    const size_t count = application.description.sources.size();
    switch (msg) {
        case MSG_GETDEFAULT: {
            int index = DefaultIndex(application);
            if (index < 0) {
                return Fail(&application, TWCC_NODS);
            }
            Describe(application, static_cast<size_t>(index), identity);
            return TWRC_SUCCESS;
        }
        case MSG_GETFIRST:
            application.nextEnumerated = 0;
            [[fallthrough]];
        case MSG_GETNEXT:
            if (application.nextEnumerated >= count) {
                return count == 0 && msg == MSG_GETFIRST ? Fail(&application, TWCC_NODS)
                                                         : TWRC_ENDOFLIST;
            }
            Describe(application, application.nextEnumerated++, identity);
            return TWRC_SUCCESS;
        case MSG_USERSELECT:
            return UserSelect(application, identity);
        case MSG_OPENDS:
            return OpenSource(application, identity);
        case MSG_CLOSEDS:
            return CloseSource(application, identity);
        default:
            return Fail(&application, TWCC_BADPROTOCOL);
    }
}

TW_UINT16 DataSourceManager::UserSelect(Application& application, pTW_IDENTITY identity) {
    const auto& sources = application.description.sources;
    if (sources.empty()) {
        return Fail(&application, TWCC_NODS);
    }
    // The list starts on the source the application names, else the default.
    int preselected = DefaultIndex(application);
    std::string asked = FromTwString(identity->ProductName);
    std::vector<std::u16string> names;
    for (size_t i = 0; i < sources.size(); ++i) {
        names.push_back(Wide(sources[i].productName));
        TW_STR32 name;
        CopyToTwString(sources[i].productName, name);
        if (!asked.empty() && FromTwString(name) == asked) {
            preselected = static_cast<int>(i);
        }
    }
    // The dialog runs a message loop: the application may call in meanwhile,
    // and the list it chose from stays the one it was shown.
    const TW_IDENTITY self = application.identity;
    SessionDescription shown = application.description;
    int chosen = RunSelectDialog(application.parent, names, preselected);
    Application* still = Find(&self);  // `application` may be gone by now
    if (still == nullptr) {
        return TWRC_CANCEL;  // the application closed the manager meanwhile
    }
    if (chosen < 0) {
        return TWRC_CANCEL;
    }
    WriteDefaultSource(shown.sources[static_cast<size_t>(chosen)].productName);
    Application view = {};
    view.description = shown;
    Describe(view, static_cast<size_t>(chosen), identity);
    identity->Id = 0;
    for (const auto& open : still->sources) {
        if (FromTwString(open->Identity().ProductName) == FromTwString(identity->ProductName)) {
            identity->Id = open->Identity().Id;
        }
    }
    return TWRC_SUCCESS;
}

TW_UINT16 DataSourceManager::OpenSource(Application& application, pTW_IDENTITY identity) {
    const auto& sources = application.description.sources;
    std::string asked = FromTwString(identity->ProductName);
    int index = -1;
    if (asked.empty()) {
        index = DefaultIndex(application);
    } else {
        for (size_t i = 0; i < sources.size(); ++i) {
            TW_STR32 name;
            CopyToTwString(sources[i].productName, name);
            if (FromTwString(name) == asked) {
                index = static_cast<int>(i);
            }
        }
    }
    if (index < 0) {
        return Fail(&application, TWCC_NODS);
    }
    const SourceDescription& description = sources[static_cast<size_t>(index)];
    TW_IDENTITY described;
    Describe(application, static_cast<size_t>(index), &described);
    if (described.Id != 0) {
        return Fail(&application, TWCC_MAXCONNECTIONS);  // this application has it open
    }
    if (description.failOpen) {
        return Fail(&application, TWCC_CHECKDEVICEONLINE);
    }
    described.Id = nextId++;
    application.sources.push_back(std::make_unique<VirtualSource>(description, described));
    *identity = described;
    RecordSourceOpened(described.Id, FromTwString(described.ProductName));
    return TWRC_SUCCESS;
}

TW_UINT16 DataSourceManager::CloseSource(Application& application, pTW_IDENTITY identity) {
    for (auto it = application.sources.begin(); it != application.sources.end(); ++it) {
        if ((*it)->Identity().Id == identity->Id) {
            const TW_UINT32 id = (*it)->Identity().Id;
            const std::string name = FromTwString((*it)->Identity().ProductName);
            if ((*it)->State() != 4) {
                JournalSourceCall(id, "MSG_CLOSEDS", (*it)->State(), 0, TWCC_SEQERROR);
                return Fail(&application, TWCC_SEQERROR);  // enabled: MSG_DISABLEDS first
            }
            application.sources.erase(it);
            JournalSourceCall(id, "MSG_CLOSEDS", 4, 3, 0);
            RecordSourceClosed(id, name);
            return TWRC_SUCCESS;
        }
    }
    return Fail(&application, TWCC_BADDEST);
}

}  // namespace twain_dsm
