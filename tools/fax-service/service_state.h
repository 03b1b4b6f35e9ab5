// What every connection of the fax service shares.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "call_log.h"
#include "options.h"

namespace faxservice {

struct ServiceState {
    ServiceOptions options;
    std::string rawResponse;  // bytes of --raw-response, loaded at start
    CallLog log;
    std::atomic<bool> stopping{false};
    std::atomic<uint64_t> nextConnection{1};
    std::atomic<uint64_t> nextIncomingPage{1};
    std::atomic<int> nextDocumentId{1};

    // True when an answer-level fault of the plan applies to this operation.
    bool FaultsApplyTo(const char* operation) const {
        return options.faults.operation.empty() || options.faults.operation == operation;
    }
};

}  // namespace faxservice
