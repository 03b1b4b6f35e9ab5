// Command line of the local fax service.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace faxservice {

// Misbehaviour on request, for tests and demos. The answer-level faults
// (refuse, fault, stall, raw response) hit the operations named by
// `operation` (every operation when empty); the transport faults (drop,
// slow reading) hit every connection.
struct FaultPlan {
    std::string operation;
    bool refuse = false;                           // answer result false
    std::optional<std::string> refuseDescription;  // ... with this description
    std::string faultCode;                         // answer a SOAP fault with this code
    std::string faultReason = "Injected fault";
    int stallMs = 0;                  // wait this long before answering
    int64_t dropAfterBytes = -1;      // close the connection after this many request bytes
    int64_t slowReadBytesPerSec = 0;  // read requests no faster than this
    std::string rawResponseFile;      // answer with these bytes verbatim (HTTP included)
};

struct ServiceOptions {
    int port = 18480;  // the port of the agent's built-in endpoint
    std::string pagesDir = "fax-pages";
    std::vector<std::string> apiKeys;  // empty: every key is accepted
    int recvTimeoutSec = 10;
    int sendTimeoutSec = 10;
    int maxConnections = 32;
    int64_t maxPageBytes = 64LL * 1024 * 1024;
    std::string logFile;     // empty: standard error
    std::string captureDir;  // when set, each connection's request bytes go to a file there
    FaultPlan faults;
};

enum class ParseOutcome { Run, Help, Error };

ParseOutcome ParseOptions(int argc, char** argv, ServiceOptions& options, std::string& error);
const char* UsageText();

}  // namespace faxservice
