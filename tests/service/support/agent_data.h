// A private application-data folder for the agent code under test, and the
// soap-server setting pointing where the test wants.
#pragma once

#include <string>

#include "support/temp_dir.h"

namespace vexlo::test {

class AgentDataFolder {
public:
    // Sets APPDATA to a fresh folder and starts from fresh settings.
    AgentDataFolder();
    ~AgentDataFolder();
    AgentDataFolder(const AgentDataFolder&) = delete;
    AgentDataFolder& operator=(const AgentDataFolder&) = delete;

    // Writes soap-server into settings.ini and reloads the settings, as the
    // agent reads them at its start.
    void SetSoapServer(const std::string& endpoint);
    // A file of the given bytes in the Processed folder.
    std::u16string WriteProcessedPage(const std::string& name, const std::string& bytes);

private:
    TempDir dir_;
    std::string previous_;
    bool hadPrevious_ = false;
};

// Number of open file descriptors of this process.
int OpenDescriptorCount();
// UTF-8 of a wide string (tests only: characters below U+10000).
std::string Narrow(const std::u16string& text);

}  // namespace vexlo::test
