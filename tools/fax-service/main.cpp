// fax-service: the local stand-in for the fax web service (see --help).
#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "fax_server.h"
#include "options.h"
#include "service_state.h"

// The program's one copy of the namespace table that the runtime looks up.
#include "MTOMServiceSOAP12Binding.nsmap"

namespace {

faxservice::ServiceState* g_state = nullptr;

void OnStopSignal(int) {
    if (g_state) {
        g_state->stopping.store(true);
    }
}

bool MakeFolder(const std::string& path) {
    return ::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}

bool LoadFile(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
    // A client that goes away mid-answer must not end the service.
    ::signal(SIGPIPE, SIG_IGN);

    static faxservice::ServiceState state;
    std::string error;
    switch (faxservice::ParseOptions(argc, argv, state.options, error)) {
        case faxservice::ParseOutcome::Help:
            std::fputs(faxservice::UsageText(), stdout);
            return 0;
        case faxservice::ParseOutcome::Error:
            std::fprintf(stderr, "fax-service: %s (see --help)\n", error.c_str());
            return 2;
        case faxservice::ParseOutcome::Run:
            break;
    }
    const auto& options = state.options;
    if (!MakeFolder(options.pagesDir)) {
        std::fprintf(stderr, "fax-service: cannot create %s: %s\n", options.pagesDir.c_str(),
                     std::strerror(errno));
        return 1;
    }
    if (!options.captureDir.empty() && !MakeFolder(options.captureDir)) {
        std::fprintf(stderr, "fax-service: cannot create %s: %s\n", options.captureDir.c_str(),
                     std::strerror(errno));
        return 1;
    }
    if (!options.faults.rawResponseFile.empty() &&
        !LoadFile(options.faults.rawResponseFile, state.rawResponse)) {
        std::fprintf(stderr, "fax-service: cannot read %s\n",
                     options.faults.rawResponseFile.c_str());
        return 1;
    }
    if (!state.log.Open(options.logFile)) {
        std::fprintf(stderr, "fax-service: cannot open log %s\n", options.logFile.c_str());
        return 1;
    }

    faxservice::FaxServer server(state);
    if (!server.Listen(error)) {
        std::fprintf(stderr, "fax-service: %s\n", error.c_str());
        return 1;
    }
    g_state = &state;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);

    std::printf("%d\n", server.port());
    std::fflush(stdout);
    state.log.Write("listening on 127.0.0.1:" + std::to_string(server.port()) +
                    " pages=" + options.pagesDir);
    server.Run();
    state.log.Write("stopped");
    return 0;
}
